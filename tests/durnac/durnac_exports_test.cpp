// Durnac as a host sees it: the library is loaded by name and every export is called through
// the address the loader gives, so the same tests run natively and under wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/plugin_library.h"
#include "tests/common/temp_folder.h"
#include "tests/durnac/mgx_bytes.h"
#ifndef _WIN32
#include "platform/testing.h"
#endif

using mgx_test::Bytes;
using mgx_test::concat;
using mgx_test::entry;
using mgx_test::header;

namespace {

typedef int(SPI_CALL* GetPluginInfoFn)(int, char*, int);
typedef int(SPI_CALL* IsSupportedFn)(const char*, uintptr_t);
typedef int(SPI_CALL* GetArchiveInfoFn)(const char*, intptr_t, unsigned int, void**);
typedef int(SPI_CALL* GetFileInfoFn)(const char*, intptr_t, const char*, unsigned int, spi::ArchiveEntryInfo*);
typedef int(SPI_CALL* GetFileFn)(const char*, intptr_t, void*, unsigned int, spi::ProgressCallback, intptr_t);

const size_t kRecord = sizeof(spi::ArchiveEntryInfo);
void* const kUntouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));

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

long liveBlocks() {
#ifdef _WIN32
  return 0;  // the count exists only in the native platform layer
#else
  return platformLiveLocalBlocks();
#endif
}

// Makes the next `after` local allocations succeed and the rest fail; false where the
// platform cannot do that (Windows).
bool failAllocationsAfter(long after) {
#ifdef _WIN32
  return false;
#else
  platformFailAllocationsAfter(after);
  return true;
#endif
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
    liveAtStart = liveBlocks();
  }
  void TearDown() override {
    failAllocationsAfter(-1);
    EXPECT_EQ(liveBlocks(), liveAtStart) << "a call left local blocks behind";
  }
  std::string path(const std::string& name) const { return folder.path(name); }

  testing_support::PluginLibrary library{"Durnac"};
  GetPluginInfoFn getPluginInfo = library.get<GetPluginInfoFn>("GetPluginInfo");
  IsSupportedFn isSupported = library.get<IsSupportedFn>("IsSupported");
  GetArchiveInfoFn getArchiveInfo = library.get<GetArchiveInfoFn>("GetArchiveInfo");
  GetFileInfoFn getFileInfo = library.get<GetFileInfoFn>("GetFileInfo");
  GetFileFn getFile = library.get<GetFileFn>("GetFile");
  testing_support::TempFolder folder;
  long liveAtStart = 0;
};

}  // namespace

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
  for (const auto& c : cases) {
    Bytes head = c.head;
    head.resize(1024, 0);  // the host's buffer of the file's first bytes
    EXPECT_EQ(isSupported("whatever.txt", reinterpret_cast<uintptr_t>(head.data())), c.answer) << c.what;
    EXPECT_EQ(isSupported(nullptr, reinterpret_cast<uintptr_t>(head.data())), c.answer) << c.what;
  }
  EXPECT_EQ(isSupported("x.mgx", 0), 0);  // a null handle reads nothing
}

TEST_F(DurnacTest, IsSupportedReadsThroughTheHostsHandleAndLeavesItOpen) {
  folder.write("text.mgx", "SM2MPX10 but nothing more");
  const struct {
    const char* file;
    int answer;
  } cases[] = {{"sample.mgx", 1}, {"text.mgx", 0}};
  for (const auto& c : cases) {
    HANDLE file = CreateFileA(path(c.file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    uintptr_t dw = reinterpret_cast<uintptr_t>(file);
    ASSERT_TRUE(spi::isProbeHandle(dw));
    SetFilePointer(file, 7, nullptr, FILE_BEGIN);  // the probe reads from the start anyway
    EXPECT_EQ(isSupported(c.file, dw), c.answer) << c.file;
    EXPECT_NE(SetFilePointer(file, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER) << "handle closed";
    EXPECT_TRUE(CloseHandle(file));
  }
}

TEST_F(DurnacTest, ListingGivesOneRecordPerMemberAndATerminator) {
  void* list = kUntouched;
  ASSERT_EQ(getArchiveInfo(path("three.mgx").c_str(), 100, 0, &list), spi::kSuccess);  // len is not used
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(LocalSize(list), 4 * kRecord);
  const auto* records = static_cast<const spi::ArchiveEntryInfo*>(list);
  const char* names[] = {"a", "bb", "ccc"};
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_STREQ(records[i].method, "Zyx-MGX");
    EXPECT_EQ(records[i].position, i);
    EXPECT_EQ(records[i].filesize, i + 1);
    EXPECT_EQ(records[i].compsize, i + 1);
    EXPECT_STREQ(records[i].filename, names[i]);
    EXPECT_EQ(records[i].path[0], 0);
  }
  // The block is handed over zero-filled, so bytes no record fill writes are 0 as well.
  const auto* bytes = static_cast<const uint8_t*>(list);
  for (size_t at = 3 * kRecord; at < 4 * kRecord; ++at) ASSERT_EQ(bytes[at], 0) << at;
  EXPECT_EQ(LocalFree(list), nullptr);
}

TEST_F(DurnacTest, FailedListingsStoreANullHandle) {
  folder.write("text.mgx", "plain text, long enough to fill a header of 32 bytes");
  folder.write("short.mgx", mgx_test::text(mgx_test::prefix(header(1, 52), 31)));
  folder.write("cut.mgx", mgx_test::text(concat({header(3, 92), entry("a", 92, 0)})));
  folder.write("huge.mgx", mgx_test::text(header(214748363, 0xFFFFFFFCu)));
  const struct {
    const char* what;
    std::string file;
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
  };
  for (const auto& c : cases) {
    void* list = kUntouched;
    EXPECT_EQ(getArchiveInfo(path(c.file).c_str(), 0, c.flag, &list), c.result) << c.what;
    EXPECT_EQ(list, nullptr) << c.what;
  }
  void* list = kUntouched;
  EXPECT_EQ(getArchiveInfo(nullptr, 0, 0, &list), spi::kNotSupported);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(getArchiveInfo(path("sample.mgx").c_str(), 0, 0, nullptr), spi::kNotSupported);
}

TEST_F(DurnacTest, ListingWithoutMemoryStoresANullHandle) {
  if (!failAllocationsAfter(0)) GTEST_SKIP() << "allocation failures are made natively only";
  void* list = kUntouched;
  EXPECT_EQ(getArchiveInfo(path("sample.mgx").c_str(), 0, 0, &list), spi::kNoMemory);
  EXPECT_EQ(list, nullptr);
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
  for (const auto& c : cases) {
    spi::ArchiveEntryInfo record;
    std::memset(&record, 0xAA, sizeof record);
    EXPECT_EQ(getFileInfo(path("sample.mgx").c_str(), 0, c.wanted, c.flag, &record), c.result) << c.wanted;
    EXPECT_EQ(record.position, c.position) << c.wanted;
  }
}

TEST_F(DurnacTest, SearchRefusals) {
  folder.write("text.mgx", "plain text, long enough to fill a header of 32 bytes");
  spi::ArchiveEntryInfo record;
  std::memset(&record, 0xAA, sizeof record);
  const spi::ArchiveEntryInfo untouched = record;
  std::string sample = path("sample.mgx");
  std::string text = path("text.mgx");
  const struct {
    const char* what;
    const char* archive;
    const char* wanted;
    unsigned int flag;
    spi::ArchiveEntryInfo* info;
    int result;
  } cases[] = {
      {"memory input", sample.c_str(), "twin", 1, &record, spi::kNotSupported},
      {"not an archive", text.c_str(), "twin", 0, &record, spi::kNoMemory},
      {"null archive name", nullptr, "twin", 0, &record, spi::kNotSupported},
      {"null member name", sample.c_str(), nullptr, 0, &record, spi::kNotSupported},
      {"null record", sample.c_str(), "twin", 0, nullptr, spi::kNotSupported},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(getFileInfo(c.archive, 0, c.wanted, c.flag, c.info), c.result) << c.what;
    EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0) << c.what;
  }
}

TEST_F(DurnacTest, ExtractionByPosition) {
  for (size_t position = 0; position < kMembers.size(); ++position) {
    progressCalls.clear();
    void* member = kUntouched;
    ASSERT_EQ(getFile(path("sample.mgx").c_str(), static_cast<intptr_t>(position), &member, 0x100, recordProgress, 77),
              spi::kSuccess)
        << position;
    ASSERT_NE(member, nullptr);
    const Bytes& expected = kMembers[position].bytes;
    ASSERT_EQ(LocalSize(member), expected.size()) << position;
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(member), static_cast<uint8_t*>(member) + expected.size()), expected);
    std::vector<ProgressCall> calls = {{0, 1, 77}, {1, 1, 77}};
    EXPECT_EQ(progressCalls, calls) << position;
    LocalFree(member);
  }
  void* member = nullptr;
  EXPECT_EQ(getFile(path("sample.mgx").c_str(), 0, &member, 0x100, nullptr, 0), spi::kSuccess);
  LocalFree(member);
}

TEST_F(DurnacTest, ExtractionRefusals) {
  folder.write("cut.mgx", mgx_test::text(concat({header(1, 52), entry("m", 52, 10), mgx_test::bytesOf("12345")})));
  folder.makeFolder("out");
  std::string outFolder = path("out");
  const struct {
    const char* what;
    std::string file;
    intptr_t len;
    unsigned int flag;
    bool directoryDest;
    int result;
    bool storesNull;  // true: a null handle; false: the host's variable untouched
  } cases[] = {
      {"output to a directory", "sample.mgx", 0, 0x000, true, spi::kNotSupported, false},
      {"output kind 2", "sample.mgx", 0, 0x200, false, spi::kNotSupported, false},
      {"memory input", "sample.mgx", 0, 0x101, false, spi::kNotSupported, false},
      {"position equal to the count", "sample.mgx", 5, 0x100, false, spi::kInternalError, false},
      {"negative position", "sample.mgx", -1, 0x100, false, spi::kInternalError, false},
      {"missing file", "missing.mgx", 0, 0x100, false, spi::kNoMemory, false},
      {"member past the end of the file", "cut.mgx", 0, 0x100, false, spi::kReadError, true},
  };
  for (const auto& c : cases) {
    progressCalls.clear();
    void* member = kUntouched;
    void* dest = c.directoryDest ? const_cast<char*>(outFolder.c_str()) : static_cast<void*>(&member);
    EXPECT_EQ(getFile(path(c.file).c_str(), c.len, dest, c.flag, recordProgress, 5), c.result) << c.what;
    EXPECT_EQ(member, c.storesNull ? nullptr : kUntouched) << c.what;
    std::vector<ProgressCall> calls = {{0, 1, 5}};  // before any test, and nothing after a failure
    EXPECT_EQ(progressCalls, calls) << c.what;
  }
  EXPECT_EQ(getFile(nullptr, 0, outFolder.data(), 0x100, nullptr, 0), spi::kNotSupported);
  EXPECT_EQ(getFile(path("sample.mgx").c_str(), 0, nullptr, 0x100, nullptr, 0), spi::kNotSupported);
}

TEST_F(DurnacTest, ExtractionWithoutMemoryStoresANullHandle) {
  if (!failAllocationsAfter(0)) GTEST_SKIP() << "allocation failures are made natively only";
  void* member = kUntouched;
  EXPECT_EQ(getFile(path("sample.mgx").c_str(), 0, &member, 0x100, nullptr, 0), spi::kNoMemory);
  EXPECT_EQ(member, nullptr);
}
