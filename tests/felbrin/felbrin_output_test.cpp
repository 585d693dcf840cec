// GetFile into a folder: the output name, the pieces and their reports, stops and failures.
#include <string>

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

TEST(FelbrinOutput, MemberNameIsAppendedWithoutASeparator) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  folder.makeFolder("out");
  const std::string src = folder.path("a.ggd");
  std::string dest = folderPath(folder.path("out"));
  ASSERT_EQ(felbrin.GetFile(src.c_str(), 150, &dest[0], 0, nullptr, 0), 0);
  EXPECT_EQ(folder.read("out/B"), pattern(8, 2));
  dest = folder.path("out");
  ASSERT_EQ(felbrin.GetFile(src.c_str(), 150, &dest[0], 0, nullptr, 0), 0);
  EXPECT_EQ(folder.read("outB"), pattern(8, 2));
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
  std::string tooLong = folderPath(folder.path());
  tooLong += std::string(260 - 5 - tooLong.size(), 'L');
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
  size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.root())) entries += entry.exists() ? 1 : 0;
  EXPECT_EQ(entries, 1u);

  // One byte shorter fits.
  tooLong.pop_back();
  EXPECT_EQ(felbrin.GetFile(src.c_str(), 50, &tooLong[0], 0, nullptr, 0), 0);
  EXPECT_EQ(folder.read(std::string(259 - 5 - folderPath(folder.path()).size(), 'L') + "A.BMP"), pattern(100, 1));
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

}  // namespace
