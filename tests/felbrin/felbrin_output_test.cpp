// GetFile into a folder: the output name, the names refused, the pieces and their reports,
// stops and failures, and memory that does not grow with the member.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/sparse_file.h"
#include "tests/common/temp_folder.h"
#include "tests/felbrin/felbrin_host.h"
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

using namespace felbrin_test;
using testing_support::TempFolder;
using Reports = std::vector<std::pair<int, int>>;

// A folder without a separator at its end gets one; one that has it is used as it is.
TEST(FelbrinOutput, FolderGetsOneSeparator) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  folder.makeFolder("out");
  const std::string src = folder.path("a.ggd");
  const WideString wsrc = widePath(folder.root() / "a.ggd");
  std::vector<std::string> dests = {folder.path("out"), folder.path("out") + "/"};
#ifdef _WIN32
  dests.push_back(folder.path("out") + "\\");
#endif
  for (std::string dest : dests) {
    SCOPED_TRACE(dest);
    WideString wdest = widePath(std::filesystem::path(dest));
    ASSERT_EQ(felbrin.GetFile(src.c_str(), 150, &dest[0], 0, nullptr, 0), 0);
    EXPECT_EQ(folder.read("out/B"), pattern(8, 2));
    std::filesystem::remove(folder.root() / "out" / "B");
    ASSERT_EQ(felbrin.GetFileW(wsrc.c_str(), 150, &wdest[0], 0, nullptr, 0), 0);
    EXPECT_EQ(folder.read("out/B"), pattern(8, 2));
    std::filesystem::remove(folder.root() / "out" / "B");
  }
  EXPECT_FALSE(folder.exists("outB"));
}

// Every file under `root`, as paths relative to it.
std::vector<std::string> filesUnder(const std::filesystem::path& root) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) files.push_back(entry.path().lexically_relative(root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Member names that are not one plain file name are listed as stored and extract to memory,
// but writing them to a folder creates nothing, anywhere, and answers -1; the other members
// of the archive extract as usual. Both families.
TEST(FelbrinOutput, NamesThatAreNoPlainFileNameCreateNothing) {
  const std::vector<std::string> hostile = {
      "..\\..\\PWN1", "../../PWN2", "..\\x", "C:\\x", "Z:x", "a:b", "sub/x", ".", "..", "...", "A.",
      "nul.txt", "Com1.gg0", "CON", "aux", "PRN.a", "lpt9", "NUL", "a*", "a?", "a|b", "a\x7F",
      "EMPTY",  // its first name byte becomes 0 below: an empty name
  };
  std::vector<ggd_archive_writer::Member> members = {{"OK1", pattern(8, 1)}};
  for (size_t i = 0; i < hostile.size(); ++i) members.push_back({hostile[i], pattern(8, static_cast<unsigned>(i + 10))});
  members.push_back({"OK2", pattern(9, 2)});
  std::string archive = archiveOf(members);
  const size_t emptySlot = 2 + 16 * hostile.size();  // the slot of "EMPTY"
  archive[emptySlot] = '\0';

  Felbrin felbrin;
  TempFolder folder;
  folder.makeFolder("in");
  folder.makeFolder("x");
  folder.makeFolder("x/y");
  folder.makeFolder("x/y/out");
  folder.write("in/a.ggd", archive);
  const std::string src = folder.path("in/a.ggd");
  const WideString wsrc = widePath(folder.root() / "in" / "a.ggd");
  std::string dest = folderPath(folder.path("x/y/out"));
  WideString wdest = wideFolderPath(folder.root() / "x" / "y" / "out");

  void* list = nullptr;
  ASSERT_EQ(felbrin.GetArchiveInfo(src.c_str(), 0, 0, &list), 0);
  const auto* entries = static_cast<const spi::ArchiveEntryInfo*>(list);
  for (size_t j = 0; j < members.size(); ++j) {
    const std::string stored = j == hostile.size() ? "" : members[j].name;
    EXPECT_EQ(std::string(entries[j].filename), stored);  // listed as stored
    const intptr_t position = static_cast<intptr_t>(entries[j].position);
    const bool plain = j == 0 || j + 1 == members.size();
    SCOPED_TRACE(stored);
    EXPECT_EQ(felbrin.GetFile(src.c_str(), position, &dest[0], 0, nullptr, 0), plain ? 0 : spi::kNotSupported);
    EXPECT_EQ(felbrin.GetFileW(wsrc.c_str(), position, &wdest[0], 0, nullptr, 0), plain ? 0 : spi::kNotSupported);
    HLOCAL member = nullptr;
    ASSERT_EQ(felbrin.GetFile(src.c_str(), position, reinterpret_cast<char*>(&member), kMemoryOut, nullptr, 0), 0);
    EXPECT_EQ(std::string(static_cast<const char*>(member), LocalSize(member)), members[j].bytes);
    LocalFree(member);
  }
  LocalFree(list);
  EXPECT_EQ(filesUnder(folder.root()), (std::vector<std::string>{"in/a.ggd", "x/y/out/OK1", "x/y/out/OK2"}));
  EXPECT_EQ(folder.read("x/y/out/OK2"), pattern(9, 2));
}

// A member that claims more bytes than the file holds answers 6 at once: nothing is
// allocated for it (allocations above 1 MiB fail here) and no file is created.
TEST(FelbrinOutput, AMemberBeyondTheFileAnswers6BeforeAnythingIsMade) {
  // D = 32: "BIG" at 34, the end marker claims the member runs to 0x7FFFFFF0.
  const std::string slots = std::string("BIG\0\0\0\0\0\0\0\0\0", 12) + std::string("\x22\0\0\0", 4) +
                            std::string(12, '\0') + std::string("\xF0\xFF\xFF\x7F", 4);
  const std::string archive = std::string("\x20\0", 2) + slots + pattern(8, 1);
  Felbrin felbrin;
  TempFolder folder;
  folder.write("lie.ggd", archive);
  folder.makeFolder("out");
  const std::string src = folder.path("lie.ggd");
  const WideString wsrc = widePath(folder.root() / "lie.ggd");
  std::string dest = folderPath(folder.path("out"));
  WideString wdest = wideFolderPath(folder.root() / "out");
  const long before = liveLocalBlocks();
#ifndef _WIN32
  platformFailAllocationsAbove(1 << 20);
#endif
  HLOCAL member = nullptr;
  EXPECT_EQ(felbrin.GetFile(src.c_str(), 34, reinterpret_cast<char*>(&member), kMemoryOut, nullptr, 0), spi::kReadError);
  EXPECT_EQ(felbrin.GetFileW(wsrc.c_str(), 34, reinterpret_cast<WideChar*>(&member), kMemoryOut, nullptr, 0),
            spi::kReadError);
  EXPECT_EQ(felbrin.GetFile(src.c_str(), 34, &dest[0], 0, nullptr, 0), spi::kReadError);
  EXPECT_EQ(felbrin.GetFileW(wsrc.c_str(), 34, &wdest[0], 0, nullptr, 0), spi::kReadError);
#ifndef _WIN32
  platformFailAllocationsAbove(SIZE_MAX);
#endif
  EXPECT_EQ(member, nullptr);
  EXPECT_EQ(liveLocalBlocks(), before);
  EXPECT_TRUE(filesUnder(folder.root() / "out").empty());
}

TEST(FelbrinOutput, PiecesAndReports) {
  struct Case {
    const char* what;
    size_t size;
    long stopAt;
    int expected;
    Reports reports;
    size_t written;  // bytes in the output file afterwards
  } cases[] = {
      {"two pieces", 70000, -1, 0, {{0, 70000}, {65520, 70000}}, 70000},
      {"exactly one piece", 65520, -1, 0, {{0, 65520}}, 65520},
      {"an empty member reports 0 of 1", 0, -1, 0, {{0, 1}}, 0},
      {"a stop before the first piece leaves an empty file", 70000, 0, 1, {{0, 70000}}, 0},
      {"a stop after the first piece leaves it", 70000, 1, 1, {{0, 70000}, {65520, 70000}}, 65520},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Felbrin felbrin;
    TempFolder folder;
    const std::string member = pattern(c.size, 7);
    folder.write("a.ggd", archiveOf({{"LEAD", pattern(8, 1)}, {"BIG.BIN", member}}));
    const std::string src = folder.path("a.ggd");
    std::string dest = folderPath(folder.path());
    const long before = liveLocalBlocks();
    ProgressLog log;
    log.stopAt = c.stopAt;
    EXPECT_EQ(felbrin.GetFile(src.c_str(), 58, &dest[0], 0, &ProgressLog::record, log.user()), c.expected);
    EXPECT_EQ(log.reports, c.reports);
    EXPECT_EQ(folder.read("BIG.BIN"), member.substr(0, c.written));
    EXPECT_EQ(liveLocalBlocks(), before);
  }
}

TEST(FelbrinOutput, RefusedRequestsCreateNothing) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  const std::string src = folder.path("a.ggd");
  const long before = liveLocalBlocks();
  // The folder and "A.BMP" need 261 bytes with the terminator: one more than the path buffer.
  const std::string root = folderPath(folder.path());
  const std::string longName(261 - 1 - 5 - 1 - root.size(), 'L');
  folder.makeFolder(longName);
  folder.makeFolder(longName.substr(1));
  std::string tooLong = folderPath(root + longName);
  std::string missingFolder = folderPath(folder.path("missing"));
  struct Case {
    const char* what;
    std::string* dest;
    int expected;
  } cases[] = {
      {"a path longer than the output buffer", &tooLong, spi::kNotSupported},
      {"a folder that does not exist", &missingFolder, spi::kNotSupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(felbrin.GetFile(src.c_str(), 50, &(*c.dest)[0], 0, nullptr, 0), c.expected);
    EXPECT_EQ(liveLocalBlocks(), before);
  }
  // Nothing but the archive in the folder, in particular no file under a cut name.
  EXPECT_EQ(filesUnder(folder.root()), std::vector<std::string>{"a.ggd"});

  // One byte shorter fits.
  std::string fits = folderPath(root + longName.substr(1));
  EXPECT_EQ(felbrin.GetFile(src.c_str(), 50, &fits[0], 0, nullptr, 0), 0);
  EXPECT_EQ(folder.read(longName.substr(1) + "/A.BMP"), pattern(100, 1));
}

#ifndef _WIN32
TEST(FelbrinOutput, AFailedWriteDeletesTheFile) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", archiveOf({{"LEAD", pattern(8, 1)}, {"BIG.BIN", pattern(200000, 3)}}));
  const std::string src = folder.path("a.ggd");
  std::string dest = folderPath(folder.path());
  // Files of this process may not grow beyond 100000 bytes: the second piece fails.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit limit = saved;
  limit.rlim_cur = 100000;
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  ProgressLog log;
  const int result = felbrin.GetFile(src.c_str(), 58, &dest[0], 0, &ProgressLog::record, log.user());
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(result, spi::kNotSupported);
  EXPECT_EQ(log.reports, (Reports{{0, 200000}, {65520, 200000}}));
  EXPECT_FALSE(folder.exists("BIG.BIN"));
}
#endif

TEST(FelbrinOutput, AMemberCutShortByTheEndOfTheFile) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string archive = exampleArchive();
  folder.write("cut.ggd", archive.substr(0, archive.size() - 1));
  const std::string src = folder.path("cut.ggd");
  std::string dest = folderPath(folder.path());
  const long before = liveLocalBlocks();
  EXPECT_EQ(felbrin.GetFile(src.c_str(), 150, &dest[0], 0, nullptr, 0), spi::kReadError);
  EXPECT_FALSE(folder.exists("B"));
  EXPECT_EQ(liveLocalBlocks(), before);
}

#ifndef _WIN32
// The archive cut while its member is copied (natively, where the archive's sharing mode does
// not keep others from writing): the read of the next piece fails, the partial output file is
// deleted and the answer is 6.
TEST(FelbrinOutput, AReadFailingPartWayDeletesThePartialFile) {
  for (long cutAtReport : {0, 1}) {
    SCOPED_TRACE(cutAtReport);
    Felbrin felbrin;
    TempFolder folder;
    folder.write("a.ggd", archiveOf({{"LEAD", pattern(8, 1)}, {"BIG.BIN", pattern(200000, 3)}}));
    struct Cutter {
      std::filesystem::path archive;
      long atReport;
      long reports = 0;
      static int SPI_CALL cut(int, int, spi::UserData user) {
        Cutter* self = reinterpret_cast<Cutter*>(user);
        if (self->reports++ == self->atReport) std::filesystem::resize_file(self->archive, 100);
        return 0;
      }
    } cutter{folder.root() / "a.ggd", cutAtReport};
    const std::string src = folder.path("a.ggd");
    std::string dest = folderPath(folder.path());
    const long before = liveLocalBlocks();
    EXPECT_EQ(felbrin.GetFile(src.c_str(), 58, &dest[0], 0, &Cutter::cut, reinterpret_cast<intptr_t>(&cutter)),
              spi::kReadError);
    EXPECT_EQ(cutter.reports, cutAtReport + 1);
    EXPECT_FALSE(folder.exists("BIG.BIN"));
    EXPECT_EQ(liveLocalBlocks(), before);
  }
}

// Memory does not grow with the member: with every allocation above one piece failing, a
// 16 MiB member still extracts to a folder, byte for byte, in both families.
TEST(FelbrinOutput, AFolderCopyNeedsOnePieceOfMemory) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string big = pattern(16 << 20, 5);
  folder.write("a.ggd", archiveOf({{"LEAD", pattern(8, 1)}, {"BIG.BIN", big}}));
  folder.makeFolder("w");
  const std::string src = folder.path("a.ggd");
  const WideString wsrc = widePath(folder.root() / "a.ggd");
  std::string dest = folderPath(folder.path());
  WideString wdest = wideFolderPath(folder.root() / "w");
  platformFailAllocationsAbove(65520);
  const int ansi = felbrin.GetFile(src.c_str(), 58, &dest[0], 0, nullptr, 0);
  const int wide = felbrin.GetFileW(wsrc.c_str(), 58, &wdest[0], 0, nullptr, 0);
  platformFailAllocationsAbove(SIZE_MAX);
  EXPECT_EQ(ansi, 0);
  EXPECT_EQ(wide, 0);
  EXPECT_TRUE(folder.read("BIG.BIN") == big);
  EXPECT_TRUE(folder.read("w/BIG.BIN") == big);
}
#endif

#if defined(_WIN32) && !defined(_WIN64)
// A 1.5 GiB member, more than a 32-bit process could hold in one block, extracts to a folder.
// The archive is a sparse file: its head, and marked bytes at the member's start and end.
TEST(FelbrinOutput, AMemberLargerThanTheAddressSpaceAllowsExtracts) {
  constexpr uint64_t kSize = 1536ull << 20;
  std::string head, error;
  ASSERT_TRUE(ggd_archive_writer::encodeHead({{"HUGE.BIN", kSize}}, &head, &error)) << error;
  Felbrin felbrin;
  TempFolder folder;
  const std::string src = folder.path("huge.ggd");
  ASSERT_TRUE(testing_support::writeSparseFile(
      src, {{0, head + "first"}, {head.size() + kSize - 4, "last"}}));
  std::string dest = folderPath(folder.path());
  ASSERT_EQ(felbrin.GetFile(src.c_str(), static_cast<intptr_t>(head.size()), &dest[0], 0, nullptr, 0), 0);
  const std::filesystem::path out = folder.root() / "HUGE.BIN";
  EXPECT_EQ(std::filesystem::file_size(out), kSize);
  std::ifstream in(out, std::ios::binary);
  char first[5] = {}, last[4] = {};
  in.read(first, 5);
  in.seekg(static_cast<std::streamoff>(kSize - 4));
  in.read(last, 4);
  EXPECT_EQ(std::string(first, 5), "first");
  EXPECT_EQ(std::string(last, 4), "last");
  in.close();
  std::filesystem::remove(out);
}
#endif

}  // namespace
