// Durnac as a host sees it: the library is loaded by name and every export is called through
// the address the loader gives, so the same tests run natively and under wine (Durnac.spi
// and Durnac.sph). Most tables run through both families of exports: the ANSI ones and
// their Unicode twins, which must answer alike.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/high_address.h"
#include "tests/common/live_blocks.h"
#include "tests/common/plugin_library.h"
#include "tests/common/sparse_file.h"
#include "tests/common/temp_folder.h"
#include "tests/durnac/mgx_bytes.h"
#include "tests/support/wide_text.h"

using mgx_test::Bytes;
using mgx_test::concat;
using mgx_test::entry;
using mgx_test::header;
using spi::WideChar;
using testing_support::failAllocationsAfter;
using testing_support::liveLocalBlocks;
using testing_support::WideString;

namespace {

void* const kUntouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));
// A user value that needs every bit of intptr_t, so a callback that got it cut would show.
const intptr_t kWideUser = static_cast<intptr_t>(UINTPTR_MAX / 3);

// The two families of exports.
enum class Names { kAnsi, kWide };
const Names kFamilies[] = {Names::kAnsi, Names::kWide};
const char* familyName(Names names) { return names == Names::kAnsi ? "ANSI" : "Unicode"; }

// The records of either family, read from raw bytes.
size_t recordSize(Names names) {
  return names == Names::kAnsi ? sizeof(spi::ArchiveEntryInfo) : sizeof(spi::ArchiveEntryInfoW);
}
size_t crcOffset(Names names) {
  return names == Names::kAnsi ? offsetof(spi::ArchiveEntryInfo, crc) : offsetof(spi::ArchiveEntryInfoW, crc);
}
const spi::ArchiveEntryInfo& ansiRecord(const void* record) { return *static_cast<const spi::ArchiveEntryInfo*>(record); }
const spi::ArchiveEntryInfoW& wideRecord(const void* record) {
  return *static_cast<const spi::ArchiveEntryInfoW*>(record);
}
uint64_t positionOf(Names names, const void* record) {
  return names == Names::kAnsi ? ansiRecord(record).position : wideRecord(record).position;
}
// The member name of a record, as text of the system's code page.
WideString nameOf(Names names, const void* record) {
  if (names == Names::kAnsi) return testing_support::widen(ansiRecord(record).filename);
  return WideString(wideRecord(record).filename);
}
// The bytes after `crc`: padding on 64-bit Windows, which must be zero; none elsewhere.
bool tailIsZero(Names names, const void* record) {
  const auto* bytes = static_cast<const uint8_t*>(record);
  for (size_t at = crcOffset(names) + 4; at < recordSize(names); ++at) {
    if (bytes[at] != 0) return false;
  }
  return true;
}

struct ProgressCall {
  int num, denom;
  intptr_t user;
  bool operator==(const ProgressCall& o) const { return num == o.num && denom == o.denom && user == o.user; }
};
std::vector<ProgressCall> progressCalls;

int SPI_CALL recordProgress(int num, int denom, spi::UserData user) {
  progressCalls.push_back({num, denom, user});
  return 1;  // asks to stop; Durnac does not heed it
}

Bytes bytesOfBlock(void* block) {
  auto* bytes = static_cast<uint8_t*>(block);
  return Bytes(bytes, bytes + LocalSize(block));
}

// Five members: two with equal names, a 12-character name, a name in small letters and an
// empty member.
const std::vector<mgx_writer::Member> kMembers = {
    {"readme.txt", {'h', 'e', 'l', 'l', 'o'}},
    {"twin", {'1'}},
    {"ABCDEFGHIJKL", {'t', 'w', 'e', 'l', 'v', 'e'}},
    {"twin", {'2', '2'}},
    {"empty", {}},
};

class DurnacTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.loaded());
    folder.write("sample.mgx", mgx_test::text(mgx_test::archive(kMembers)));
    folder.write("three.mgx", mgx_test::text(mgx_test::archive({{"a", {1}}, {"bb", {2, 2}}, {"ccc", {3, 3, 3}}})));
    progressCalls.clear();
    liveAtStart = liveLocalBlocks();
  }
  void TearDown() override {
    failAllocationsAfter(-1);
    EXPECT_EQ(liveLocalBlocks(), liveAtStart) << "a call left local blocks behind";
  }
  std::string path(const std::string& name) const { return folder.path(name); }

  // The exports of either family. Names come as text of the system's code page and are
  // widened for the Unicode twins; a null name stays null.
  int getArchiveInfoIn(Names names, const char* archive, unsigned int flag, void** out, intptr_t len = 0) {
    if (names == Names::kAnsi) return getArchiveInfo(archive, len, flag, out);
    return getArchiveInfoW(wide(archive).c_str(archive), len, flag, out);
  }
  int getFileInfoIn(Names names, const char* archive, const char* wanted, unsigned int flag, void* record) {
    if (names == Names::kAnsi) {
      return getFileInfo(archive, 0, wanted, flag, static_cast<spi::ArchiveEntryInfo*>(record));
    }
    return getFileInfoW(wide(archive).c_str(archive), 0, wide(wanted).c_str(wanted), flag,
                        static_cast<spi::ArchiveEntryInfoW*>(record));
  }
  int getFileIn(Names names, const char* archive, intptr_t len, void* dest, unsigned int flag,
              spi::ProgressCallback progress, intptr_t user) {
    if (names == Names::kAnsi) return getFile(archive, len, dest, flag, progress, user);
    return getFileW(wide(archive).c_str(archive), len, dest, flag, progress, user);
  }
  int isSupportedIn(Names names, const char* name, uintptr_t dw) {
    if (names == Names::kAnsi) return isSupported(name, dw);
    return isSupportedW(wide(name).c_str(name), dw);
  }

  testing_support::PluginLibrary library{"Durnac"};
  spi::GetPluginInfoFn getPluginInfo = library.get<spi::GetPluginInfoFn>("GetPluginInfo");
  spi::IsSupportedFn isSupported = library.get<spi::IsSupportedFn>("IsSupported");
  spi::GetArchiveInfoFn getArchiveInfo = library.get<spi::GetArchiveInfoFn>("GetArchiveInfo");
  spi::GetFileInfoFn getFileInfo = library.get<spi::GetFileInfoFn>("GetFileInfo");
  spi::GetFileFn getFile = library.get<spi::GetFileFn>("GetFile");
  spi::GetPluginInfoWFn getPluginInfoW = library.get<spi::GetPluginInfoWFn>("GetPluginInfoW");
  spi::IsSupportedWFn isSupportedW = library.get<spi::IsSupportedWFn>("IsSupportedW");
  spi::GetArchiveInfoWFn getArchiveInfoW = library.get<spi::GetArchiveInfoWFn>("GetArchiveInfoW");
  spi::GetFileInfoWFn getFileInfoW = library.get<spi::GetFileInfoWFn>("GetFileInfoW");
  spi::GetFileWFn getFileW = library.get<spi::GetFileWFn>("GetFileW");
  testing_support::TempFolder folder;
  long liveAtStart = 0;

 private:
  // A widened name that keeps a null name null.
  struct Widened {
    WideString text;
    const WideChar* c_str(const char* original) const { return original ? text.c_str() : nullptr; }
  };
  static Widened wide(const char* text) { return {text ? testing_support::widen(text) : WideString()}; }
};

}  // namespace

TEST_F(DurnacTest, EveryExportIsThere) {
  for (const char* name : {"GetPluginInfo", "IsSupported", "GetArchiveInfo", "GetFileInfo", "GetFile",
                           "GetPluginInfoW", "IsSupportedW", "GetArchiveInfoW", "GetFileInfoW", "GetFileW"}) {
    EXPECT_NE(library.get<void*>(name), nullptr) << name;
  }
}

TEST_F(DurnacTest, PluginInfoTable) {
  const struct {
    int infono, buflen, stored;
    const char* text;  // null: the buffer stays untouched
  } cases[] = {
      {0, 256, 5, "00AM"},
      {0, 3, 3, "00"},
      {1, 29, 29, "MGX extract plug-in ver.0.01"},
      {2, 256, 6, "*.mgx"},
      {3, 256, 12, "MGX archive"},
      {4, 256, 0, nullptr},
  };
  for (const auto& c : cases) {
    char buf[256];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(getPluginInfo(c.infono, buf, c.buflen), c.stored) << c.infono;
    if (c.text) EXPECT_STREQ(buf, c.text) << c.infono;
    else EXPECT_EQ(buf[0], '#') << c.infono;
  }
  char buf[64];
  ASSERT_GT(getPluginInfo(1, buf, sizeof buf), 29);
  EXPECT_EQ(buf[28], ' ');  // the maker credit follows after one space
  EXPECT_EQ(getPluginInfo(0, nullptr, 10), 0);
}

// GetPluginInfoW counts characters where GetPluginInfo counts bytes, and stores the same.
TEST_F(DurnacTest, WidePluginInfoAgreesWithTheAnsiOne) {
  for (int infono = -1; infono <= 5; ++infono) {
    for (int buflen : {-1, 0, 1, 3, 5, 29, 128}) {
      char ansi[128];
      WideChar wide[128];
      std::memset(ansi, '#', sizeof ansi);
      for (WideChar& c : wide) c = '#';
      int stored = getPluginInfo(infono, ansi, buflen);
      ASSERT_EQ(getPluginInfoW(infono, wide, buflen), stored) << infono << "/" << buflen;
      for (size_t i = 0; i < 128; ++i) ASSERT_EQ(wide[i], static_cast<unsigned char>(ansi[i])) << infono << " at " << i;
    }
  }
  EXPECT_EQ(getPluginInfoW(0, nullptr, 10), 0);
}

TEST_F(DurnacTest, IsSupportedReadsAMemoryHead) {
  Bytes sound = header(3, 92);
  Bytes damaged = header(3, 93);
  const struct {
    const char* what;
    Bytes head;
    int answer;
  } cases[] = {
      {"sound header", sound, 1},
      {"dataStart off by one", damaged, 0},
      {"text", mgx_test::bytesOf("not an archive at all, just some text here."), 0},
  };
  for (Names names : kFamilies) {
    for (const auto& c : cases) {
      Bytes head = c.head;
      head.resize(1024, 0);  // the host's buffer of the file's first bytes
      uintptr_t dw = reinterpret_cast<uintptr_t>(head.data());
      EXPECT_EQ(isSupportedIn(names, "whatever.txt", dw), c.answer) << familyName(names) << ": " << c.what;
      EXPECT_EQ(isSupportedIn(names, nullptr, dw), c.answer) << familyName(names) << ": " << c.what;
    }
    EXPECT_EQ(isSupportedIn(names, "x.mgx", 0), 0);  // a null handle reads nothing
  }
}

// The value alone tells a handle from an address, at full pointer width: only values up to
// 0xFFFF are handles. On 64-bit Windows an address may have bits 16-31 clear; it is still
// an address, and the archive head there is read.
TEST_F(DurnacTest, IsSupportedTellsHandlesFromAddresses) {
  Bytes head = header(3, 92);
  head.resize(1024, 0);
  testing_support::PlacedBlock high(testing_support::PlacedBlock::kAbove4GiB);
  if (high.data() != nullptr) std::memcpy(high.data(), head.data(), head.size());
  struct Case {
    const char* what;
    uintptr_t dw;
    int answer;
  };
  std::vector<Case> cases = {
      {"handle 0x7F, no such file", 0x7F, 0},
      {"handle 0xFFFF, no such file", 0xFFFF, 0},
      {"an address on the heap", reinterpret_cast<uintptr_t>(head.data()), 1},
  };
  if (high.data() != nullptr) {
    uintptr_t address = reinterpret_cast<uintptr_t>(high.data());
    ASSERT_EQ(address & 0xFFFF0000u, 0u);
    cases.push_back({"an address above 4 GiB with bits 16-31 clear", address, 1});
  }
  for (Names names : kFamilies) {
    for (const Case& c : cases) EXPECT_EQ(isSupportedIn(names, "a.mgx", c.dw), c.answer) << familyName(names) << ": " << c.what;
  }
  if (testing_support::PlacedBlock::kAbove4GiBExists && high.data() == nullptr) {
    GTEST_SKIP() << "no free address above 4 GiB to test";
  }
}

TEST_F(DurnacTest, IsSupportedReadsThroughTheHostsHandleAndLeavesItOpen) {
  folder.write("text.mgx", "SM2MPX10 but nothing more");
  const struct {
    const char* file;
    int answer;
  } cases[] = {{"sample.mgx", 1}, {"text.mgx", 0}};
  for (Names names : kFamilies) {
    for (const auto& c : cases) {
      HANDLE file = CreateFileA(path(c.file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      uintptr_t dw = reinterpret_cast<uintptr_t>(file);
      ASSERT_TRUE(spi::isProbeHandle(dw));
      SetFilePointer(file, 7, nullptr, FILE_BEGIN);  // the probe reads from the start anyway
      EXPECT_EQ(isSupportedIn(names, c.file, dw), c.answer) << familyName(names) << ": " << c.file;
      EXPECT_NE(SetFilePointer(file, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER) << "handle closed";
      EXPECT_TRUE(CloseHandle(file));
    }
  }
}

TEST_F(DurnacTest, ListingGivesOneRecordPerMemberAndATerminator) {
  const WideString names[] = {WIDE_TEXT("a"), WIDE_TEXT("bb"), WIDE_TEXT("ccc")};
  for (Names family : kFamilies) {
    SCOPED_TRACE(familyName(family));
    void* list = kUntouched;
    ASSERT_EQ(getArchiveInfoIn(family, path("three.mgx").c_str(), 0, &list, 100), spi::kSuccess);  // len is not used
    ASSERT_NE(list, nullptr);
    const size_t size = recordSize(family);
    ASSERT_EQ(LocalSize(list), 4 * size);
    const auto* bytes = static_cast<const uint8_t*>(list);
    for (uint32_t i = 0; i < 3; ++i) {
      const void* record = bytes + i * size;
      const char* method = static_cast<const char*>(record);  // first in both records
      EXPECT_STREQ(method, "Zyx-MGX");
      EXPECT_EQ(positionOf(family, record), i);
      EXPECT_TRUE(nameOf(family, record) == names[i]) << i;
      EXPECT_TRUE(tailIsZero(family, record)) << i;
    }
    // The block is handed over zero-filled, so bytes no record fill writes are 0 as well.
    for (size_t at = 3 * size; at < 4 * size; ++at) ASSERT_EQ(bytes[at], 0) << at;
    EXPECT_EQ(LocalFree(list), nullptr);
  }
}

// A host may list through one family and extract through the other: the records agree field
// by field (names converted from the code page), and positions name the same members.
TEST_F(DurnacTest, BothListingsAgreeAndPositionsCrossOver) {
  std::vector<mgx_writer::Member> members = kMembers;
  std::string cafe;
  if (testing_support::spellInCodePage(WIDE_TEXT("caf\u00e9.txt"), cafe)) members.push_back({cafe, {'c'}});
  folder.write("mixed.mgx", mgx_test::text(mgx_test::archive(members)));
  const std::string archive = path("mixed.mgx");
  void* ansiList = nullptr;
  void* wideList = nullptr;
  ASSERT_EQ(getArchiveInfoIn(Names::kAnsi, archive.c_str(), 0, &ansiList), spi::kSuccess);
  ASSERT_EQ(getArchiveInfoIn(Names::kWide, archive.c_str(), 0, &wideList), spi::kSuccess);
  ASSERT_EQ(LocalSize(ansiList) / sizeof(spi::ArchiveEntryInfo), LocalSize(wideList) / sizeof(spi::ArchiveEntryInfoW));
  const auto* ansi = static_cast<const spi::ArchiveEntryInfo*>(ansiList);
  const auto* wide = static_cast<const spi::ArchiveEntryInfoW*>(wideList);
  for (size_t i = 0; i <= members.size(); ++i) {
    EXPECT_EQ(std::memcmp(ansi[i].method, wide[i].method, sizeof ansi[i].method), 0) << i;
    if (i == members.size()) break;  // the terminator
    EXPECT_EQ(ansi[i].position, wide[i].position) << i;
    EXPECT_EQ(ansi[i].compsize, wide[i].compsize) << i;
    EXPECT_EQ(ansi[i].filesize, wide[i].filesize) << i;
    EXPECT_EQ(ansi[i].timestamp, wide[i].timestamp) << i;
    EXPECT_EQ(ansi[i].crc, wide[i].crc) << i;
    EXPECT_EQ(wide[i].path[0], 0) << i;
    EXPECT_TRUE(WideString(wide[i].filename) == testing_support::widen(members[i].name)) << i;
    // Listed through one family, extracted through the other, and the reverse.
    void* fromWide = nullptr;
    void* fromAnsi = nullptr;
    ASSERT_EQ(getFileIn(Names::kWide, archive.c_str(), static_cast<intptr_t>(ansi[i].position), &fromWide, 0x100,
                      nullptr, 0),
              spi::kSuccess);
    ASSERT_EQ(getFileIn(Names::kAnsi, archive.c_str(), static_cast<intptr_t>(wide[i].position), &fromAnsi, 0x100,
                      nullptr, 0),
              spi::kSuccess);
    EXPECT_EQ(bytesOfBlock(fromWide), members[i].bytes) << i;
    EXPECT_EQ(bytesOfBlock(fromAnsi), members[i].bytes) << i;
    LocalFree(fromWide);
    LocalFree(fromAnsi);
  }
  LocalFree(ansiList);
  LocalFree(wideList);
}

// The archive's name holds letters that the code page cannot spell (wine's one-byte and
// Japanese code pages alike): the Unicode exports open it by that name. Where the code page
// cannot spell it, the ANSI exports can only be handed a substitute, which names no file.
TEST_F(DurnacTest, UnicodeExportsOpenNamesTheCodePageCannotSpell) {
  const WideString archive = testing_support::widePath(folder, testing_support::unspellableStem() + WIDE_TEXT(".mgx"));
  ASSERT_TRUE(testing_support::writeWideFile(archive, folder.read("three.mgx")));

  void* list = kUntouched;
  ASSERT_EQ(getArchiveInfoW(archive.c_str(), 0, 0, &list), spi::kSuccess);
  EXPECT_EQ(LocalSize(list), 4 * sizeof(spi::ArchiveEntryInfoW));
  LocalFree(list);
  spi::ArchiveEntryInfoW record;
  ASSERT_EQ(getFileInfoW(archive.c_str(), 0, WIDE_TEXT("BB"), spi::kIgnoreCase, &record), spi::kSuccess);
  EXPECT_EQ(record.position, 1u);
  void* member = kUntouched;
  ASSERT_EQ(getFileW(archive.c_str(), 2, &member, 0x100, nullptr, 0), spi::kSuccess);
  EXPECT_EQ(bytesOfBlock(member), Bytes({3, 3, 3}));
  LocalFree(member);

  std::string spelled;
  bool spells = testing_support::spellInCodePage(archive, spelled);
  list = kUntouched;
  EXPECT_EQ(getArchiveInfo(spelled.c_str(), 0, 0, &list), spells ? spi::kSuccess : spi::kNoMemory);
  if (!spells) {
    EXPECT_EQ(list, nullptr) << "no file has the substitute's name";
  }
  LocalFree(list);
}

TEST_F(DurnacTest, FailedListingsStoreANullHandle) {
  folder.write("text.mgx", "plain text, long enough to fill a header of 32 bytes");
  folder.write("short.mgx", mgx_test::text(mgx_test::prefix(header(1, 52), 31)));
  folder.write("cut.mgx", mgx_test::text(concat({header(3, 92), entry("a", 92, 0)})));
  folder.write("huge.mgx", mgx_test::text(header(214748363, 0xFFFFFFFCu)));
  const struct {
    const char* what;
    const char* file;  // null: no archive name at all
    unsigned int flag;
    int result;
  } cases[] = {
      {"memory input", "sample.mgx", 1, spi::kNotSupported},
      {"input kind 7", "sample.mgx", 7, spi::kNotSupported},
      {"missing file", "missing.mgx", 0, spi::kNoMemory},
      {"not an archive", "text.mgx", 0, spi::kNoMemory},
      {"31 bytes", "short.mgx", 0, spi::kNoMemory},
      {"directory cut short", "cut.mgx", 0, spi::kReadError},
      {"directory larger than the file", "huge.mgx", 0, spi::kReadError},
      {"no archive name", nullptr, 0, spi::kNotSupported},
  };
  for (Names names : kFamilies) {
    for (const auto& c : cases) {
      std::string archive = c.file ? path(c.file) : std::string();
      void* list = kUntouched;
      EXPECT_EQ(getArchiveInfoIn(names, c.file ? archive.c_str() : nullptr, c.flag, &list), c.result)
          << familyName(names) << ": " << c.what;
      EXPECT_EQ(list, nullptr) << familyName(names) << ": " << c.what;
    }
    EXPECT_EQ(getArchiveInfoIn(names, path("sample.mgx").c_str(), 0, nullptr), spi::kNotSupported);
  }
}

TEST_F(DurnacTest, ListingWithoutMemoryStoresANullHandle) {
  for (Names names : kFamilies) {
    if (!failAllocationsAfter(0)) GTEST_SKIP() << "allocation failures are made natively only";
    void* list = kUntouched;
    EXPECT_EQ(getArchiveInfoIn(names, path("sample.mgx").c_str(), 0, &list), spi::kNoMemory) << familyName(names);
    EXPECT_EQ(list, nullptr);
    failAllocationsAfter(-1);
  }
}

TEST_F(DurnacTest, SearchByNameExactOrFoldingCase) {
  const struct {
    const char* wanted;
    unsigned int flag;
    int result;
    uint32_t position;  // of the match, or of the last member when none matched
  } cases[] = {
      {"readme.txt", 0, spi::kSuccess, 0},
      {"README.TXT", 0, spi::kUnknownFormat, 4},
      {"README.TXT", spi::kIgnoreCase, spi::kSuccess, 0},
      {"abcdefghijkl", spi::kIgnoreCase, spi::kSuccess, 2},
      {"ABCDEFGHIJKL", 0, spi::kSuccess, 2},
      {"ABCDEFGHIJK", 0, spi::kUnknownFormat, 4},
      {"twin", 0, spi::kSuccess, 1},  // the first of two equal names
      {"TWIN", spi::kIgnoreCase, spi::kSuccess, 1},
      {"", 0, spi::kUnknownFormat, 4},
  };
  for (Names names : kFamilies) {
    for (const auto& c : cases) {
      uint8_t record[sizeof(spi::ArchiveEntryInfoW)];
      std::memset(record, 0xAA, sizeof record);
      EXPECT_EQ(getFileInfoIn(names, path("sample.mgx").c_str(), c.wanted, c.flag, record), c.result)
          << familyName(names) << ": " << c.wanted;
      EXPECT_EQ(positionOf(names, record), c.position) << familyName(names) << ": " << c.wanted;
      EXPECT_TRUE(tailIsZero(names, record)) << familyName(names) << ": " << c.wanted;
    }
  }
}

// Folding touches A-Z only: a letter beyond ASCII matches only as it is stored, in both
// families (the Unicode ones compare against the name converted from the code page).
TEST_F(DurnacTest, SearchFoldsOnlyAsciiLetters) {
  std::string stored;
  if (!testing_support::spellInCodePage(WIDE_TEXT("caf\u00e9.txt"), stored)) {
    GTEST_SKIP() << "the code page has no e-acute";
  }
  folder.write("cafe.mgx", mgx_test::text(mgx_test::archive({{"first", {1}}, {stored, {2}}})));
  const struct {
    WideString wanted;
    unsigned int flag;
    int result;
  } cases[] = {
      {WIDE_TEXT("caf\u00e9.txt"), 0, spi::kSuccess},
      {WIDE_TEXT("CAF\u00e9.TXT"), spi::kIgnoreCase, spi::kSuccess},
      {WIDE_TEXT("CAF\u00e9.TXT"), 0, spi::kUnknownFormat},
      {WIDE_TEXT("caf\u00c9.txt"), spi::kIgnoreCase, spi::kUnknownFormat},
  };
  for (const auto& c : cases) {
    std::string ansiWanted;
    ASSERT_TRUE(testing_support::spellInCodePage(c.wanted, ansiWanted));
    for (Names names : kFamilies) {
      uint8_t record[sizeof(spi::ArchiveEntryInfoW)];
      int result = names == Names::kAnsi
                       ? getFileInfo(path("cafe.mgx").c_str(), 0, ansiWanted.c_str(), c.flag,
                                     reinterpret_cast<spi::ArchiveEntryInfo*>(record))
                       : getFileInfoW(testing_support::widen(path("cafe.mgx")).c_str(), 0, c.wanted.c_str(), c.flag,
                                      reinterpret_cast<spi::ArchiveEntryInfoW*>(record));
      EXPECT_EQ(result, c.result) << familyName(names) << ": " << ansiWanted << " flag " << c.flag;
      EXPECT_EQ(positionOf(names, record), 1u);  // the match, or the last member
    }
  }
}

TEST_F(DurnacTest, SearchRefusals) {
  folder.write("text.mgx", "plain text, long enough to fill a header of 32 bytes");
  std::string sample = path("sample.mgx");
  std::string text = path("text.mgx");
  for (Names names : kFamilies) {
    uint8_t record[sizeof(spi::ArchiveEntryInfoW)];
    std::memset(record, 0xAA, sizeof record);
    uint8_t untouched[sizeof record];
    std::memcpy(untouched, record, sizeof record);
    const struct {
      const char* what;
      const char* archive;
      const char* wanted;
      unsigned int flag;
      void* info;
      int result;
    } cases[] = {
        {"memory input", sample.c_str(), "twin", 1, record, spi::kNotSupported},
        {"not an archive", text.c_str(), "twin", 0, record, spi::kNoMemory},
        {"null archive name", nullptr, "twin", 0, record, spi::kNotSupported},
        {"null member name", sample.c_str(), nullptr, 0, record, spi::kNotSupported},
        {"null record", sample.c_str(), "twin", 0, nullptr, spi::kNotSupported},
    };
    for (const auto& c : cases) {
      EXPECT_EQ(getFileInfoIn(names, c.archive, c.wanted, c.flag, c.info), c.result) << familyName(names) << ": " << c.what;
      EXPECT_EQ(std::memcmp(record, untouched, sizeof record), 0) << familyName(names) << ": " << c.what;
    }
  }
}

TEST_F(DurnacTest, ExtractionByPosition) {
  for (Names names : kFamilies) {
    for (size_t position = 0; position < kMembers.size(); ++position) {
      progressCalls.clear();
      void* member = kUntouched;
      ASSERT_EQ(getFileIn(names, path("sample.mgx").c_str(), static_cast<intptr_t>(position), &member, 0x100,
                        recordProgress, kWideUser),
                spi::kSuccess)
          << familyName(names) << " " << position;
      ASSERT_NE(member, nullptr);
      EXPECT_EQ(bytesOfBlock(member), kMembers[position].bytes) << familyName(names) << " " << position;
      // The host's user value arrives whole, however wide it is.
      std::vector<ProgressCall> calls = {{0, 1, kWideUser}, {1, 1, kWideUser}};
      EXPECT_EQ(progressCalls, calls) << familyName(names) << " " << position;
      LocalFree(member);
    }
    void* member = nullptr;
    EXPECT_EQ(getFileIn(names, path("sample.mgx").c_str(), 0, &member, 0x100, nullptr, 0), spi::kSuccess);
    LocalFree(member);
  }
}

TEST_F(DurnacTest, ExtractionRefusals) {
  folder.write("cut.mgx", mgx_test::text(concat({header(1, 52), entry("m", 52, 10), mgx_test::bytesOf("12345")})));
  folder.write("huge.mgx", mgx_test::text(header(214748363, 0xFFFFFFFCu)));
  folder.makeFolder("out");
  std::string outFolder = path("out");
  struct Case {
    const char* what;
    std::string file;
    intptr_t len;
    unsigned int flag;
    bool directoryDest;
    int result;
    bool storesNull;  // true: a null handle; false: the host's variable untouched
  };
  std::vector<Case> cases = {
      {"output to a directory", "sample.mgx", 0, 0x000, true, spi::kNotSupported, false},
      {"output kind 2", "sample.mgx", 0, 0x200, false, spi::kNotSupported, false},
      {"memory input", "sample.mgx", 0, 0x101, false, spi::kNotSupported, false},
      {"position equal to the count", "sample.mgx", 5, 0x100, false, spi::kInternalError, false},
      {"negative position", "sample.mgx", -1, 0x100, false, spi::kInternalError, false},
      {"missing file", "missing.mgx", 0, 0x100, false, spi::kNoMemory, false},
      {"member past the end of the file", "cut.mgx", 0, 0x100, false, spi::kReadError, true},
      {"directory larger than the file", "huge.mgx", 0, 0x100, false, spi::kReadError, false},
  };
  if (sizeof(intptr_t) == 8) {
    // Cut to 32 bits these would name members 0 and 1.
    intptr_t beyond = static_cast<intptr_t>(static_cast<uint64_t>(1) << 32);
    cases.push_back({"position 2^32", "sample.mgx", beyond, 0x100, false, spi::kInternalError, false});
    cases.push_back({"position 2^32 + 1", "sample.mgx", beyond + 1, 0x100, false, spi::kInternalError, false});
  }
  for (Names names : kFamilies) {
    for (const auto& c : cases) {
      progressCalls.clear();
      void* member = kUntouched;
      void* dest = c.directoryDest ? const_cast<char*>(outFolder.c_str()) : static_cast<void*>(&member);
      EXPECT_EQ(getFileIn(names, path(c.file).c_str(), c.len, dest, c.flag, recordProgress, 5), c.result)
          << familyName(names) << ": " << c.what;
      EXPECT_EQ(member, c.storesNull ? nullptr : kUntouched) << familyName(names) << ": " << c.what;
      std::vector<ProgressCall> calls = {{0, 1, 5}};  // before any test, and nothing after a failure
      EXPECT_EQ(progressCalls, calls) << familyName(names) << ": " << c.what;
    }
    EXPECT_EQ(getFileIn(names, nullptr, 0, outFolder.data(), 0x100, nullptr, 0), spi::kNotSupported);
    EXPECT_EQ(getFileIn(names, path("sample.mgx").c_str(), 0, nullptr, 0x100, nullptr, 0), spi::kNotSupported);
  }
}

TEST_F(DurnacTest, ExtractionWithoutMemoryStoresANullHandle) {
  for (Names names : kFamilies) {
    if (!failAllocationsAfter(0)) GTEST_SKIP() << "allocation failures are made natively only";
    void* member = kUntouched;
    EXPECT_EQ(getFileIn(names, path("sample.mgx").c_str(), 0, &member, 0x100, nullptr, 0), spi::kNoMemory)
        << familyName(names);
    EXPECT_EQ(member, nullptr);
    failAllocationsAfter(-1);
  }
}

// A member that the file cannot hold answers 6 at once, whatever size it claims: no block of
// its size is ever asked for (natively every host block is made to fail, so an attempt would
// show as 4), and the host's variable gets a null handle.
TEST_F(DurnacTest, LyingSizesAnswer6BeforeAnythingIsAllocated) {
  const struct {
    const char* what;
    uint32_t offset, size;
  } cases[] = {
      {"56 bytes claiming 0xFFFFFFF0", 52, 0xFFFFFFF0u},
      {"the largest size", 52, 0xFFFFFFFFu},
      {"one byte past the end", 52, 5},
      {"the largest offset", 0xFFFFFFFFu, 1},
      {"offset plus size beyond 32 bits", 0xFFFFFFF0u, 0x20},
  };
  for (const auto& c : cases) {
    folder.write("lying.mgx", mgx_test::text(concat({header(1, 52), entry("big", c.offset, c.size), mgx_test::bytesOf("DATA")})));
    for (Names names : kFamilies) {
      bool counted = failAllocationsAfter(0);
      void* member = kUntouched;
      EXPECT_EQ(getFileIn(names, path("lying.mgx").c_str(), 0, &member, 0x100, nullptr, 0), spi::kReadError)
          << familyName(names) << ": " << c.what << (counted ? " (host blocks made to fail)" : "");
      failAllocationsAfter(-1);
      EXPECT_EQ(member, nullptr) << familyName(names) << ": " << c.what;
    }
  }
}

// An archive of more than 4 GiB, sparse so that it costs nothing: members at the start, past
// 2 GiB and across 4 GiB are listed and extracted; one running past the end answers 6.
TEST_F(DurnacTest, ArchivesOf2GiBAndMore) {
  const uint64_t fileEnd = 0x100000004ull;
  const std::string archive = path("large.mgx");
  Bytes head = concat({header(4, 112), entry("first", 112, 5), entry("past2g", 0x80000000u, 6),
                       entry("across4g", 0xFFFFFFFCu, 8), entry("cut", 0xFFFFFFFFu, 16), mgx_test::bytesOf("hello")});
  bool written = testing_support::writeSparseFile(
      archive, {{0, mgx_test::text(head)}, {0x80000000u, "second"}, {0xFFFFFFFCu, "over4GiB"}});
  if (!written) GTEST_SKIP() << "no room for a sparse file of " << fileEnd << " bytes";
  const struct {
    const char* name;
    uint32_t size;
    int result;
    const char* bytes;
  } members[] = {
      {"first", 5, spi::kSuccess, "hello"},
      {"past2g", 6, spi::kSuccess, "second"},
      {"across4g", 8, spi::kSuccess, "over4GiB"},
      {"cut", 16, spi::kReadError, nullptr},
  };
  for (Names names : kFamilies) {
    SCOPED_TRACE(familyName(names));
    void* list = kUntouched;
    ASSERT_EQ(getArchiveInfoIn(names, archive.c_str(), 0, &list), spi::kSuccess);
    ASSERT_EQ(LocalSize(list), 5 * recordSize(names));
    for (uint32_t i = 0; i < 4; ++i) {
      const void* record = static_cast<const uint8_t*>(list) + i * recordSize(names);
      EXPECT_TRUE(nameOf(names, record) == testing_support::widen(members[i].name)) << i;
      uint32_t size = names == Names::kAnsi ? ansiRecord(record).filesize : wideRecord(record).filesize;
      EXPECT_EQ(size, members[i].size) << i;
      void* member = kUntouched;
      EXPECT_EQ(getFileIn(names, archive.c_str(), i, &member, 0x100, nullptr, 0), members[i].result) << i;
      if (members[i].bytes != nullptr) EXPECT_EQ(bytesOfBlock(member), mgx_test::bytesOf(members[i].bytes)) << i;
      else EXPECT_EQ(member, nullptr) << i;
      LocalFree(member);
    }
    LocalFree(list);
    uint8_t record[sizeof(spi::ArchiveEntryInfoW)];
    EXPECT_EQ(getFileInfoIn(names, archive.c_str(), "ACROSS4G", spi::kIgnoreCase, record), spi::kSuccess);
    EXPECT_EQ(positionOf(names, record), 2u);
  }
}
