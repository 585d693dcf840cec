// Felbrin's exports as a host calls them: information, recognition, listing, search by
// name, and extraction of a member into memory.
#include <cstring>
#include <string>

#include "tests/common/high_address.h"
#include "tests/common/temp_folder.h"
#include "tests/felbrin/felbrin_host.h"

namespace {

using namespace felbrin_test;
using testing_support::PlacedBlock;
using testing_support::TempFolder;

TEST(FelbrinExports, PluginInfoAndConfiguration) {
  Felbrin felbrin;
  ASSERT_TRUE(felbrin.complete());
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(felbrin.GetPluginInfo(2, buf, 8), 2);
  EXPECT_EQ(std::string(buf, 3), std::string("*\0#", 3));
  EXPECT_EQ(felbrin.GetPluginInfo(0, buf, 3), 3);  // cut, without a terminator
  EXPECT_EQ(std::string(buf, 4), "00A#");
  EXPECT_EQ(felbrin.GetPluginInfo(4, buf, 8), 0);
  EXPECT_EQ(felbrin.ConfigurationDlg(nullptr, 0), -1);
#ifdef _WIN32
  // Some hosts look the dialog up under its decorated stdcall name.
  EXPECT_EQ(felbrin.library.get<spi::ConfigurationDlgFn>("_ConfigurationDlg@8"), felbrin.ConfigurationDlg);
#endif
}

// IsSupported and IsSupportedW tell a handle from an address by value alone, at full pointer
// width: no bit above the low 16 makes a handle.
TEST(FelbrinExports, IsSupportedByHandleAndByAddress) {
  Felbrin felbrin;
  ASSERT_TRUE(felbrin.complete());
  TempFolder folder;
  const std::string archive = exampleArchive();
  folder.write("lead.ggd", "0123456789" + archive);
  std::string head = archive;
  head.resize(2048, '\0');
  std::string notHead = head;
  notHead[0] = 0x18;
  // Above 4 GiB with bits 16-31 zero: cut to 32 bits, the address would read as handle 0.
  PlacedBlock high(PlacedBlock::kAbove4GiB);
  const uintptr_t highAddress = reinterpret_cast<uintptr_t>(high.data());
  if (highAddress != 0) std::memcpy(high.data(), head.data(), head.size());
  HANDLE file = CreateFileA(folder.path("lead.ggd").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const uintptr_t handle = reinterpret_cast<uintptr_t>(file);
  ASSERT_LE(handle, 0xFFFFu);

  struct Case {
    const char* what;
    uintptr_t dw;
    int64_t seekTo;  // where the handle stands first; -1 for no seek
    int expected;
  } cases[] = {
      // A handle is read from wherever it stands: at 0 "01" is no directory length, at 10 it is.
      {"a handle at the file's start", handle, 0, 0},
      {"a handle moved to the archive", handle, 10, 1},
      {"0x7F, a handle and not an open one", 0x7F, -1, 0},
      {"0xFFFF, a handle and not an open one", 0xFFFF, -1, 0},
      // An address stands for 2048 bytes of the file's head.
      {"an address of a head", reinterpret_cast<uintptr_t>(head.data()), -1, 1},
      {"an address of something else", reinterpret_cast<uintptr_t>(notHead.data()), -1, 0},
      {"an address above 4 GiB whose bits 16-31 are zero", highAddress, -1, 1},
  };
  for (const Case& c : cases) {
    if (c.dw == 0) continue;  // a block that could not be placed here
    SCOPED_TRACE(c.what);
    if (c.seekTo >= 0) SetFilePointer(file, static_cast<LONG>(c.seekTo), nullptr, FILE_BEGIN);
    EXPECT_EQ(felbrin.IsSupported("lead.ggd", c.dw), c.expected);
    if (c.seekTo >= 0) SetFilePointer(file, static_cast<LONG>(c.seekTo), nullptr, FILE_BEGIN);
    EXPECT_EQ(felbrin.IsSupportedW(nullptr, c.dw), c.expected);
  }
  CloseHandle(file);
  if (PlacedBlock::kAbove4GiBExists) {
    EXPECT_NE(highAddress, 0u) << "no block above 4 GiB: the full-width case did not run";
  }
}

// The list of the example archive as the host receives it: a fixed block (locking gives
// its address back) of exactly three records.
void ExpectExampleList(void* handle) {
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(LocalSize(handle), 3 * sizeof(spi::ArchiveEntryInfo));
  const auto* list = static_cast<const spi::ArchiveEntryInfo*>(LocalLock(handle));
  EXPECT_EQ(static_cast<const void*>(list), handle);
  spi::ArchiveEntryInfo expected[3] = {};
  std::memcpy(expected[0].method, "PPLGGD", 7);
  expected[0].position = 50;
  expected[0].compsize = expected[0].filesize = 100;
  std::strcpy(expected[0].filename, "A.BMP");
  std::memcpy(expected[1].method, "PPLGGD", 7);
  expected[1].position = 150;
  expected[1].compsize = expected[1].filesize = 8;
  std::strcpy(expected[1].filename, "B");
  EXPECT_EQ(std::memcmp(list, expected, sizeof expected), 0);  // every other byte zero
  LocalUnlock(handle);
}

TEST(FelbrinExports, ListFromFileAtAnOffsetAndFromMemory) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string archive = exampleArchive();
  folder.write("a.ggd", archive);
  folder.write("lead.ggd", std::string(100, 'x') + archive);
  const long before = liveLocalBlocks();
  struct Case {
    std::string buf;
    intptr_t len;
    unsigned flag;
  } cases[] = {
      {folder.path("a.ggd"), 0, 0},
      {folder.path("lead.ggd"), 100, 0},  // positions count from the archive, not the file
      {archive, static_cast<intptr_t>(archive.size()), kMemoryIn},
  };
  for (const Case& c : cases) {
    void* list = nullptr;
    ASSERT_EQ(felbrin.GetArchiveInfo(c.buf.c_str(), c.len, c.flag, &list), 0) << c.buf;
    ExpectExampleList(list);
    LocalFree(list);
  }
  EXPECT_EQ(liveLocalBlocks(), before);
}

TEST(FelbrinExports, ListFailuresLeaveANullHandle) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string archive = exampleArchive();
  folder.write("a.ggd", archive);
  folder.write("text.txt", std::string(3000, 'x'));
  folder.write("short.ggd", archive.substr(0, 40));
  const std::string missing = folder.path("missing.ggd"), text = folder.path("text.txt"),
                    shortFile = folder.path("short.ggd"), good = folder.path("a.ggd");
  const long before = liveLocalBlocks();
  struct Case {
    const char* what;
    const char* buf;
    intptr_t len;
    unsigned flag;
    int expected;
  } cases[] = {
      {"no such file", missing.c_str(), 0, 0, spi::kReadError},
      {"not an archive", text.c_str(), 0, 0, spi::kUnknownFormat},
      {"a file cut inside the directory", shortFile.c_str(), 0, 0, spi::kUnknownFormat},
      {"an offset past the end", good.c_str(), 1000000, 0, spi::kUnknownFormat},
      {"a negative offset", good.c_str(), -2, 0, spi::kUnknownFormat},
      {"memory cut inside the directory", archive.data(), 40, kMemoryIn, spi::kDamaged},
      {"memory too short for a head", archive.data(), 25, kMemoryIn, spi::kUnknownFormat},
  };
  for (const Case& c : cases) {
    void* list = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(felbrin.GetArchiveInfo(c.buf, c.len, c.flag, &list), c.expected) << c.what;
    EXPECT_EQ(list, nullptr) << c.what;
  }
  EXPECT_EQ(liveLocalBlocks(), before);
}

TEST(FelbrinExports, FindByNameWithAndWithoutCase) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  const std::string path = folder.path("a.ggd");
  spi::ArchiveEntryInfo info;
  std::memset(&info, '#', sizeof info);
  EXPECT_EQ(felbrin.GetFileInfo(path.c_str(), 0, "a.bmp", 0, &info), spi::kUnknownFormat);
  EXPECT_EQ(info.method[0], '#');
  ASSERT_EQ(felbrin.GetFileInfo(path.c_str(), 0, "a.bmp", spi::kIgnoreCase, &info), 0);
  EXPECT_STREQ(info.filename, "A.BMP");
  EXPECT_EQ(info.position, 50u);
  ASSERT_EQ(felbrin.GetFileInfo(path.c_str(), 0, "B", 0, &info), 0);
  EXPECT_EQ(info.position, 150u);
}

TEST(FelbrinExports, MemberToMemoryByPosition) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  const std::string path = folder.path("a.ggd");
  const long before = liveLocalBlocks();
  ProgressLog log;
  void* member = nullptr;
  ASSERT_EQ(felbrin.GetFile(path.c_str(), 150, reinterpret_cast<char*>(&member), kMemoryOut, &ProgressLog::record,
                            log.user()),
            0);
  EXPECT_EQ(LocalSize(member), 8u);
  EXPECT_EQ(LocalLock(member), member);
  EXPECT_EQ(std::string(static_cast<const char*>(member), 8), pattern(8, 2));
  LocalUnlock(member);
  LocalFree(member);
  EXPECT_EQ(log.reports, (std::vector<std::pair<int, int>>{{0, 1}}));  // never a denominator of 0

  struct Case {
    const char* what;
    intptr_t len;
    unsigned flag;
    long stopAt;
    int expected;
  } cases[] = {
      {"a position inside a member", 51, kMemoryOut, -1, spi::kNotSupported},
      {"memory input", 150, kMemoryOut | kMemoryIn, -1, spi::kNotSupported},
      {"a stop before the hand-over", 150, kMemoryOut, 0, spi::kAborted},
  };
  for (const Case& c : cases) {
    ProgressLog stopper;
    stopper.stopAt = c.stopAt;
    member = nullptr;
    EXPECT_EQ(felbrin.GetFile(path.c_str(), c.len, reinterpret_cast<char*>(&member), c.flag, &ProgressLog::record,
                              stopper.user()),
              c.expected)
        << c.what;
    EXPECT_EQ(member, nullptr) << c.what;
  }
  EXPECT_EQ(liveLocalBlocks(), before);
}

TEST(FelbrinExports, MemberOfAnArchiveFurtherIntoTheFile) {
  // Listed at its offset, the archive is cached with that offset, and GetFile reads there.
  Felbrin felbrin;
  TempFolder folder;
  folder.write("lead.ggd", std::string(100, 'x') + exampleArchive());
  const std::string path = folder.path("lead.ggd");
  void* list = nullptr;
  ASSERT_EQ(felbrin.GetArchiveInfo(path.c_str(), 100, 0, &list), 0);
  LocalFree(list);
  void* member = nullptr;
  ASSERT_EQ(felbrin.GetFile(path.c_str(), 150, reinterpret_cast<char*>(&member), kMemoryOut, nullptr, 0), 0);
  EXPECT_EQ(std::string(static_cast<const char*>(member), 8), pattern(8, 2));
  LocalFree(member);
}

}  // namespace
