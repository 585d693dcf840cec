// The GGD header check and pixel decoder, called directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>

#include "ggd_image_plugin/ggd_picture.h"
#include "tests/gorsel/gorsel_test_support.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace gorsel_test;
using gorsel::GgdPictureHeader;

namespace {

struct Decoded {
  int code;
  Bytes bits;
};

// Decodes `stream` as the pixels of a width x height picture into a fresh block filled with
// `fill` (a zero-filled block, as hosts get, unless asked otherwise).
Decoded decode(int width, int height, const Bytes& stream, uint8_t fill = 0,
               const gorsel::Progress& progress = gorsel::kNoProgress) {
  GgdPictureHeader header{~gorsel::kModeTags[gorsel::kFullColourMode], static_cast<int16_t>(width),
                          static_cast<int16_t>(height)};
  const uint32_t stride = gorsel::GgdStride(header);
  Bytes bits(static_cast<size_t>(stride) * height, fill);
  int code = gorsel::DecodeGgdPixels(header, stride, stream.data(), static_cast<int64_t>(stream.size()), bits.data(),
                                     progress);
  return {code, bits};
}

// Three pixels that tell themselves apart.
const Bytes P1 = bytes({0x11, 0x22, 0x33});
const Bytes P2 = bytes({0x44, 0x55, 0x66});
const Bytes P3 = bytes({0x77, 0x88, 0x99});
const Bytes BLACK = bytes({0, 0, 0});

}  // namespace

TEST(GgdHeaderCheck, AcceptsOnlyFullColourPicturesWithALiteralFirst) {
  const Bytes full = ggdHeader(2, 2);
  struct Case {
    const char* name;
    Bytes input;
    int code;
  } cases[] = {
      {"worked example head", full + bytes({0x05, 0x11, 0x22, 0x33}), 0},
      {"first operation 6 with one pixel present", full + bytes({0x06, 1, 2, 3}), 0},
      {"largest dimensions", ggdHeader(32767, 32767) + bytes({0x05, 1, 2, 3}), 0},
      {"7 bytes", Bytes(full.begin(), full.begin() + 7), spi::kUnknownFormat},
      {"256G tag", bytes({0xCD, 0xCA, 0xC9, 0xB8, 2, 0, 2, 0, 5, 1, 2, 3}), spi::kUnknownFormat},
      {"HIGH tag", bytes({0xB7, 0xB6, 0xB8, 0xB7, 2, 0, 2, 0, 5, 1, 2, 3}), spi::kUnknownFormat},
      {"FULL not complemented", bytes({'F', 'U', 'L', 'L', 2, 0, 2, 0, 5, 1, 2, 3}), spi::kUnknownFormat},
      {"width 0", ggdHeader(0, 2) + bytes({5, 1, 2, 3}), spi::kUnknownFormat},
      {"height 0", ggdHeader(2, 0) + bytes({5, 1, 2, 3}), spi::kUnknownFormat},
      {"width 0x8000 (negative)", ggdHeader(0x8000, 2) + bytes({5, 1, 2, 3}), spi::kUnknownFormat},
      {"height 0xFFFF (negative)", ggdHeader(2, 0xFFFF) + bytes({5, 1, 2, 3}), spi::kUnknownFormat},
      {"11 bytes", full + bytes({5, 1, 2}), spi::kUnknownFormat},
      {"first operation 4", full + bytes({4, 1, 2, 3}), spi::kUnknownFormat},
      {"first operation 0", full + bytes({0, 1, 2, 3}), spi::kUnknownFormat},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint8_t* cursor = c.input.data();
    int64_t available = static_cast<int64_t>(c.input.size());
    GgdPictureHeader header{0, 0, 0};
    EXPECT_EQ(gorsel::CheckGgdPicture(&cursor, &available, &header), c.code);
    if (c.code == 0) {
      EXPECT_EQ(cursor, c.input.data() + 8);
      EXPECT_EQ(available, static_cast<int64_t>(c.input.size()) - 8);
      EXPECT_EQ(header.modeTag, 0xB3B3AAB9u);
      EXPECT_EQ(header.width, static_cast<int16_t>(c.input[4] | c.input[5] << 8));
      EXPECT_EQ(header.height, static_cast<int16_t>(c.input[6] | c.input[7] << 8));
    } else {
      EXPECT_EQ(cursor, c.input.data());
      EXPECT_EQ(available, static_cast<int64_t>(c.input.size()));
      EXPECT_EQ(header.width, 0);
    }
  }
}

TEST(GgdHeaderCheck, HeaderCopyIsOptional) {
  const Bytes input = ggdHeader(3, 1) + bytes({5, 1, 2, 3});
  const uint8_t* cursor = input.data();
  int64_t available = static_cast<int64_t>(input.size());
  EXPECT_EQ(gorsel::CheckGgdPicture(&cursor, &available, nullptr), 0);
  EXPECT_EQ(available, 4);
}

TEST(GgdDecoder, WorkedExampleOfTwoByTwo) {
  // FULL, 2 x 2, stride 8: a literal pixel, a repeat, two literals, a copy 1 pixel back.
  const Bytes file = bytes({0xB9, 0xAA, 0xB3, 0xB3, 0x02, 0x00, 0x02, 0x00, 0x05, 0x11, 0x22, 0x33, 0x00, 0x01,
                            0x06, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0x03, 0x01});
  const uint8_t* cursor = file.data();
  int64_t available = static_cast<int64_t>(file.size());
  GgdPictureHeader header{};
  ASSERT_EQ(gorsel::CheckGgdPicture(&cursor, &available, &header), 0);
  ASSERT_EQ(gorsel::GgdStride(header), 8u);
  Bytes bits(16, 0);
  ASSERT_EQ(gorsel::DecodeGgdPixels(header, 8, cursor, available, bits.data(), gorsel::kNoProgress), 0);
  // Flat output 11 22 33 11 22 33 44 55 | 66 77 88 99 77 88 99 (00): the top row is output
  // bytes 0..5 and lands last, the bottom row is output bytes 8..13.
  EXPECT_EQ(bits, bytes({0x66, 0x77, 0x88, 0x99, 0x77, 0x88, 0, 0, 0x11, 0x22, 0x33, 0x11, 0x22, 0x33, 0, 0}));
}

TEST(GgdDecoder, OperationsStopsAndDamage) {
  // A 4 x 1 picture: 12 bytes, no padding, no turning of rows.
  struct Case {
    const char* name;
    Bytes stream;
    int code;
    Bytes pixels;  // expected row, zero-padded to 12 bytes
  } cases[] = {
      // Each operation.
      {"repeat 2", bytes({5}) + P1 + bytes({0x00, 2}), 0, P1 + P1 + P1},
      {"copy 2 from 2 back", bytes({6}) + P1 + P2 + bytes({0x01, 2, 2}), 0, P1 + P2 + P1 + P2},
      {"copy 2 from 1 back repeats", bytes({6}) + P1 + P2 + bytes({0x01, 2, 1}), 0, P1 + P2 + P2 + P2},
      {"far copy 2 from 2 back", bytes({6}) + P1 + P2 + bytes({0x02, 2, 2, 0}), 0, P1 + P2 + P1 + P2},
      {"one pixel from 2 back", bytes({6}) + P1 + P2 + bytes({0x03, 2}), 0, P1 + P2 + P1},
      {"one pixel, far form", bytes({6}) + P1 + P2 + bytes({0x04, 1, 0}), 0, P1 + P2 + P2},
      {"distance 0 gives black", bytes({5}) + P1 + bytes({0x01, 2, 0, 5}) + P3, 0, P1 + BLACK + BLACK + P3},
      {"one black pixel", bytes({5}) + P1 + bytes({0x03, 0, 5}) + P2, 0, P1 + BLACK + P2},
      // Input running out inside an operation: the operation is dropped, no error.
      {"repeat without its count", bytes({5}) + P1 + bytes({0x00}), 0, P1},
      {"copy without its distance", bytes({5}) + P1 + bytes({0x01, 1}), 0, P1},
      {"far copy with half a distance", bytes({5}) + P1 + bytes({0x02, 1, 1}), 0, P1},
      {"one-pixel copy without distance", bytes({5}) + P1 + bytes({0x03}), 0, P1},
      {"far one-pixel copy with half a distance", bytes({5}) + P1 + bytes({0x04, 1}), 0, P1},
      {"literal cut short", bytes({5}) + P1 + bytes({6}) + P2 + bytes({0x44}), 0, P1},
      // Output running out: dropped, no error, and a too-long copy is not judged further.
      {"repeat longer than the room", bytes({5}) + P1 + bytes({0x00, 4}), 0, P1},
      {"too-long copy with a bad distance", bytes({5}) + P1 + bytes({0x01, 4, 9}), 0, P1},
      {"literal longer than the room", bytes({5}) + P1 + bytes({8}) + P2 + P2 + P2 + P2, 0, P1},
      {"stream longer than the picture", bytes({8}) + P1 + P2 + P3 + P1 + bytes({5}) + P2, 0, P1 + P2 + P3 + P1},
      // Damaged streams.
      {"repeat count 0", bytes({5}) + P1 + bytes({0x00, 0}), spi::kDamaged, {}},
      {"copy count 0", bytes({5}) + P1 + bytes({0x01, 0, 1}), spi::kDamaged, {}},
      {"far copy count 0", bytes({5}) + P1 + bytes({0x02, 0, 1, 0}), spi::kDamaged, {}},
      {"copy from before the first pixel", bytes({5}) + P1 + bytes({0x01, 1, 2}), spi::kDamaged, {}},
      {"far copy from before the first pixel", bytes({5}) + P1 + bytes({0x02, 1, 2, 0}), spi::kDamaged, {}},
      {"one pixel from 2 back after one", bytes({5}) + P1 + bytes({0x03, 2}), spi::kDamaged, {}},
      {"one pixel from 256 back", bytes({5}) + P1 + bytes({0x04, 0, 1}), spi::kDamaged, {}},
      {"repeat before any pixel", bytes({0x00, 1}), spi::kDamaged, {}},
  };
  // What the block held before never shows: bytes not produced come out black.
  for (uint8_t fill : {0x00, 0xCD}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.name << ", block filled with " << int(fill));
      Decoded d = decode(4, 1, c.stream, fill);
      EXPECT_EQ(d.code, c.code);
      if (c.code == 0) {
        Bytes expected = c.pixels;
        expected.resize(12, 0);
        EXPECT_EQ(d.bits, expected);
      }
    }
  }
}

TEST(GgdDecoder, RowsWhoseWidthIsNoMultipleOfFour) {
  // 5 x 2, stride 16: output bytes 0..14 are the top row, 16..30 the bottom row; byte 15 is
  // produced but shown nowhere. 32 bytes hold ten whole pixels, so the last two bytes come
  // from a final literal of which only two bytes fit.
  Bytes stream = bytes({4 + 10});
  for (int i = 1; i <= 30; ++i) stream.push_back(static_cast<uint8_t>(i));
  stream = stream + bytes({5, 31, 32, 33});
  Decoded d = decode(5, 2, stream);
  ASSERT_EQ(d.code, 0);
  Bytes expected;
  for (int i = 17; i <= 31; ++i) expected.push_back(static_cast<uint8_t>(i));
  expected.push_back(0);
  for (int i = 1; i <= 15; ++i) expected.push_back(static_cast<uint8_t>(i));
  expected.push_back(0);
  EXPECT_EQ(d.bits, expected);
}

TEST(GgdDecoder, LastPartialPixelOfTheOutput) {
  // 1 x 2, stride 4: 8 bytes of output, two whole units and two bytes. The second row's
  // pixel is output bytes 4..6, so its red byte lies in the partial unit.
  struct Case {
    const char* name;
    Bytes stream;
    int code;
    Bytes bits;
  } cases[] = {
      {"literal cut to two bytes", bytes({6}) + P1 + P2 + bytes({5}) + P3, 0,
       bytes({0x55, 0x66, 0x77, 0, 0x11, 0x22, 0x33, 0})},
      {"copy cut to two bytes", bytes({6}) + P1 + P2 + bytes({0x03, 2}), 0,
       bytes({0x55, 0x66, 0x11, 0, 0x11, 0x22, 0x33, 0})},
      {"repeat cut to two bytes", bytes({6}) + P1 + P2 + bytes({0x00, 9}), 0,
       bytes({0x55, 0x66, 0x44, 0, 0x11, 0x22, 0x33, 0})},
      {"cut copy with a bad distance is dropped", bytes({6}) + P1 + P2 + bytes({0x03, 9}), 0,
       bytes({0x55, 0x66, 0, 0, 0x11, 0x22, 0x33, 0})},
      {"count 0 is still damage", bytes({6}) + P1 + P2 + bytes({0x01, 0, 1}), spi::kDamaged, {}},
      {"nothing after a full output", bytes({6}) + P1 + P2 + bytes({5}) + P3 + bytes({5}) + P1, 0,
       bytes({0x55, 0x66, 0x77, 0, 0x11, 0x22, 0x33, 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d = decode(1, 2, c.stream, 0xCD);
    EXPECT_EQ(d.code, c.code);
    if (c.code == 0) {
      EXPECT_EQ(d.bits, c.bits);
    }
  }
}

TEST(GgdDecoder, OnePixelPicture) {
  // 1 x 1, stride 4: one literal completes the picture and decoding ends there; whatever
  // follows is not read, not even an operation that would be damaged.
  for (const Bytes& tail : {Bytes{}, bytes({0x00, 1}), bytes({5}) + P2, bytes({0x03, 1}), bytes({0x00, 0}),
                            bytes({0x03, 9}), Bytes(2036, 0)}) {
    Decoded d = decode(1, 1, bytes({5}) + P1 + tail);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.bits, P1 + bytes({0}));
  }
}

TEST(GgdDecoder, LiteralRunCutByTheEndOfInputLeavesBlack) {
  Decoded d = decode(2, 2, bytes({6, 1, 2, 3}));
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.bits, Bytes(16, 0));
}

TEST(GgdDecoder, RefusesAStrideThatDoesNotFitTheHeader) {
  GgdPictureHeader header{0, 5, 1};
  Bytes bits(32, 0);
  const Bytes stream = bytes({5, 1, 2, 3});
  EXPECT_EQ(gorsel::DecodeGgdPixels(header, 15, stream.data(), 4, bits.data(), gorsel::kNoProgress), spi::kInternalError);
  EXPECT_EQ(gorsel::DecodeGgdPixels(header, 32, stream.data(), 4, bits.data(), gorsel::kNoProgress), spi::kInternalError);
}

TEST(GgdDecoder, BitmapSizeLimitIsComputedIn64Bits) {
  struct Case {
    int width, height;
    uint64_t bytes;
    bool accepted;
  } cases[] = {
      {1, 1, 4, true},
      {640, 480, 921600, true},
      {32767, 10922, 98304ull * 10922, true},    // just under 1 GiB
      {32767, 10923, 98304ull * 10923, false},   // just over
      {32767, 32767, 3221127168ull, false},      // beyond a signed 32-bit size
  };
  for (const Case& c : cases) {
    GgdPictureHeader header{0, static_cast<int16_t>(c.width), static_cast<int16_t>(c.height)};
    uint64_t bytes = 0;
    EXPECT_EQ(gorsel::GgdBitmapBytes(header, &bytes), c.accepted) << c.width << " x " << c.height;
    EXPECT_EQ(bytes, c.bytes);
  }
  // The decoder refuses it too, before touching the block.
  GgdPictureHeader huge{0, 32767, 32767};
  const Bytes stream = bytes({5, 1, 2, 3});
  uint8_t untouched = 0xEE;
  EXPECT_EQ(gorsel::DecodeGgdPixels(huge, gorsel::GgdStride(huge), stream.data(), 4, &untouched, gorsel::kNoProgress), spi::kNoMemory);
  EXPECT_EQ(untouched, 0xEE);
}

namespace {

struct Recorder {
  std::vector<std::pair<int, int>> calls;
  int stopAtCall = -1;  // the 0-based call that answers "stop", -1 for none
};

int SPI_CALL recordProgress(int num, int denom, spi::UserData user) {
  Recorder* recorder = reinterpret_cast<Recorder*>(user);
  recorder->calls.emplace_back(num, denom);
  return static_cast<int>(recorder->calls.size()) - 1 == recorder->stopAtCall ? 1 : 0;
}

typedef std::vector<std::pair<int, int>> Calls;

}  // namespace

TEST(GgdDecoder, ProgressAboutEveryTenthAndAtTheEnd) {
  // 25 one-pixel literals: a 100-byte stream for a 25 x 1 picture.
  Bytes hundred;
  for (int i = 0; i < 25; ++i) hundred = hundred + bytes({5, i, i, i});
  struct Case {
    const char* name;
    int width;
    Bytes stream;
    int stopAtCall;
    int code;
    Calls calls;
  } cases[] = {
      // Reports once fewer than 90, 78, 66, ... bytes are left, checked between operations.
      {"100-byte stream", 25, hundred, -1, 0,
       {{12, 100}, {24, 100}, {36, 100}, {48, 100}, {60, 100}, {72, 100}, {84, 100}, {96, 100}, {100, 100}}},
      // Under 10 bytes a tenth is 0: a report before every operation after the first.
      {"8-byte stream", 3, bytes({5}) + P1 + bytes({0x00, 1, 0x00, 1}), -1, 0, {{4, 8}, {6, 8}, {8, 8}}},
      {"stopped operation still ends with a report", 3, bytes({5}) + P1 + bytes({0x00}), -1, 0, {{4, 5}, {5, 5}}},
      {"stop asked at the first report", 25, hundred, 0, spi::kAborted, {{12, 100}}},
      {"stop asked at the last report only", 25, hundred, 8, spi::kAborted,
       {{12, 100}, {24, 100}, {36, 100}, {48, 100}, {60, 100}, {72, 100}, {84, 100}, {96, 100}, {100, 100}}},
      {"stop asked on the final report of a short stream", 3, bytes({5}) + P1, 0, spi::kAborted, {{4, 4}}},
      {"damage ends the reports", 3, bytes({5}) + P1 + bytes({0x00, 0}), -1, spi::kDamaged, {{4, 6}}},
      // An empty stream never reports a total of 0.
      {"empty stream", 3, Bytes{}, -1, 0, {{0, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder recorder;
    recorder.stopAtCall = c.stopAtCall;
    const gorsel::Progress progress{recordProgress, reinterpret_cast<spi::UserData>(&recorder)};
    EXPECT_EQ(decode(c.width, 1, c.stream, 0, progress).code, c.code);
    EXPECT_EQ(recorder.calls, c.calls);
  }
}

TEST(GgdDecoder, NoCallbackNoReportsAndNoStop) {
  EXPECT_EQ(gorsel::ReportProgress(gorsel::kNoProgress, 1, 2), 0);
  EXPECT_EQ(decode(3, 1, bytes({5}) + P1 + bytes({0x00, 2})).code, 0);
}

namespace {

// A stream handed over as a file gives it: what is asked, up to `limit` bytes, where the
// reading fails or ends early when asked.
class PieceReader : public gorsel::StreamReader {
 public:
  PieceReader(const Bytes& stream, size_t from, size_t limit, bool fails)
      : stream_(stream), at_(from), limit_(limit), fails_(fails) {}
  int64_t read(uint8_t* to, size_t bytes) override {
    if (fails_ && at_ + bytes > limit_) return -1;
    const size_t n = std::min(bytes, limit_ - std::min(limit_, at_));
    std::memcpy(to, stream_.data() + at_, n);
    at_ += n;
    return static_cast<int64_t>(n);
  }

 private:
  const Bytes& stream_;
  size_t at_, limit_;
  bool fails_;
};

}  // namespace

TEST(GgdDecoder, StreamReadInPiecesDecodesAsFromMemory) {
  // A picture whose stream is several buffers long, with every kind of operation.
  const int width = 320, height = 40;
  const Bytes pixels = ggd_picture_writer::makeSamplePicture(ggd_picture_writer::SamplePattern::kMixed, width, height);
  const Bytes file = ggd_picture_writer::encodeGgdPicture(width, height, pixels.data());
  const Bytes stream(file.begin() + 8, file.end());
  ASSERT_GT(stream.size(), 4 * gorsel::kMinStreamBuffer);
  GgdPictureHeader header{~gorsel::kModeTags[gorsel::kFullColourMode], width, height};
  const uint32_t stride = gorsel::GgdStride(header);
  const size_t whole = stream.size();
  struct Case {
    const char* name;
    size_t capacity, filled, limit;
    bool fails;
  } cases[] = {
      {"smallest buffer", gorsel::kMinStreamBuffer, 0, whole, false},
      {"head already in the buffer", gorsel::kMinStreamBuffer + 5, 100, whole, false},
      {"one large buffer", whole + 10, 2048, whole, false},
      // A read that stores less than asked ends the input: the rest reads as zeros (here a
      // repeat count of 0, so the picture is damaged either way).
      {"short read in the middle", 3000, 0, whole / 2, false},
      {"read fails in the middle", 3000, 0, whole / 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // From memory: the stream, with zeros after an early end.
    Bytes expectedStream = stream;
    std::fill(expectedStream.begin() + static_cast<ptrdiff_t>(c.limit), expectedStream.end(), 0);
    Recorder heardFromMemory, heardInPieces;
    Bytes expected(static_cast<size_t>(stride) * height, 0);
    const int fromMemory =
        gorsel::DecodeGgdPixels(header, stride, expectedStream.data(), static_cast<int64_t>(whole), expected.data(),
                                gorsel::Progress{recordProgress, reinterpret_cast<spi::UserData>(&heardFromMemory)});
    Bytes buffer(c.capacity);
    std::memcpy(buffer.data(), stream.data(), c.filled);
    PieceReader reader(stream, c.filled, c.limit, c.fails);
    Bytes bits(expected.size(), 0xCD);
    EXPECT_EQ(gorsel::DecodeGgdPixels(header, stride, reader, static_cast<int64_t>(whole), buffer.data(), c.capacity,
                                      c.filled, bits.data(),
                                      gorsel::Progress{recordProgress, reinterpret_cast<spi::UserData>(&heardInPieces)}),
              c.fails ? spi::kReadError : fromMemory);
    if (!c.fails) {
      EXPECT_TRUE(fromMemory != 0 || bits == expected);
      EXPECT_EQ(heardInPieces.calls, heardFromMemory.calls);
    }
  }
  // The stream as a whole is the picture.
  EXPECT_TRUE(bottomUp(width, height, pixels.data()) == [&] {
    Bytes bits(static_cast<size_t>(stride) * height);
    gorsel::DecodeGgdPixels(header, stride, stream.data(), static_cast<int64_t>(whole), bits.data(), gorsel::kNoProgress);
    return bits;
  }());
  // A buffer too small to hold the longest operation twice is refused.
  Bytes small(gorsel::kMinStreamBuffer - 1);
  PieceReader reader(stream, 0, whole, false);
  Bytes bits(static_cast<size_t>(stride) * height);
  EXPECT_EQ(gorsel::DecodeGgdPixels(header, stride, reader, static_cast<int64_t>(whole), small.data(), small.size(), 0,
                                    bits.data(), gorsel::kNoProgress),
            spi::kInternalError);
}

namespace {

// The format read plainly: one flat output, each operation byte by byte with its checks in
// order, then the rows turned bottom-up. Only the last one or two bytes of an output whose
// size is no multiple of 3 are filled by an operation cut short, and nothing is read once
// the last pixel is complete.
Decoded plainDecode(int width, int height, const Bytes& stream) {
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const size_t stride = (rowBytes + 3) & ~size_t{3};
  const size_t size = stride * static_cast<size_t>(height);
  Bytes flat(size, 0);
  size_t in = 0, out = 0;
  while (in < stream.size() && out < size - stride + rowBytes) {
    const uint8_t op = stream[in++];
    const size_t left = stream.size() - in;
    size_t count = 1, distance = 0;
    const uint8_t* literal = nullptr;
    if (op >= 5) {
      count = op - 4u;
      if (left < 3 * count) break;
      literal = &stream[in];
      in += 3 * count;
    } else {
      const size_t operandBytes[] = {1, 2, 3, 1, 2};
      if (left < operandBytes[op]) break;
      const uint8_t* o = &stream[in];
      in += operandBytes[op];
      switch (op) {
        case 0: count = o[0]; distance = 1; break;
        case 1: count = o[0]; distance = o[1]; break;
        case 2: count = o[0]; distance = o[1] | size_t{o[2]} << 8; break;
        case 3: distance = o[0]; break;
        default: distance = o[0] | size_t{o[1]} << 8; break;
      }
      if (count == 0) return {spi::kDamaged, {}};
    }
    size_t bytes = 3 * count;
    if (bytes > size - out) {
      if (size - out >= 3) break;
      bytes = size - out;
    }
    if (literal == nullptr && 3 * distance > out) {
      if (bytes < 3 * count) break;
      return {spi::kDamaged, {}};
    }
    for (size_t i = 0; i < bytes; ++i, ++out) flat[out] = literal != nullptr ? literal[i] : flat[out - 3 * distance];
  }
  Bytes bits(size, 0);
  for (int r = 0; r < height; ++r) {
    std::copy_n(flat.begin() + static_cast<ptrdiff_t>(r * stride), rowBytes,
                bits.begin() + static_cast<ptrdiff_t>((height - 1 - r) * stride));
  }
  return {0, bits};
}

// A random stream for a width x height picture: mostly sound operations of every kind, with
// distances from 0 to before the first pixel, counts of 0, long and short literal runs,
// cut off or followed by zeros.
Bytes randomStream(std::mt19937& random, int width, int height) {
  auto below = [&](size_t n) { return static_cast<size_t>(random() % n); };
  const bool hostile = below(8) == 0;
  Bytes stream;
  size_t pixels = 0;
  const size_t operations = 1 + below(static_cast<size_t>(width) * height + 10);
  for (size_t k = 0; k < operations; ++k) {
    const size_t op = k == 0 ? 5 + below(6) : below(9);
    if (op >= 5) {
      const size_t run = 1 + (below(4) == 0 ? below(251) : below(8));
      stream.push_back(static_cast<uint8_t>(4 + run));
      for (size_t i = 0; i < 3 * run; ++i) stream.push_back(static_cast<uint8_t>(random()));
      pixels += run;
      continue;
    }
    const size_t count = hostile && below(20) == 0 ? 0 : 1 + (below(3) == 0 ? below(255) : below(5));
    const size_t distance = hostile && below(20) == 0 ? below(65536)
                            : below(4) == 0          ? below(3)
                                                     : 1 + below(std::max<size_t>(pixels, 1));
    const uint8_t d0 = static_cast<uint8_t>(distance), d1 = static_cast<uint8_t>(distance >> 8);
    const Bytes operands[] = {bytes({static_cast<uint8_t>(count)}), bytes({static_cast<uint8_t>(count), d0}),
                              bytes({static_cast<uint8_t>(count), d0, d1}), bytes({d0}), bytes({d0, d1})};
    stream.push_back(static_cast<uint8_t>(op));
    stream.insert(stream.end(), operands[op].begin(), operands[op].end());
    pixels += op <= 2 ? count : 1;
  }
  if (below(5) == 0) stream.resize(below(stream.size() + 1));
  if (below(5) == 0) stream.resize(stream.size() + below(3000), 0);
  return stream;
}

}  // namespace

TEST(GgdDecoder, DecodesRandomStreamsAsThePlainReadingDoes) {
  std::mt19937 random(16);
  for (int n = 0; n < 1500; ++n) {
    const int width = 1 + static_cast<int>(random() % (n % 8 == 0 ? 700 : 40));
    const int height = 1 + static_cast<int>(random() % 30);
    const Bytes stream = randomStream(random, width, height);
    const Decoded expected = plainDecode(width, height, stream);
    const Decoded got = decode(width, height, stream, 0xCD);
    ASSERT_EQ(got.code, expected.code) << width << " x " << height << ", case " << n;
    if (expected.code == 0) {
      ASSERT_TRUE(got.bits == expected.bits) << width << " x " << height << ", case " << n;
    }
  }
}
