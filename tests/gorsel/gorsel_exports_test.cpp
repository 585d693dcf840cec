// Gorsel's exports as a host calls them: Gorsel.so natively, Gorsel.spi and Gorsel.sph under
// wine. The Unicode twins against these: gorsel_wide_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/win32.h"
#include "tests/common/high_address.h"
#include "tests/common/live_blocks.h"
#include "tests/common/temp_folder.h"
#include "tests/gorsel/gorsel_test_support.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace gorsel_test;
using testing_support::failAllocationsAfter;
using testing_support::liveLocalBlocks;
using testing_support::PlacedBlock;

namespace {

// FULL, 2 x 2: a literal pixel, a repeat, two literals, a copy from 1 pixel back.
const Bytes kWorked = bytes({0xB9, 0xAA, 0xB3, 0xB3, 0x02, 0x00, 0x02, 0x00, 0x05, 0x11, 0x22, 0x33, 0x00, 0x01,
                             0x06, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0x03, 0x01});
const Bytes kWorkedBits =
    bytes({0x66, 0x77, 0x88, 0x99, 0x77, 0x88, 0, 0, 0x11, 0x22, 0x33, 0x11, 0x22, 0x33, 0, 0});
// The same header over a stream that opens with a literal and then copies from 9 pixels back.
const Bytes kDamaged = ggdHeader(2, 2) + bytes({0x05, 1, 2, 3, 0x03, 9});
// "HIGH": a GGD picture, but not one Gorsel decodes.
const Bytes kHighColour = bytes({0xB7, 0xB6, 0xB8, 0xB7, 2, 0, 2, 0, 5, 1, 2, 3});
// A header asking for a 3 GiB bitmap.
const Bytes kHuge = ggdHeader(32767, 32767) + bytes({0x05, 1, 2, 3});

void* const kUntouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));

// The PictureInfo record byte by byte, as hosts of each build read it: 26 bytes with the
// handle unaligned at 22, or in the 64-bit interface 32 bytes with two zero bytes of padding
// at 22 and an 8-byte handle at 24.
#if defined(_WIN64)
constexpr size_t kRecordBytes = 32;
#else
constexpr size_t kRecordBytes = 26;
#endif
constexpr size_t kRecordRoom = 40;  // the host's buffer, larger than the record

void putLittleEndian32(Bytes& to, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) to[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

Bytes pictureRecord(int width, int height) {
  Bytes record(kRecordBytes, 0);  // left, top, padding and hInfo are 0
  putLittleEndian32(record, 8, static_cast<uint32_t>(width));
  putLittleEndian32(record, 12, static_cast<uint32_t>(height));
  record[16] = 1;   // x_density
  record[18] = 1;   // y_density
  record[20] = 24;  // colorDepth
  return record;
}

struct PictureResult {
  int code;
  void* info;
  void* bits;
};

class GorselExports : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gorsel.complete());
    liveBefore = liveLocalBlocks();
  }
  void TearDown() override {
    failAllocationsAfter(-1);
    EXPECT_EQ(liveLocalBlocks(), liveBefore) << "local blocks left behind";
  }

  PictureResult getPicture(const char* buf, intptr_t len, unsigned flag, spi::ProgressCallback callback = nullptr,
                           intptr_t user = 0) {
    PictureResult r{0, kUntouched, kUntouched};
    r.code = gorsel.getPicture(buf, len, flag, &r.info, &r.bits, callback, user);
    return r;
  }
  PictureResult getPicture(const Bytes& memory, unsigned flag = spi::kInputMemory) {
    return getPicture(reinterpret_cast<const char*>(memory.data()), static_cast<intptr_t>(memory.size()), flag);
  }

  // Checks the two blocks of a successful call, hands back the bits and frees both.
  Bytes takeBitmap(const PictureResult& r, int width, int height) {
    EXPECT_EQ(r.code, 0);
    if (r.code != 0) return {};
    const uint32_t size = strideOf(width) * static_cast<uint32_t>(height);
    EXPECT_EQ(LocalSize(r.info), sizeof(spi::BitmapInfoHeader));
    EXPECT_EQ(LocalSize(r.bits), size);
    // Fixed blocks: locking yields the handle itself.
    void* infoAt = LocalLock(r.info);
    void* bitsAt = LocalLock(r.bits);
    EXPECT_EQ(infoAt, r.info);
    EXPECT_EQ(bitsAt, r.bits);
    spi::BitmapInfoHeader header;
    std::memcpy(&header, infoAt, sizeof header);
    EXPECT_EQ(+header.biSize, 40u);
    EXPECT_EQ(+header.biWidth, width);
    EXPECT_EQ(+header.biHeight, height);
    EXPECT_EQ(+header.biPlanes, 1);
    EXPECT_EQ(+header.biBitCount, 24);
    EXPECT_EQ(+header.biCompression, 0u);
    EXPECT_EQ(+header.biSizeImage, size);
    EXPECT_EQ(+header.biXPelsPerMeter, 1);
    EXPECT_EQ(+header.biYPelsPerMeter, 1);
    EXPECT_EQ(+header.biClrUsed, 0u);
    EXPECT_EQ(+header.biClrImportant, 0u);
    Bytes bits(static_cast<uint8_t*>(bitsAt), static_cast<uint8_t*>(bitsAt) + size);
    LocalUnlock(r.info);
    LocalUnlock(r.bits);
    EXPECT_EQ(LocalFree(r.info), nullptr);
    EXPECT_EQ(LocalFree(r.bits), nullptr);
    return bits;
  }

  Gorsel gorsel;
  testing_support::TempFolder folder;
  long liveBefore = 0;
};

}  // namespace

TEST_F(GorselExports, PluginInfoIsCopiedAsAPrefix) {
  struct Case {
    int infono;
    int buflen;
    const char* stored;  // nullptr: nothing stored
    int storedBytes;
  } cases[] = {
      {0, 3, "00I", 3},  // cut, without a terminator
      {0, 100, "00IN", 5},
      {0, 5, "00IN", 5},
      {2, 100, "*.GGD", 6},
      {3, 100, "Purple Graphic Data (GGD)", 26},
      {4, 100, nullptr, 0},
      {-1, 100, nullptr, 0},
      {0, 0, nullptr, 0},
      {0, -5, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "infono " << c.infono << " buflen " << c.buflen);
    char buf[128];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(gorsel.getPluginInfo(c.infono, buf, c.buflen), c.storedBytes);
    if (c.stored != nullptr) {
      EXPECT_EQ(std::memcmp(buf, c.stored, static_cast<size_t>(c.storedBytes)), 0);
    }
    EXPECT_EQ(buf[c.storedBytes], 'x');
  }
  char description[128] = {};
  EXPECT_GT(gorsel.getPluginInfo(1, description, sizeof description), 35);
  EXPECT_EQ(std::string(description).rfind("Purple GGD to DIB filter Ver 1.00 ", 0), 0u);
  EXPECT_EQ(gorsel.getPluginInfo(0, nullptr, 100), 0);
}

TEST_F(GorselExports, PreviewAndConfigurationAreNotSupported) {
  void* info = kUntouched;
  void* bits = kUntouched;
  const std::string file = folder.path("a.ggd");
  folder.write("a.ggd", asString(kWorked));
  EXPECT_EQ(gorsel.getPreview(file.c_str(), 0, 0, &info, &bits, nullptr, 0), -1);
  EXPECT_EQ(gorsel.getPreview(nullptr, 0, 1, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(gorsel.getPreviewW(nullptr, 0, 1, &info, &bits, nullptr, 0), -1);
  EXPECT_EQ(info, kUntouched);
  EXPECT_EQ(bits, kUntouched);
  EXPECT_EQ(gorsel.configurationDlg(nullptr, 0), -1);
  EXPECT_EQ(gorsel.configurationDlg(nullptr, 1), -1);
#ifdef _WIN32
  // Hosts that look the routine up by its decorated stdcall name find the same one.
  spi::ConfigurationDlgFn decorated = gorsel.library.get<spi::ConfigurationDlgFn>("_ConfigurationDlg@8");
  ASSERT_NE(decorated, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(decorated), reinterpret_cast<void*>(gorsel.configurationDlg));
  EXPECT_EQ(decorated(nullptr, 2), -1);
#endif
}

TEST_F(GorselExports, IsSupportedThroughAHandleReadsFromWhereItStands) {
  struct Case {
    const char* name;
    Bytes content;
    LONG position;  // where the host left the handle
    int answer;
  } cases[] = {
      {"worked example", kWorked, 0, 1},
      {"picture after 5 bytes, handle there", bytes({1, 2, 3, 4, 5}) + kWorked, 5, 1},
      {"picture after 5 bytes, handle at 0", bytes({1, 2, 3, 4, 5}) + kWorked, 0, 0},
      {"11 bytes: fewer than 12 read", ggdHeader(2, 2) + bytes({5, 1, 2}), 0, 0},
      {"12 bytes", ggdHeader(2, 2) + bytes({6, 1, 2, 3}), 0, 1},
      {"HIGH", kHighColour, 0, 0},
      {"empty file", Bytes{}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folder.write("probe.ggd", asString(c.content));
    HANDLE file = CreateFileA(folder.path("probe.ggd").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFilePointer(file, c.position, nullptr, FILE_BEGIN);
    const uintptr_t dw = reinterpret_cast<uintptr_t>(file);
    ASSERT_LE(dw, 0xFFFFu) << "a handle this large would be taken for an address";
    EXPECT_EQ(gorsel.isSupported("probe.ggd", dw), c.answer);
    // The handle stays the host's and stays open.
    EXPECT_TRUE(CloseHandle(file));
  }
}

TEST_F(GorselExports, IsSupportedThroughAnAddressTakes2048Bytes) {
  struct Case {
    const char* name;
    Bytes head;
    int answer;
  } cases[] = {
      {"worked example", kWorked, 1},
      // The host's head buffer is 2048 bytes, zero after the file's 11.
      {"11-byte file", ggdHeader(2, 2) + bytes({5, 1, 2}), 1},
      {"first operation 4", ggdHeader(2, 2) + bytes({4, 1, 2, 3}), 0},
      {"256G", bytes({0xCD, 0xCA, 0xC9, 0xB8, 2, 0, 2, 0, 5, 1, 2, 3}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes head = c.head;
    head.resize(2048, 0);
    EXPECT_EQ(gorsel.isSupported(nullptr, reinterpret_cast<uintptr_t>(head.data())), c.answer);
  }
}

TEST_F(GorselExports, IsSupportedTellsHandlesFromAddressesAtFullWidth) {
  // The worked example's head at addresses of our choosing. Above 4 GiB it lies where bits
  // 16-31 of the address are clear: cut to 32 bits, that value would be a handle.
  constexpr size_t kLowBits = 0x1230;
  constexpr size_t kOtherLowBits = 0x8000;
  PlacedBlock low(0x10000);
  PlacedBlock high(PlacedBlock::kAbove4GiB);
  if (low.data() != nullptr) std::memcpy(low.data(), kWorked.data(), kWorked.size());
  if (high.data() != nullptr) {
    std::memcpy(high.data() + kLowBits, kWorked.data(), kWorked.size());
    std::memcpy(high.data() + kOtherLowBits, kHighColour.data(), kHighColour.size());
  }
  Bytes heap = kWorked;
  heap.resize(2048, 0);
  const uintptr_t highAt = reinterpret_cast<uintptr_t>(high.data());
  struct Case {
    const char* name;
    uintptr_t dw;  // 0: the address could not be had here
    int answer;
  } cases[] = {
      // Handles that are not open: the read fails and the answer is 0.
      {"0x7F, a handle", 0x7F, 0},
      {"0xFFFF, a handle", 0xFFFF, 0},
      {"0x10000, an address", low.data() ? 0x10000u : 0u, 1},
      {"above 4 GiB, low bits 0x1230", highAt ? highAt + kLowBits : 0, 1},
      {"above 4 GiB, low bits 0x8000, HIGH", highAt ? highAt + kOtherLowBits : 0, 0},
      {"a heap address", reinterpret_cast<uintptr_t>(heap.data()), 1},
  };
  for (const Case& c : cases) {
    if (c.dw == 0) {
      std::printf("skipped: %s\n", c.name);
      continue;
    }
    SCOPED_TRACE(c.name);
    EXPECT_EQ(gorsel.isSupported("x.ggd", c.dw), c.answer);
    EXPECT_EQ(gorsel.isSupportedW(nullptr, c.dw), c.answer);
  }
  if (PlacedBlock::kAbove4GiBExists) {
    EXPECT_NE(high.data(), nullptr) << "no address above 4 GiB could be mapped";
  }
}

TEST_F(GorselExports, PictureInfoFromFilesAndMemory) {
  const Bytes junk = bytes({0xB9, 0xAA, 0xB3, 0xB3, 9});  // looks like a tag, is not a picture
  folder.write("worked.ggd", asString(kWorked));
  folder.write("at5.ggd", asString(junk + kWorked));
  folder.write("ten.ggd", asString(ggdHeader(300, 200) + bytes({5, 1})));
  folder.write("seven.ggd", asString(Bytes(kWorked.begin(), kWorked.begin() + 7)));
  folder.write("high.ggd", asString(kHighColour));
  folder.makeFolder("folder.ggd");
  struct Case {
    const char* name;
    const char* file;  // nullptr: memory input from `memory`
    Bytes memory;
    intptr_t offset;
    unsigned flag;
    int code;
    int width, height;
  } cases[] = {
      {"file", "worked.ggd", {}, 0, 0, 0, 2, 2},
      {"file at offset 5", "at5.ggd", {}, 5, 0, 0, 2, 2},
      {"output bits are ignored", "worked.ggd", {}, 0, 0x100, 0, 2, 2},
      {"input kinds 2..7 read files", "worked.ggd", {}, 0, 7, 0, 2, 2},
      {"memory", nullptr, kWorked, 0, 1, 0, 2, 2},
      // The head buffer counts 2048 bytes whatever the file holds.
      {"10-byte file", "ten.ggd", {}, 0, 0, 0, 300, 200},
      {"7-byte file", "seven.ggd", {}, 0, 0, spi::kUnknownFormat, 0, 0},
      {"HIGH", "high.ggd", {}, 0, 0, spi::kUnknownFormat, 0, 0},
      {"junk at offset 0", "at5.ggd", {}, 0, 0, spi::kUnknownFormat, 0, 0},
      {"offset past the end", "worked.ggd", {}, 1000, 0, spi::kUnknownFormat, 0, 0},
      {"negative offset", "worked.ggd", {}, -5, 0, spi::kReadError, 0, 0},
      {"missing file", "none.ggd", {}, 0, 0, spi::kReadError, 0, 0},
      {"a folder", "folder.ggd", {}, 0, 0, spi::kReadError, 0, 0},
      {"memory of 7 bytes", nullptr, Bytes(kWorked.begin(), kWorked.begin() + 7), 0, 1, spi::kUnknownFormat, 0, 0},
      {"memory of 11 bytes", nullptr, Bytes(kWorked.begin(), kWorked.begin() + 11), 0, 1, spi::kUnknownFormat, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = c.file ? folder.path(c.file) : "";
    const char* buf = c.file ? path.c_str() : reinterpret_cast<const char*>(c.memory.data());
    intptr_t len = c.file ? c.offset : static_cast<intptr_t>(c.memory.size());
    Bytes record(kRecordRoom, 0xEE);
    EXPECT_EQ(gorsel.getPictureInfo(buf, len, c.flag, reinterpret_cast<spi::PictureInfo*>(record.data())), c.code);
    Bytes expected(kRecordRoom, 0xEE);
    if (c.code == 0) expected = pictureRecord(c.width, c.height) + Bytes(kRecordRoom - kRecordBytes, 0xEE);
    EXPECT_EQ(record, expected);
  }
}

TEST_F(GorselExports, PictureInfoAnswersNullArguments) {
  EXPECT_EQ(gorsel.getPictureInfo(reinterpret_cast<const char*>(kWorked.data()), 23, 1, nullptr), -1);
  Bytes record(kRecordRoom, 0xEE);
  auto* info = reinterpret_cast<spi::PictureInfo*>(record.data());
  EXPECT_EQ(gorsel.getPictureInfo(nullptr, 23, 1, info), spi::kUnknownFormat);
  EXPECT_EQ(gorsel.getPictureInfo(nullptr, 0, 0, info), spi::kReadError);
  EXPECT_EQ(record, Bytes(kRecordRoom, 0xEE));
}

TEST_F(GorselExports, PictureFromFileAtAnOffsetAndFromMemory) {
  folder.write("worked.ggd", asString(kWorked));
  folder.write("inside.bin", asString(bytes({1, 2, 3, 4, 5, 6, 7}) + kWorked + bytes({0x05})));
  const std::string worked = folder.path("worked.ggd");
  const std::string inside = folder.path("inside.bin");
  EXPECT_EQ(takeBitmap(getPicture(worked.c_str(), 0, 0), 2, 2), kWorkedBits);
  // The one byte after the picture is an operation cut short: it changes nothing.
  EXPECT_EQ(takeBitmap(getPicture(inside.c_str(), 7, 0), 2, 2), kWorkedBits);
  EXPECT_EQ(takeBitmap(getPicture(worked.c_str(), 0, 0x100), 2, 2), kWorkedBits);
  EXPECT_EQ(takeBitmap(getPicture(worked.c_str(), 0, 3), 2, 2), kWorkedBits);
  EXPECT_EQ(takeBitmap(getPicture(kWorked), 2, 2), kWorkedBits);
}

TEST_F(GorselExports, BytesAfterAPictureChangeNothing) {
  // Hosts read small files into a zero-filled 2048-byte buffer and pass len = 2048; files
  // carry text after the picture. Decoding ends with the last pixel of every size, also where
  // only a row's padding bytes are left (widths that are no multiple of 4).
  const Bytes text = bytes({'\r', '\n', 'c', 'o', 'm', 'm', 'e', 'n', 't', 0x00, 0x00, 0x01});
  for (int width = 1; width <= 8; ++width) {
    for (int height = 1; height <= 8; ++height) {
      SCOPED_TRACE(::testing::Message() << width << " x " << height);
      const Bytes pixels =
          ggd_picture_writer::makeSamplePicture(ggd_picture_writer::SamplePattern::kNoise, width, height,
                                                static_cast<uint32_t>(width * 8 + height));
      const Bytes file = ggd_picture_writer::encodeGgdPicture(width, height, pixels.data());
      ASSERT_LE(file.size(), 2048u);
      const Bytes expected = bottomUp(width, height, pixels.data());
      Bytes zeroFilled = file;
      zeroFilled.resize(2048, 0);
      folder.write("zeros.ggd", asString(zeroFilled));
      folder.write("text.ggd", asString(file + text));
      EXPECT_EQ(takeBitmap(getPicture(file), width, height), expected) << "alone";
      EXPECT_EQ(takeBitmap(getPicture(zeroFilled), width, height), expected) << "2048-byte block";
      EXPECT_EQ(takeBitmap(getPicture(file + text), width, height), expected) << "text in memory";
      EXPECT_EQ(takeBitmap(getPicture(folder.path("zeros.ggd").c_str(), 0, 0), width, height), expected) << "zeros";
      EXPECT_EQ(takeBitmap(getPicture(folder.path("text.ggd").c_str(), 0, 0), width, height), expected) << "text";
    }
  }
}

TEST_F(GorselExports, PictureReadsNoMoreThanItsSizeCanConsume) {
  // Pictures at the start and at an offset of a 3 GiB file that is almost all hole: only what
  // a picture of the header's size can consume is read, so the call asks for kilobytes (and
  // the 32-bit build does not run out of room). Natively every allocation above 1 MiB fails.
  const Bytes onePixel = ggdHeader(1, 1) + bytes({0x05, 0x10, 0x20, 0x30});
  const Bytes onePixelBits = bytes({0x10, 0x20, 0x30, 0});
  const Bytes twoByTwoBits = kWorkedBits;
  const uintmax_t kThreeGiB = uintmax_t{3} << 30;
  struct Case {
    const char* name;
    Bytes front;  // the file's first bytes; the rest up to 3 GiB reads as zeros
    intptr_t offset;
    int width, height;
    const Bytes* bits;
  } cases[] = {
      {"1 x 1 at the start", onePixel, 0, 1, 1, &onePixelBits},
      {"2 x 2 at offset 7", bytes({1, 2, 3, 4, 5, 6, 7}) + kWorked, 7, 2, 2, &twoByTwoBits},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folder.write("big.ggd", asString(c.front));
    std::error_code error;
    std::filesystem::resize_file(folder.root() / "big.ggd", kThreeGiB, error);
    ASSERT_FALSE(error) << error.message();
#ifndef _WIN32
    platformFailAllocationsAbove(size_t{1} << 20);
#endif
    PictureResult r = getPicture(folder.path("big.ggd").c_str(), c.offset, 0);
#ifndef _WIN32
    platformFailAllocationsAbove(SIZE_MAX);
#endif
    EXPECT_EQ(takeBitmap(r, c.width, c.height), *c.bits);
    std::filesystem::remove(folder.root() / "big.ggd", error);
  }
}

TEST_F(GorselExports, PictureOf640By480) {
  // One literal pixel and nothing else: the rest of the picture stays black.
  const Bytes file = ggdHeader(640, 480) + bytes({0x05, 0x10, 0x20, 0x30});
  Bytes bits = takeBitmap(getPicture(file), 640, 480);
  ASSERT_EQ(bits.size(), 921600u);
  Bytes expected(921600, 0);
  expected[479 * 1920 + 0] = 0x10;  // the top-left pixel lies in the last row of the block
  expected[479 * 1920 + 1] = 0x20;
  expected[479 * 1920 + 2] = 0x30;
  EXPECT_EQ(bits, expected);
}

TEST_F(GorselExports, PictureFailuresStoreNothingAndFreeEverything) {
  folder.write("damaged.ggd", asString(kDamaged));
  folder.write("high.ggd", asString(kHighColour));
  folder.write("ten.ggd", asString(ggdHeader(2, 2) + bytes({5, 1})));
  folder.write("huge.ggd", asString(kHuge));
  folder.write("worked.ggd", asString(kWorked));
  folder.makeFolder("folder.ggd");
  struct Case {
    const char* name;
    const char* file;  // nullptr: memory input from `memory`
    Bytes memory;
    intptr_t offset;
    int code;
  } cases[] = {
      {"damaged stream", "damaged.ggd", {}, 0, spi::kDamaged},
      {"damaged stream in memory", nullptr, kDamaged, 0, spi::kDamaged},
      {"HIGH", "high.ggd", {}, 0, spi::kUnknownFormat},
      {"10-byte file: fewer than 12 bytes", "ten.ggd", {}, 0, spi::kUnknownFormat},
      {"offset past the end", "worked.ggd", {}, 24, spi::kUnknownFormat},
      {"offset far past the end", "worked.ggd", {}, 0x7FFFFFF0, spi::kUnknownFormat},
      {"negative offset", "worked.ggd", {}, -1, spi::kReadError},
      {"missing file", "none.ggd", {}, 0, spi::kReadError},
      {"a folder", "folder.ggd", {}, 0, spi::kReadError},
      {"3 GiB bitmap from a file", "huge.ggd", {}, 0, spi::kNoMemory},
      {"3 GiB bitmap from memory", nullptr, kHuge, 0, spi::kNoMemory},
      {"memory of 11 bytes", nullptr, Bytes(kWorked.begin(), kWorked.begin() + 11), 0, spi::kUnknownFormat},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PictureResult r;
    if (c.file) {
      r = getPicture(folder.path(c.file).c_str(), c.offset, 0);
    } else {
      r = getPicture(c.memory);
    }
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.info, kUntouched);
    EXPECT_EQ(r.bits, kUntouched);
    EXPECT_EQ(liveLocalBlocks(), liveBefore);
  }
  // Memory blocks of negative length hold nothing.
  PictureResult r = getPicture(reinterpret_cast<const char*>(kWorked.data()), -23, 1);
  EXPECT_EQ(r.code, spi::kUnknownFormat);
  EXPECT_EQ(r.info, kUntouched);
}

TEST_F(GorselExports, PictureAnswersNullArguments) {
  void* handle = kUntouched;
  const char* memory = reinterpret_cast<const char*>(kWorked.data());
  EXPECT_EQ(gorsel.getPicture(memory, 23, 1, nullptr, &handle, nullptr, 0), -1);
  EXPECT_EQ(gorsel.getPicture(memory, 23, 1, &handle, nullptr, nullptr, 0), -1);
  EXPECT_EQ(handle, kUntouched);
  PictureResult r = getPicture(nullptr, 23, 1);
  EXPECT_EQ(r.code, spi::kUnknownFormat);
  r = getPicture(nullptr, 0, 0);
  EXPECT_EQ(r.code, spi::kReadError);
  EXPECT_EQ(r.info, kUntouched);
  EXPECT_EQ(r.bits, kUntouched);
}

#ifndef _WIN32
TEST_F(GorselExports, FailedAllocationsFreeWhatWasAllocated) {
  folder.write("worked.ggd", asString(kWorked));
  const std::string worked = folder.path("worked.ggd");
  // File input allocates the input block, the information block and the bits block; memory
  // input only the last two. Every one of them in turn fails.
  for (long allowed = 0; allowed < 3; ++allowed) {
    SCOPED_TRACE(allowed);
    failAllocationsAfter(allowed);
    PictureResult r = getPicture(worked.c_str(), 0, 0);
    EXPECT_EQ(r.code, spi::kNoMemory);
    EXPECT_EQ(r.info, kUntouched);
    EXPECT_EQ(liveLocalBlocks(), liveBefore);
    failAllocationsAfter(allowed);
    if (allowed < 2) {
      r = getPicture(kWorked);
      EXPECT_EQ(r.code, spi::kNoMemory);
      EXPECT_EQ(r.bits, kUntouched);
      EXPECT_EQ(liveLocalBlocks(), liveBefore);
    }
  }
  failAllocationsAfter(3);
  EXPECT_EQ(takeBitmap(getPicture(worked.c_str(), 0, 0), 2, 2), kWorkedBits);
}
#endif

namespace {

struct Progress {
  std::vector<std::pair<int, int>> calls;
  bool stop = false;
};

int SPI_CALL recordProgress(int num, int denom, spi::UserData user) {
  Progress* progress = reinterpret_cast<Progress*>(user);
  progress->calls.emplace_back(num, denom);
  return progress->stop ? 1 : 0;
}

}  // namespace

TEST_F(GorselExports, PictureReportsProgressAndStopsWhenAsked) {
  const intptr_t len = static_cast<intptr_t>(kWorked.size());
  const char* memory = reinterpret_cast<const char*>(kWorked.data());
  // 15 stream bytes: a tenth is 1 byte, so every operation boundary after the first reports.
  Progress progress;
  EXPECT_EQ(takeBitmap(getPicture(memory, len, 1, recordProgress, reinterpret_cast<intptr_t>(&progress)), 2, 2),
            kWorkedBits);
  EXPECT_EQ(progress.calls, (std::vector<std::pair<int, int>>{{4, 15}, {6, 15}, {13, 15}, {15, 15}}));

  Progress stop;
  stop.stop = true;
  PictureResult r = getPicture(memory, len, 1, recordProgress, reinterpret_cast<intptr_t>(&stop));
  EXPECT_EQ(r.code, spi::kAborted);
  EXPECT_EQ(r.info, kUntouched);
  EXPECT_EQ(r.bits, kUntouched);
  EXPECT_EQ(stop.calls.size(), 1u);
}

namespace {

// The user values that the callback heard, whichever call made it.
std::vector<intptr_t> heardUsers;

int SPI_CALL recordUser(int, int, spi::UserData user) {
  heardUsers.push_back(user);
  return 0;
}

}  // namespace

TEST_F(GorselExports, ProgressCallbackGetsTheUserValueAtFullWidth) {
  const intptr_t wide = static_cast<intptr_t>(sizeof(intptr_t) == 8 ? UINT64_C(0x0123456789ABCDEF) : 0x89ABCDEFu);
  const intptr_t users[] = {0, 1, -1, 0x7FFFFFFF, INTPTR_MIN, INTPTR_MAX, wide,
                            // Bits above 31 set and bits 0-31 clear, where pointers are that wide.
                            static_cast<intptr_t>(static_cast<uintptr_t>(wide) & ~uintptr_t{0xFFFFFFFFu})};
  for (intptr_t user : users) {
    SCOPED_TRACE(static_cast<long long>(user));
    heardUsers.clear();
    takeBitmap(getPicture(reinterpret_cast<const char*>(kWorked.data()), static_cast<intptr_t>(kWorked.size()), 1,
                          recordUser, user),
               2, 2);
    ASSERT_EQ(heardUsers.size(), 4u);
    for (intptr_t heard : heardUsers) EXPECT_EQ(heard, user);
  }
}

TEST_F(GorselExports, MalformedInputFailsCleanly) {
  // Every seed and every input that once crashed, through both kinds of input.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(GORSEL_CORPUS_DIR)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string text = testing_support::readWholeFile(entry.path());
    const Bytes content(text.begin(), text.end());
    folder.write("input.ggd", text);
    for (int memory = 0; memory < 2; ++memory) {
      PictureResult r = memory ? getPicture(content) : getPicture(folder.path("input.ggd").c_str(), 0, 0);
      if (r.code == 0) {
        spi::BitmapInfoHeader header;
        std::memcpy(&header, r.info, sizeof header);
        takeBitmap(r, header.biWidth, header.biHeight);
      } else {
        EXPECT_TRUE(r.code == spi::kUnknownFormat || r.code == spi::kDamaged || r.code == spi::kNoMemory) << r.code;
        EXPECT_EQ(r.info, kUntouched);
      }
      EXPECT_EQ(liveLocalBlocks(), liveBefore);
    }
  }
  EXPECT_GT(files, 0u);
}
