// Oslin's Unicode twins beside its ANSI exports: the same pictures, failures and probe
// values through both families must give the same answers, records and bitmaps, byte for
// byte; only a file name's family differs, and a name that the code page cannot spell
// opens through the twins. IsSupported tells handles from addresses at full pointer width.
// Runs natively, and under wine against Oslin.spi and Oslin.sph.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/high_address.h"
#include "tests/common/temp_folder.h"
#include "tests/oslin/gga_test_data.h"
#include "tests/oslin/oslin_plugin.h"
#include "tests/support/wide_text.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/test_pictures.h"
#ifndef _WIN32
#include "platform/testing.h"
#endif

namespace {

using namespace gga_test;
using namespace oslin_test;
using spi::WideChar;
using testing_support::WideString;

enum class Names { kAnsi, kWide };
const Names kFamilies[] = {Names::kAnsi, Names::kWide};
const char* familyName(Names names) { return names == Names::kAnsi ? "ANSI" : "Unicode"; }

// A 3 x 2 picture: rows (A B C) and (D A B).
const Bytes kSmall = ggaFile(3, 2, {14, PA, PB, PC, 12, PD, 4, 4, 2});
const Bytes kSmallTopDown = {PA, PB, PC, PD, PA, PB};

std::string asText(const Bytes& b) { return std::string(b.begin(), b.end()); }

// An export's `buf` and `len` and `flag`: a file name as text of the code page, or the
// address of memory input.
struct Input {
  const char* what;
  const char* buf;
  intptr_t len;
  unsigned flag;
};

// `buf` as the twins receive it: a name widened as the system widens it; memory input, and
// a null, unchanged (memory is bytes in both families).
class WideArg {
 public:
  explicit WideArg(const Input& in) {
    if (in.buf == nullptr || spi::inputKind(in.flag) == spi::kInputMemory) {
      arg_ = reinterpret_cast<const WideChar*>(in.buf);
    } else {
      text_ = testing_support::widen(in.buf);
      arg_ = text_.c_str();
    }
  }
  const WideChar* get() const { return arg_; }

 private:
  WideString text_;
  const WideChar* arg_ = nullptr;
};

int progressCalls = 0;
int SPI_CALL countProgress(int, int, spi::UserData) {
  ++progressCalls;
  return 1;  // would ask to stop, if Oslin asked
}

class OslinFamilies : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin.complete()) << "Oslin, with every export of both families, is not built beside the tests";
    progressCalls = 0;
#ifndef _WIN32
    liveBefore = platformLiveLocalBlocks();
#endif
  }
  void TearDown() override {
#ifndef _WIN32
    EXPECT_EQ(platformLiveLocalBlocks(), liveBefore) << "a call left local blocks behind";
#endif
  }

  int pictureInfoIn(Names names, const Input& in, spi::PictureInfo* info) {
    if (names == Names::kAnsi) return plugin.getPictureInfo(in.buf, in.len, in.flag, info);
    return plugin.getPictureInfoW(WideArg(in).get(), in.len, in.flag, info);
  }
  int pictureIn(Names names, const Input& in, void** info, void** bits) {
    intptr_t user = reinterpret_cast<intptr_t>(&progressCalls);
    if (names == Names::kAnsi) return plugin.getPicture(in.buf, in.len, in.flag, info, bits, countProgress, user);
    return plugin.getPictureW(WideArg(in).get(), in.len, in.flag, info, bits, countProgress, user);
  }
  int isSupportedIn(Names names, uintptr_t dw) {
    if (names == Names::kAnsi) return plugin.isSupported("probe.gg0", dw);
    return plugin.isSupportedW(WIDE_TEXT("probe.gg0"), dw);
  }

  Oslin plugin;
  testing_support::TempFolder folder;
  long liveBefore = 0;
};

Bytes blockBytes(void* block) {
  const auto* bytes = static_cast<const uint8_t*>(block);
  return Bytes(bytes, bytes + LocalSize(block));
}

// GetPluginInfoW counts characters where GetPluginInfo counts bytes, and stores the same
// text, cut and terminated by the same rule.
TEST_F(OslinFamilies, PluginInfoAgrees) {
  for (int infono = -1; infono <= 5; ++infono) {
    for (int buflen : {-1, 0, 1, 3, 5, 12, 128}) {
      SCOPED_TRACE(testing::Message() << "infono " << infono << " buflen " << buflen);
      char ansi[128];
      WideChar wide[128];
      std::memset(ansi, '#', sizeof ansi);
      for (WideChar& c : wide) c = '#';
      int stored = plugin.getPluginInfo(infono, ansi, buflen);
      ASSERT_EQ(plugin.getPluginInfoW(infono, wide, buflen), stored);
      for (size_t i = 0; i < 128; ++i) ASSERT_EQ(wide[i], static_cast<unsigned char>(ansi[i])) << i;
    }
  }
  EXPECT_EQ(plugin.getPluginInfoW(0, nullptr, 10), 0);
}

// Every picture, from a file and from memory, gives the same record and the same two blocks
// through both families, and those hold the picture.
TEST_F(OslinFamilies, BothFamiliesReadTheSamePictures) {
  struct Picture {
    const char* what;
    Bytes file;
    Bytes topDown;  // the pixels, top row first; 0 where no code wrote
    int32_t width, height;
  };
  Bytes twoPixels = {PA, PB};
  twoPixels.resize(2 * 2 * 4, 0);
  std::vector<Picture> pictures = {
      {"hand-made 3 x 2", kSmall, kSmallTopDown, 3, 2},
      {"damaged after two pixels", ggaFile(2, 2, {13, PA, PB, 2, 7, 12, PC}), twoPixels, 2, 2},
  };
  struct Written {
    const char* what;
    gga_writer::TestPattern pattern;
    uint32_t width, height, auxSize;
  };
  for (const Written& w : {Written{"every code", gga_writer::TestPattern::kMixed, 320, 70, 0},
                           Written{"flat, aux region", gga_writer::TestPattern::kFlat, 31, 9, 16}}) {
    Bytes pixels = gga_writer::makeTestPicture(w.pattern, w.width, w.height);
    Bytes file;
    gga_writer::WriterOptions options;
    options.auxSize = w.auxSize;
    ASSERT_TRUE(gga_writer::encodeGga(pixels.data(), w.width, w.height, file, options));
    pictures.push_back({w.what, file, pixels, static_cast<int32_t>(w.width), static_cast<int32_t>(w.height)});
  }

  for (const Picture& p : pictures) {
    folder.write("picture.gg0", asText(p.file));
    const std::string path = folder.path("picture.gg0");
    std::vector<Input> inputs = {
        {"file", path.c_str(), 0, 0},
        {"file with a start offset: still read from the start", path.c_str(), 100, 0},
        {"memory", reinterpret_cast<const char*>(p.file.data()), static_cast<intptr_t>(p.file.size()), 1},
    };
    if (sizeof(intptr_t) == 8) {
      inputs.push_back({"file, start offset beyond 32 bits", path.c_str(),
                        static_cast<intptr_t>((uint64_t{1} << 32) + 100), 0});
    }
    for (const Input& in : inputs) {
      SCOPED_TRACE(testing::Message() << p.what << ", " << in.what);
      spi::PictureInfo expected = {};  // the padding of the 64-bit record included
      expected.width = p.width;
      expected.height = p.height;
      expected.colorDepth = 32;
      Bitmap bitmaps[2];
      for (Names names : kFamilies) {
        SCOPED_TRACE(familyName(names));
        spi::PictureInfo info;
        std::memset(&info, 0xAB, sizeof info);
        ASSERT_EQ(pictureInfoIn(names, in, &info), 0);
        EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
        Bitmap& bitmap = bitmaps[names == Names::kAnsi ? 0 : 1];
        ASSERT_EQ(pictureIn(names, in, &bitmap.info, &bitmap.bits), 0);
        EXPECT_TRUE(bitmap.topDown() == p.topDown);  // whole pictures: no byte dump on failure
      }
      EXPECT_EQ(blockBytes(bitmaps[0].info), blockBytes(bitmaps[1].info));
      EXPECT_TRUE(blockBytes(bitmaps[0].bits) == blockBytes(bitmaps[1].bits));
    }
  }
  EXPECT_EQ(progressCalls, 0);
}

// Failures answer the same code in both families, leave the host's record and handle
// variables as they were and free everything.
TEST_F(OslinFamilies, BothFamiliesFailAlike) {
  folder.write("small.gg0", asText(kSmall));
  folder.write("text.txt", "this is not a picture, though it is long enough to hold a header");
  folder.write("empty.gg0", "");
  const std::string small = folder.path("small.gg0");
  const std::string missing = folder.path("missing.gg0");
  const std::string text = folder.path("text.txt");
  const std::string empty = folder.path("empty.gg0");
  const std::string itself = folder.path();
  Bytes huge = kSmall;  // 65535 x 65535: far above what Oslin allocates
  putLe(huge, 8, 0xFFFF, 2);
  putLe(huge, 10, 0xFFFF, 2);
  const char* memory = reinterpret_cast<const char*>(kSmall.data());
  struct Case {
    Input in;
    int infoCode, pictureCode;
  };
  const Case cases[] = {
      {{"input kind 2", small.c_str(), 0, 2}, -1, -1},
      {{"input kind 7 over memory", memory, static_cast<intptr_t>(kSmall.size()), 7}, -1, -1},
      {{"missing file", missing.c_str(), 0, 0}, 6, 6},
      {{"folder", itself.c_str(), 0, 0}, 6, 6},
      {{"not GGA", text.c_str(), 0, 0}, 4, 4},
      {{"empty file", empty.c_str(), 0, 0}, 4, 4},
      {{"memory shorter than a header", memory, 47, 1}, 4, 4},
      {{"memory of negative size", memory, -1, 1}, 4, 4},
      {{"null name", nullptr, 0, 0}, -1, -1},
      {{"null memory", nullptr, 100, 1}, -1, -1},
      // Its size is reported; the bitmap is refused.
      {{"picture too large to allocate", reinterpret_cast<const char*>(huge.data()),
        static_cast<intptr_t>(huge.size()), 1}, 0, 4},
  };
  void* const untouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x1234));
  for (Names names : kFamilies) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << familyName(names) << ": " << c.in.what);
      spi::PictureInfo info;
      std::memset(&info, 0x5A, sizeof info);
      EXPECT_EQ(pictureInfoIn(names, c.in, &info), c.infoCode);
      const uint8_t* raw = reinterpret_cast<const uint8_t*>(&info);
      for (size_t i = 0; i < sizeof info && c.infoCode != 0; ++i) ASSERT_EQ(raw[i], 0x5A) << i;
      void* infoHandle = untouched;
      void* bitsHandle = untouched;
      EXPECT_EQ(pictureIn(names, c.in, &infoHandle, &bitsHandle), c.pictureCode);
      EXPECT_EQ(infoHandle, untouched);
      EXPECT_EQ(bitsHandle, untouched);
    }
    const Input file = {"small", small.c_str(), 0, 0};
    void* handle = untouched;
    EXPECT_EQ(pictureInfoIn(names, file, nullptr), -1);
    EXPECT_EQ(pictureIn(names, file, nullptr, &handle), -1);
    EXPECT_EQ(pictureIn(names, file, &handle, nullptr), -1);
    EXPECT_EQ(handle, untouched);
  }
}

// `dw` up to 0xFFFF is a file handle, anything above an address, tested at full pointer
// width: an address above 4 GiB whose bits 16-31 are clear is still read as an address.
TEST_F(OslinFamilies, IsSupportedTellsHandlesFromAddresses) {
  Bytes head = kSmall;
  head.resize(1024, 0xEE);  // the host's buffer of the file's first bytes
  Bytes text(1024, 'x');
  testing_support::PlacedBlock high(testing_support::PlacedBlock::kAbove4GiB);
  if (high.data() != nullptr) std::memcpy(high.data(), head.data(), head.size());
  folder.write("small.gg0", asText(kSmall));
  HANDLE file = CreateFileA(folder.path("small.gg0").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(spi::isProbeHandle(reinterpret_cast<uintptr_t>(file)));
  struct Case {
    const char* what;
    uintptr_t dw;
    int answer;
  };
  std::vector<Case> cases = {
      {"0, no handle at all", 0, 0},
      {"handle 0x7F, no such file", 0x7F, 0},
      {"handle 0xFFFF, no such file", 0xFFFF, 0},
      {"the host's handle on a GGA file", reinterpret_cast<uintptr_t>(file), 1},
      {"a GGA head on the heap", reinterpret_cast<uintptr_t>(head.data()), 1},
      {"text on the heap", reinterpret_cast<uintptr_t>(text.data()), 0},
  };
  if (high.data() != nullptr) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(high.data());
    ASSERT_EQ(address & 0xFFFF0000u, 0u);
    cases.push_back({"a GGA head above 4 GiB, bits 16-31 clear", address, 1});
  }
  for (Names names : kFamilies) {
    for (const Case& c : cases) {
      EXPECT_EQ(isSupportedIn(names, c.dw), c.answer) << familyName(names) << ": " << c.what;
    }
  }
  // The host's handle is still open.
  EXPECT_NE(SetFilePointer(file, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_TRUE(CloseHandle(file));
  if (testing_support::PlacedBlock::kAbove4GiBExists && high.data() == nullptr) {
    GTEST_SKIP() << "no free address above 4 GiB to test";
  }
}

// The file's name mixes Japanese, Greek and Korean letters, which neither a one-byte code
// page nor the Japanese one spells in full: the twins open it by that name. Where the code
// page cannot spell it, the ANSI exports can only be handed a substitute, which names no
// file.
TEST_F(OslinFamilies, UnicodeExportsOpenNamesTheCodePageCannotSpell) {
  const WideString path = testing_support::widePath(folder, testing_support::unspellableStem() + WIDE_TEXT(".gg0"));
  ASSERT_TRUE(testing_support::writeWideFile(path, asText(kSmall)));

  spi::PictureInfo info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(plugin.getPictureInfoW(path.c_str(), 0, 0, &info), 0);
  EXPECT_EQ(info.width, 3);
  EXPECT_EQ(info.height, 2);
  EXPECT_EQ(info.colorDepth, 32);
  Bitmap bitmap;
  ASSERT_EQ(plugin.getPictureW(path.c_str(), 0, 0, &bitmap.info, &bitmap.bits, nullptr, 0), 0);
  EXPECT_EQ(bitmap.topDown(), kSmallTopDown);

  std::string spelled;
  const bool spells = testing_support::spellInCodePage(path, spelled);
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(plugin.getPictureInfo(spelled.c_str(), 0, 0, &info), spells ? 0 : 6);
  void* infoHandle = nullptr;
  void* bitsHandle = nullptr;
  EXPECT_EQ(plugin.getPicture(spelled.c_str(), 0, 0, &infoHandle, &bitsHandle, nullptr, 0), spells ? 0 : 6);
  if (infoHandle != nullptr) LocalFree(infoHandle);
  if (bitsHandle != nullptr) LocalFree(bitsHandle);
}

}  // namespace
