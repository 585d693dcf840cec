// Gorsel's Unicode exports against their ANSI twins: the same pictures give the same codes,
// records, blocks and progress reports through both families; names that the system code
// page cannot spell open through the Unicode ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"
#include "tests/common/live_blocks.h"
#include "tests/common/temp_folder.h"
#include "tests/gorsel/gorsel_test_support.h"
#include "tests/support/wide_text.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace gorsel_test;
using testing_support::liveLocalBlocks;
using testing_support::WideString;

namespace {

const Bytes kWorked = ggdHeader(2, 2) + bytes({0x05, 0x11, 0x22, 0x33, 0x00, 0x01, 0x06, 0x44, 0x55, 0x66, 0x77,
                                               0x88, 0x99, 0x03, 0x01});
const Bytes kWorkedBits =
    bytes({0x66, 0x77, 0x88, 0x99, 0x77, 0x88, 0, 0, 0x11, 0x22, 0x33, 0x11, 0x22, 0x33, 0, 0});

enum class Family { kAnsi, kUnicode };

// Everything a call lets the host see.
struct Outcome {
  int code = -99;
  Bytes record;                                // the PictureInfo buffer after GetPictureInfo
  int pictureCode = -99;
  Bytes info, bits;                            // the blocks of GetPicture, freed
  std::vector<std::pair<int, int>> reports;    // GetPicture's progress
  int probe = -99;                             // IsSupported through a handle on the file

  bool operator==(const Outcome& o) const {
    return code == o.code && record == o.record && pictureCode == o.pictureCode && info == o.info &&
           bits == o.bits && reports == o.reports && probe == o.probe;
  }
};

std::vector<std::pair<int, int>>* reportsHeard = nullptr;

int SPI_CALL recordReport(int num, int denom, spi::UserData user) {
  if (user == 0x5EED) reportsHeard->emplace_back(num, denom);
  return 0;
}

// One input: a file in the folder (by its ASCII name, given to each family in its own
// characters) at an offset, or bytes in memory.
struct Input {
  std::string what;
  std::string file;  // empty: memory
  Bytes memory;
  intptr_t len = 0;  // the offset for a file; memory input uses the size
  unsigned flag = 0;
  bool nullName = false;
};

class GorselWide : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gorsel.complete());
    liveBefore = liveLocalBlocks();
  }
  void TearDown() override { EXPECT_EQ(liveLocalBlocks(), liveBefore) << "local blocks left behind"; }

  // GetPictureInfo, GetPicture and IsSupported over one input through one family.
  Outcome run(const Input& in, Family family) {
    const std::string ansiPath = folder.path(in.file);
    const WideString widePath = testing_support::widePath(folder, testing_support::widen(in.file));
    const bool memory = in.file.empty();
    const char* ansiBuf = memory ? reinterpret_cast<const char*>(in.memory.data()) : ansiPath.c_str();
    const spi::WideChar* wideBuf =
        memory ? reinterpret_cast<const spi::WideChar*>(in.memory.data()) : widePath.c_str();
    if (in.nullName) {
      ansiBuf = nullptr;
      wideBuf = nullptr;
    }
    const intptr_t len = memory ? static_cast<intptr_t>(in.memory.size()) : in.len;

    Outcome out;
    out.record.assign(40, 0xEE);
    auto* record = reinterpret_cast<spi::PictureInfo*>(out.record.data());
    out.code = family == Family::kAnsi ? gorsel.getPictureInfo(ansiBuf, len, in.flag, record)
                                       : gorsel.getPictureInfoW(wideBuf, len, in.flag, record);

    void* info = nullptr;
    void* bits = nullptr;
    reportsHeard = &out.reports;
    out.pictureCode = family == Family::kAnsi
                          ? gorsel.getPicture(ansiBuf, len, in.flag, &info, &bits, recordReport, 0x5EED)
                          : gorsel.getPictureW(wideBuf, len, in.flag, &info, &bits, recordReport, 0x5EED);
    reportsHeard = nullptr;
    if (out.pictureCode == 0) {
      out.info = takeBlock(info);
      out.bits = takeBlock(bits);
    }

    if (!memory && !in.nullName) {
      HANDLE file = CreateFileA(ansiPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        const uintptr_t dw = reinterpret_cast<uintptr_t>(file);
        out.probe = family == Family::kAnsi ? gorsel.isSupported(in.file.c_str(), dw)
                                            : gorsel.isSupportedW(widePath.c_str(), dw);
        CloseHandle(file);
      }
    }
    return out;
  }

  Gorsel gorsel;
  testing_support::TempFolder folder;
  long liveBefore = 0;
};

}  // namespace

TEST_F(GorselWide, ExportsUnderTheirNames) {
  for (const char* name : {"GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture", "GetPreview",
                           "ConfigurationDlg", "GetPluginInfoW", "IsSupportedW", "GetPictureInfoW", "GetPictureW",
                           "GetPreviewW"}) {
    EXPECT_NE(gorsel.library.get<void*>(name), nullptr) << name;
  }
  // The dialog has no Unicode form.
  EXPECT_EQ(gorsel.library.get<void*>("ConfigurationDlgW"), nullptr);
#ifdef _WIN32
  EXPECT_NE(gorsel.library.get<void*>("_ConfigurationDlg@8"), nullptr);
#endif
}

TEST_F(GorselWide, PluginInfoCountsCharacters) {
  struct Case {
    int infono;
    int buflen;
    int stored;  // characters stored (-1: as many as the ANSI export stores bytes)
  } cases[] = {
      {0, 3, 3},    // "00I", cut without a terminator
      {0, 5, 5},    // "00IN" and its terminator
      {0, 100, 5},
      {2, 6, 6},    // "*.GGD"
      {2, 5, 5},
      {3, 100, 26},
      {1, 400, -1},  // the whole description
      {1, 10, 10},
      {4, 100, 0},  // no such entry
      {-1, 100, 0},
      {0, 0, 0},
      {0, -3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "infono " << c.infono << " buflen " << c.buflen);
    const size_t room = static_cast<size_t>(c.buflen > 0 ? c.buflen : 0) + 1;
    std::vector<char> narrow(room, '#');
    std::vector<spi::WideChar> wide(room, static_cast<spi::WideChar>('#'));
    const int bytes = gorsel.getPluginInfo(c.infono, narrow.data(), c.buflen);
    const int units = gorsel.getPluginInfoW(c.infono, wide.data(), c.buflen);
    if (c.stored >= 0) {
      EXPECT_EQ(units, c.stored);
    }
    EXPECT_EQ(units, bytes);
    // The same characters, and nothing stored past the count.
    EXPECT_EQ(WideString(wide.begin(), wide.end()), WideString(narrow.begin(), narrow.end()));
  }
  EXPECT_EQ(gorsel.getPluginInfoW(0, nullptr, 10), 0);
}

TEST_F(GorselWide, BothFamiliesAgree) {
  const Bytes junk = bytes({1, 2, 3, 4, 5, 6, 7});
  folder.write("worked.ggd", asString(kWorked));
  folder.write("inside.bin", asString(junk + kWorked + bytes({0x05})));
  folder.write("ten.ggd", asString(ggdHeader(300, 200) + bytes({5, 1})));
  folder.write("seven.ggd", asString(Bytes(kWorked.begin(), kWorked.begin() + 7)));
  folder.write("huge.ggd", asString(ggdHeader(32767, 32767) + bytes({0x05, 1, 2, 3})));
  folder.write("damaged.ggd", asString(ggdHeader(2, 2) + bytes({0x05, 1, 2, 3, 0x03, 9})));
  folder.makeFolder("folder.ggd");
  const ggd_picture_writer::SamplePattern patterns[] = {ggd_picture_writer::SamplePattern::kPhoto,
                                                        ggd_picture_writer::SamplePattern::kMixed};
  for (auto pattern : patterns) {
    const Bytes pixels = ggd_picture_writer::makeSamplePicture(pattern, 333, 71);
    const Bytes file = ggd_picture_writer::encodeGgdPicture(333, 71, pixels.data());
    folder.write("sample" + std::to_string(static_cast<int>(pattern)) + ".ggd", asString(junk + file));
  }

  std::vector<Input> inputs = {
      {"worked example", "worked.ggd", {}, 0, 0},
      {"at offset 7", "inside.bin", {}, 7, 0},
      {"output bits set", "worked.ggd", {}, 0, 0x100},
      {"input kind 3 reads a file", "worked.ggd", {}, 0, 3},
      {"memory", "", kWorked, 0, 1},
      {"10-byte file", "ten.ggd", {}, 0, 0},
      {"7-byte file", "seven.ggd", {}, 0, 0},
      {"3 GiB bitmap", "huge.ggd", {}, 0, 0},
      {"damaged", "damaged.ggd", {}, 0, 0},
      {"offset past the end", "worked.ggd", {}, 1000, 0},
      {"negative offset", "worked.ggd", {}, -1, 0},
      {"missing file", "none.ggd", {}, 0, 0},
      {"a folder", "folder.ggd", {}, 0, 0},
      {"null file name", "worked.ggd", {}, 0, 0, true},
      {"null memory", "", kWorked, 0, 1, true},
      {"photo sample", "sample3.ggd", {}, 7, 0},
      {"mixed sample", "sample4.ggd", {}, 7, 0},
  };
  // Every seed and every input that once crashed, from a file and from memory.
  for (const auto& entry : std::filesystem::directory_iterator(GORSEL_CORPUS_DIR)) {
    if (!entry.is_regular_file()) continue;
    const std::string text = testing_support::readWholeFile(entry.path());
    const Bytes content(text.begin(), text.end());
    const std::string name = entry.path().filename().string();
    folder.write(name, text);
    inputs.push_back({name, name, {}, 0, 0});
    inputs.push_back({name + " in memory", "", content, 0, 1});
  }

  int decoded = 0;
  for (const Input& in : inputs) {
    SCOPED_TRACE(in.what);
    const Outcome ansi = run(in, Family::kAnsi);
    const Outcome wide = run(in, Family::kUnicode);
    EXPECT_EQ(wide.code, ansi.code);
    EXPECT_EQ(wide.pictureCode, ansi.pictureCode);
    EXPECT_EQ(wide.probe, ansi.probe);
    EXPECT_TRUE(wide == ansi);
    if (ansi.pictureCode == 0) ++decoded;
  }
  EXPECT_GT(decoded, 10) << "most inputs decode";
  // The worked example as both families hand it over.
  EXPECT_EQ(run(inputs[0], Family::kUnicode).bits, kWorkedBits);
}

TEST_F(GorselWide, NullArgumentsTouchNothing) {
  const spi::WideChar* memory = reinterpret_cast<const spi::WideChar*>(kWorked.data());
  void* handle = &handle;
  EXPECT_EQ(gorsel.getPictureInfoW(memory, 23, 1, nullptr), -1);
  EXPECT_EQ(gorsel.getPictureW(memory, 23, 1, nullptr, &handle, nullptr, 0), -1);
  EXPECT_EQ(gorsel.getPictureW(memory, 23, 1, &handle, nullptr, nullptr, 0), -1);
  EXPECT_EQ(handle, &handle);
  EXPECT_EQ(gorsel.getPreviewW(memory, 23, 1, &handle, &handle, nullptr, 0), -1);
  EXPECT_EQ(handle, &handle);
}

// The picture's name holds Japanese, Greek and Korean letters, which wine's code pages
// cannot all spell: the Unicode exports open it by that name; the ANSI ones can only be
// handed a substitute, which names no file.
TEST_F(GorselWide, NamesTheCodePageCannotSpellOpenThroughTheUnicodeExports) {
  const WideString path = testing_support::widePath(folder, testing_support::unspellableStem() + WIDE_TEXT(".ggd"));
  const Bytes junk = bytes({9, 9, 9});
  ASSERT_TRUE(testing_support::writeWideFile(path, asString(junk + kWorked)));

  Bytes record(40, 0xEE);
  ASSERT_EQ(gorsel.getPictureInfoW(path.c_str(), 3, 0, reinterpret_cast<spi::PictureInfo*>(record.data())), 0);
  spi::PictureInfo info;
  std::memcpy(&info, record.data(), sizeof info);
  EXPECT_EQ(+info.width, 2);
  EXPECT_EQ(+info.height, 2);

  void* infoBlock = nullptr;
  void* bits = nullptr;
  ASSERT_EQ(gorsel.getPictureW(path.c_str(), 3, 0, &infoBlock, &bits, nullptr, 0), 0);
  EXPECT_EQ(takeBlock(infoBlock).size(), 40u);
  EXPECT_EQ(takeBlock(bits), kWorkedBits);

  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFilePointer(file, 3, nullptr, FILE_BEGIN);
  EXPECT_EQ(gorsel.isSupportedW(path.c_str(), reinterpret_cast<uintptr_t>(file)), 1);
  CloseHandle(file);

  std::string spelled;
  const bool spells = testing_support::spellInCodePage(path, spelled);
  const int expected = spells ? 0 : spi::kReadError;
  EXPECT_EQ(gorsel.getPictureInfo(spelled.c_str(), 3, 0, reinterpret_cast<spi::PictureInfo*>(record.data())),
            expected);
  infoBlock = nullptr;
  EXPECT_EQ(gorsel.getPicture(spelled.c_str(), 3, 0, &infoBlock, &bits, nullptr, 0), expected);
  if (infoBlock != nullptr) {
    LocalFree(infoBlock);
    LocalFree(bits);
  }
}
