// The GGA decoder on hand-made files: every code, the ends of the picture and of the
// data, row order, the header rules, and damaged back references.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/oslin/gga_test_data.h"

namespace {

using namespace gga_test;

struct DecodeCase {
  const char* what;
  uint16_t width, height;
  Bytes codes;
  Pixels expected;  // top row first; 0 where no code wrote
};

void expectDecodes(const std::vector<DecodeCase>& cases, uint32_t piece = 0xFFFFFFFF) {
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    Decoded d = decodeFile(ggaFile(c.width, c.height, c.codes), piece);
    ASSERT_EQ(d.code, 0);
    EXPECT_EQ(d.topDown, c.expected);
  }
}

std::vector<DecodeCase> everyCode() {
  return {
      {"12-13: literals", 2, 1, {13, PA, PB}, {A, B}},
      {"0: repeat the previous pixel, u8 count", 2, 1, {12, PA, 0, 1}, {A, A}},
      {"1: repeat, u16 count 0x0100 little-endian", 257, 1, {12, PA, 1, 0x00, 0x01}, repeat(A, 257)},
      {"2: one pixel from distance u8", 3, 1, {13, PA, PB, 2, 2}, {A, B, A}},
      {"3: one pixel from distance u16 0x0002 little-endian", 3, 1, {13, PA, PB, 3, 0x02, 0x00}, {A, B, A}},
      {"4: d u8 4, count u8 4: a second row equal to the first", 4, 2, {15, PA, PB, PC, PD, 4, 4, 4},
       {A, B, C, D, A, B, C, D}},
      {"5: d u8 2, count u16 4", 3, 2, {13, PA, PB, 5, 2, 0x04, 0x00}, {A, B, A, B, A, B}},
      {"6: d u16 2, count u8 4", 3, 2, {13, PA, PB, 6, 0x02, 0x00, 4}, {A, B, A, B, A, B}},
      {"7: d u16 2, count u16 4", 3, 2, {13, PA, PB, 7, 0x02, 0x00, 0x04, 0x00}, {A, B, A, B, A, B}},
      {"4: distance below the count repeats a pattern", 7, 1, {13, PA, PB, 4, 2, 5}, {A, B, A, B, A, B, A}},
      {"5: distance 3 pattern across three rows", 3, 3, {14, PA, PB, PC, 5, 3, 6, 0}, {A, B, C, A, B, C, A, B, C}},
      {"7: distance 0x0100 reaches the first pixel", 257, 1,
       {12, PB, 1, 0xFE, 0x00, 12, PA, 7, 0x00, 0x01, 0x01, 0x00}, join({repeat(B, 255), {A, B}})},
      {"9: four codes 9 copy the row above", 4, 2, {15, PA, PB, PC, PD, 9, 9, 9, 9}, {A, B, C, D, A, B, C, D}},
      {"10 at the first pixel of row 3 takes the last pixel of row 1", 2, 3, {13, PA, PB, 13, PC, PD, 10},
       {A, B, C, D, B, 0}},
      {"11 at the end of a row takes the first pixel of that row", 3, 2, {14, PA, PB, PC, 13, PD, PB, 11},
       {A, B, C, D, B, D}},
      {"11 then 10 inside a row", 3, 2, {14, PA, PB, PC, 12, PD, 11, 10}, {A, B, C, D, C, B}},
      {"a count of 0 writes nothing and decoding goes on", 2, 1, {12, PA, 0, 0, 4, 1, 0, 12, PB}, {A, B}},
      {"a literal may run on into the next row", 2, 2, {14, PA, PB, PC, 12, PD}, {A, B, C, D}},
      {"a run crossing the row end", 2, 3, {12, PA, 0, 4, 12, PB}, {A, A, A, A, A, B}},
  };
}

TEST(GgaDecoder, DecodesEveryCode) { expectDecodes(everyCode()); }

// Reads handed out a few bytes at a time split codes and operands across window top-ups.
TEST(GgaDecoder, DecodesTheSameWhenTheStreamDeliversSmallPieces) {
  expectDecodes(everyCode(), 3);
  expectDecodes(everyCode(), 1);
}

TEST(GgaDecoder, EndsOfThePictureAndOfTheData) {
  expectDecodes({
      {"code 255 near the end writes what fits; the rest is never read", 2, 1,
       {255, PA, PB, PC, PD}, {A, B}},
      {"a literal that fits exactly, then codes past the end are ignored", 1, 1, {12, PA, 8, 2, 0}, {A}},
      {"a repeat longer than what is left ends at the last pixel", 3, 1, {12, PA, 1, 0xFF, 0xFF}, {A, A, A}},
      {"a copy longer than what is left ends at the last pixel", 4, 1, {13, PA, PB, 7, 0x02, 0x00, 0xFF, 0xFF},
       {A, B, A, B}},
      {"codes running out leave the rest zero", 3, 1, {12, PA}, {A, 0, 0}},
      {"no codes at all", 2, 1, {}, {0, 0}},
      {"a literal cut short keeps its whole pixels and the bytes of the last", 3, 1, {14, PA, 0xB1, 0xB2},
       {A, 0x0000B2B1, 0}},
      {"count u8 missing", 3, 1, {12, PA, 0}, {A, 0, 0}},
      {"half of a u16 count", 3, 1, {12, PA, 1, 0x05}, {A, 0, 0}},
      {"count of code 4 missing", 3, 1, {12, PA, 4, 1}, {A, 0, 0}},
      {"distance of code 7 half there", 3, 1, {12, PA, 7, 0x01}, {A, 0, 0}},
  });
}

TEST(GgaDecoder, DeliversRowsBottomUp) {
  Decoded d = decodeFile(ggaFile(2, 3, {17, PA, PB, PC, PD, PA, PC}));
  ASSERT_EQ(d.code, 0);
  const Bytes expected = {PA, PC, PC, PD, PA, PB};  // last row first
  EXPECT_EQ(d.bits, expected);
}

// Every back reference must reach a pixel already written; one that does not ends
// decoding, keeping what came before it.
TEST(GgaDecoder, StopsAtBackReferencesThatReachNoWrittenPixel) {
  expectDecodes({
      {"0 as the first code", 2, 1, {0, 1, 12, PA}, {0, 0}},
      {"1 as the first code", 2, 1, {1, 0x01, 0x00, 12, PA}, {0, 0}},
      {"2 with distance 0", 3, 1, {12, PA, 2, 0, 12, PB}, {A, 0, 0}},
      {"2 reaching before the first pixel", 3, 1, {12, PA, 2, 2, 12, PB}, {A, 0, 0}},
      {"3 with distance 0x0100, beyond what was written", 3, 1, {12, PA, 3, 0x00, 0x01}, {A, 0, 0}},
      {"4 with distance 0", 3, 1, {12, PA, 4, 0, 2}, {A, 0, 0}},
      {"5 reaching before the first pixel", 4, 1, {13, PA, PB, 5, 3, 0x02, 0x00}, {A, B, 0, 0}},
      {"6 with distance 0", 3, 1, {12, PA, 6, 0x00, 0x00, 2}, {A, 0, 0}},
      {"7 reaching before the first pixel", 4, 1, {12, PA, 7, 0x05, 0x00, 0x02, 0x00}, {A, 0, 0, 0}},
      {"9 on the first row", 2, 2, {12, PA, 9, 12, PB}, {A, 0, 0, 0}},
      {"10 at the first pixel of row 2", 2, 2, {13, PA, PB, 10}, {A, B, 0, 0}},
      {"11 before the row above has reached its second pixel", 3, 2, {12, PA, 11}, {A, 0, 0, 0, 0, 0}},
      {"11 in a picture one pixel wide (distance 0)", 1, 3, {12, PA, 11, 12, PB}, {A, 0, 0}},
      {"8 has no meaning: decoding stops", 3, 1, {12, PA, 8, 12, PB}, {A, 0, 0}},
      {"8 as the first code", 1, 1, {8, 12, PA}, {0}},
  });
}

// The same where the rows are wide and plenty of data follows, so that the codes are read
// on the short way: the reference is found unreached there and left to the general way.
TEST(GgaDecoder, StopsAtUnreachedReferencesAmidPlentyOfData) {
  auto thenPlenty = [](Bytes codes) {
    codes.resize(codes.size() + 1200, 12);  // literals that are never read
    return codes;
  };
  expectDecodes({
      {"2 reaching before the first pixel", 8, 2, thenPlenty({12, PA, 2, 2}), join({{A}, repeat(0, 15)})},
      {"9 on the first row", 8, 2, thenPlenty({12, PA, 9}), join({{A}, repeat(0, 15)})},
      {"10 at the first pixel of row 2", 8, 2, thenPlenty({19, PA, PB, PA, PB, PA, PB, PA, PB, 10}),
       join({{A, B, A, B, A, B, A, B}, repeat(0, 8)})},
      {"7 reaching exactly the first pixel, then 8", 8, 2, thenPlenty({13, PA, PB, 7, 0x02, 0x00, 0x03, 0x00, 8}),
       join({{A, B, A, B, A}, repeat(0, 11)})},
  });
}

// Rows wide enough that short codes move whole blocks of pixels and may write past their
// last pixel inside the row: what decoding leaves must be what pixel-by-pixel decoding
// leaves, also when it stops right after such a code, and with plenty of data after a
// code that ends decoding.
TEST(GgaDecoder, WideRowsDecodeAsPixelByPixel) {
  Bytes stopThenMany = {12, 0, 0, 0, 0, 8};
  stopThenMany.resize(stopThenMany.size() + 1200, 12);  // literals of 0x0C0C0C0C, never read
  expectDecodes({
      {"one literal, then the data ends", 8, 1, {12, PA}, join({{A}, repeat(0, 7)})},
      {"a literal of two, then a cut operand", 8, 1, {13, PA, PB, 4}, join({{A, B}, repeat(0, 6)})},
      {"a copy of three from two back, then the data ends", 8, 1, {13, PA, PB, 4, 2, 3},
       join({{A, B, A, B, A}, repeat(0, 3)})},
      {"a run of four, then a damaged distance", 8, 1, {12, PA, 0, 4, 2, 9}, join({repeat(A, 5), repeat(0, 3)})},
      {"a run of two from distance 3, then code 8", 8, 1, {14, PA, PB, PC, 4, 3, 2, 8},
       join({{A, B, C, A, B}, repeat(0, 3)})},
      {"8 with a thousand code bytes after it", 8, 2, stopThenMany, repeat(0, 16)},
      {"a copy from the row above that runs into this row", 8, 3,
       {19, PA, PB, PC, PD, PA, PB, PC, PD, 4, 2, 12, 12, PD, 5, 5, 7, 0},
       {A, B, C, D, A, B, C, D, C, D, C, D, C, D, C, D, C, D, C, D, D, C, D, C}},
      {"a copy crossing the row end on both sides", 5, 3,
       {16, PA, PB, PC, PD, PA, 6, 0x03, 0x00, 7, 12, PB, 12, PC},
       {A, B, C, D, A, C, D, A, C, D, A, C, B, C, 0}},
  });
}

// The codes read one pixel at a time, as the table in gga_format.h has them, into the
// picture top row first. The codes are whole: none is cut off by the end of the data.
Pixels plainReading(uint16_t width, uint16_t height, const Bytes& codes) {
  Pixels out(static_cast<size_t>(width) * height, 0);
  size_t done = 0;
  size_t at = 0;
  auto operand = [&](int bytes) {
    uint32_t value = 0;
    for (int b = 0; b < bytes; ++b) value |= static_cast<uint32_t>(codes[at++]) << (8 * b);
    return value;
  };
  while (done < out.size() && at < codes.size()) {
    const uint32_t code = codes[at++];
    if (code >= 12) {
      for (uint32_t p = 0; p < code - 11; ++p, at += 4)
        if (done < out.size()) out[done++] = pixelAt(&codes[at]);
      continue;
    }
    uint32_t distance = 1, count = 1;
    switch (code) {
      case 0: count = operand(1); break;
      case 1: count = operand(2); break;
      case 2: distance = operand(1); break;
      case 3: distance = operand(2); break;
      case 4: distance = operand(1), count = operand(1); break;
      case 5: distance = operand(1), count = operand(2); break;
      case 6: distance = operand(2), count = operand(1); break;
      case 7: distance = operand(2), count = operand(2); break;
      case 8: return out;
      default: distance = width + (code == 10 ? 1 : 0) - (code == 11 ? 1 : 0); break;
    }
    if (count == 0) continue;
    if (distance == 0 || distance > done) return out;
    for (uint32_t c = 0; c < count && done < out.size(); ++c, ++done) out[done] = out[done - distance];
  }
  return out;
}

// Whole codes of every kind for `pixels` pixels, most short, some long, sources near and
// far; with `stop`, a code that ends decoding partway, followed by codes never read.
Bytes randomCodes(std::mt19937& rng, uint16_t width, size_t pixels, bool stop) {
  Bytes codes;
  auto pick = [&](uint32_t low, uint32_t high) { return std::uniform_int_distribution<uint32_t>(low, high)(rng); };
  auto put = [&](uint32_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) codes.push_back(static_cast<uint8_t>(value >> (8 * b)));
  };
  size_t stopAt = stop ? pick(1, static_cast<uint32_t>(pixels)) : SIZE_MAX;
  size_t written = 0;
  while (written < pixels + 64) {
    const uint32_t kind = pick(0, 99);
    const uint32_t reach = static_cast<uint32_t>(std::min<size_t>(written, 0xFFFF));
    if (written >= stopAt) {
      kind % 2 ? put(8, 1) : (put(3, 1), put(reach + 1, 2));  // code 8, or a source before the first pixel
      stopAt = SIZE_MAX;
      continue;
    }
    if (written == 0 || kind < 20) {
      const uint32_t n = pick(1, kind % 4 == 0 ? 60 : 6);
      put(11 + n, 1);
      for (uint32_t p = 0; p < n; ++p) put(static_cast<uint32_t>(rng()), 4);
      written += n;
      continue;
    }
    if (kind < 35 && width > 1 && written > width) {
      put(pick(9, 11), 1);
      written += 1;
      continue;
    }
    const uint32_t distance = pick(1, kind % 3 == 0 ? std::min<uint32_t>(reach, 8) : reach);
    const uint32_t count = kind % 5 == 0 ? pick(5, 300) : pick(1, 6);
    if (count == 1 && kind < 55) {
      distance <= 0xFF ? (put(2, 1), put(distance, 1)) : (put(3, 1), put(distance, 2));
    } else if (distance == 1 && kind < 70) {
      count <= 0xFF ? (put(0, 1), put(count, 1)) : (put(1, 1), put(count, 2));
    } else {
      const bool nearSource = distance <= 0xFF, shortCount = count <= 0xFF;
      put(4 + (nearSource ? 0 : 2) + (shortCount ? 0 : 1), 1);
      put(distance, nearSource ? 1 : 2);
      put(count, shortCount ? 1 : 2);
    }
    written += count;
  }
  return codes;
}

// Short codes move whole blocks and long ones take the short way while their blocks fit in
// the row: whatever the mix, rows and stops, decoding leaves what the plain reading does.
TEST(GgaDecoder, DecodesRandomCodesAsThePlainReadingDoes) {
  std::mt19937 rng(20261210);
  for (uint16_t width : {1, 2, 5, 17, 64, 301, 2048}) {
    for (int trial = 0; trial < 6; ++trial) {
      const uint16_t height = static_cast<uint16_t>(std::max(2, 24000 / width));
      const Bytes codes = randomCodes(rng, width, static_cast<size_t>(width) * height, trial % 2 == 1);
      SCOPED_TRACE(testing::Message() << "width " << width << ", trial " << trial);
      const Pixels expected = plainReading(width, height, codes);
      for (uint32_t piece : {0xFFFFFFFFu, 1000u}) {
        Decoded d = decodeFile(ggaFile(width, height, codes), piece);
        ASSERT_EQ(d.code, 0);
        ASSERT_EQ(d.topDown, expected) << "piece " << piece;
      }
    }
  }
}

TEST(GgaDecoder, SkipsTheAuxRegion) {
  Bytes file = ggaFile(2, 1, {13, PA, PB}, 16);
  for (int i = 48; i < 64; ++i) file[i] = 12;  // would read as literals if not skipped
  Decoded d = decodeFile(file);
  ASSERT_EQ(d.code, 0);
  EXPECT_EQ(d.topDown, (Pixels{A, B}));
}

TEST(GgaDecoder, InfoComesFromTheHeader) {
  BytesStream stream(ggaFile(640, 480, {12, PA}));
  gga::GgaDecoder decoder;
  decoder.attach(&stream);
  spi::PictureInfo info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(decoder.getInfo(&info), 0);
  spi::PictureInfo expected = {};
  expected.width = 640;
  expected.height = 480;
  expected.colorDepth = 32;
  EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
}

// The bits buffer is sized from getInfo's answer; a header that changes before decode
// (a file rewritten between the calls) must not be trusted for writing.
TEST(GgaDecoder, RefusesAHeaderThatChangedSinceGetInfo) {
  BytesStream stream(ggaFile(1, 1, {12, PA}));
  gga::GgaDecoder decoder;
  decoder.attach(&stream);
  spi::PictureInfo info;
  ASSERT_EQ(decoder.getInfo(&info), 0);
  stream.bytes() = ggaFile(100, 100, {12, PA, 1, 0xFF, 0xFF});
  uint8_t bits[4] = {};
  support::ProgressNotifier notifier(nullptr, 0);
  EXPECT_EQ(decoder.decode(bits, notifier), spi::kReadError);
  EXPECT_EQ(pixelAt(bits), 0u);
}

TEST(GgaDecoder, CodesBeyondTheStreamLeaveThePictureZero) {
  Bytes file = ggaFile(2, 1, {13, PA, PB}, 0);
  putLe(file, 28, 0x7FFF0000, 4);  // auxSize, codeOffset far past the end
  putLe(file, 16, 0x7FFF0030, 4);
  Decoded d = decodeFile(file);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.topDown, (Pixels{0, 0}));
  putLe(file, 28, 0xFFFFFF00, 4);  // codeOffset beyond what a stream position holds
  putLe(file, 16, 0xFFFFFF30, 4);
  d = decodeFile(file);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.topDown, (Pixels{0, 0}));
}

struct ProbeCase {
  const char* what;
  size_t offset;  // where to write `value`, `size` bytes wide
  uint32_t value;
  int size;
  bool accepted;
};

TEST(GgaDecoder, ProbeAppliesTheHeaderRules) {
  const ProbeCase cases[] = {
      {"unchanged", 0, 'G', 1, true},
      {"magic GGA00001", 7, '1', 1, false},
      {"magic in lower case", 0, 'g', 1, false},
      {"width 0", 8, 0, 2, false},
      {"height 0", 10, 0, 2, false},
      {"reserved u16 at 12 not 0", 12, 1, 2, false},
      {"24 bits per pixel", 14, 24, 1, false},
      {"8 bits per pixel", 14, 8, 1, false},
      {"byte 15 is free", 15, 0xFF, 1, true},
      {"codeOffset 47", 16, 47, 4, false},
      {"codeOffset not 48 + auxSize", 16, 52, 4, false},
      {"dataSize 0", 20, 0, 4, false},
      {"auxOffset 0", 24, 0, 4, false},
      {"auxOffset 49", 24, 49, 4, false},
      {"auxSize without codeOffset to match", 28, 16, 4, false},
      {"bytes 32-47 are free", 40, 0xFFFFFFFF, 4, true},
  };
  for (const ProbeCase& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = ggaFile(2, 1, {13, PA, PB});
    putLe(file, c.offset, c.value, c.size);
    BytesStream stream(file);
    EXPECT_EQ(gga::GgaDecoder().probe(stream), c.accepted ? 1 : 0);
  }
}

TEST(GgaDecoder, ProbeNeedsAWholeHeader) {
  const Bytes header = ggaFile(2, 1, {});
  for (size_t length : {size_t(0), size_t(1), size_t(47)}) {
    BytesStream stream(Bytes(header.begin(), header.begin() + length));
    EXPECT_EQ(gga::GgaDecoder().probe(stream), 0) << length;
  }
  BytesStream whole(Bytes(header.begin(), header.begin() + 48));
  EXPECT_EQ(gga::GgaDecoder().probe(whole), 1);  // codes are not looked at
}

TEST(GgaDecoder, ProbeAcceptsAnAuxRegionWithAMatchingCodeOffset) {
  BytesStream stream(ggaFile(2, 1, {13, PA, PB}, 16));
  EXPECT_EQ(gga::GgaDecoder().probe(stream), 1);
}

}  // namespace
