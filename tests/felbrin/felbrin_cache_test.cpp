// The cache of the last archive listed from a file, and how every failure path gives back
// what it took (counted natively, where the platform layer counts live blocks and fails
// allocations on request).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "tests/common/temp_folder.h"
#include "tests/felbrin/felbrin_host.h"

namespace {

using namespace felbrin_test;
using testing_support::TempFolder;

std::string firstName(void* list) { return static_cast<const spi::ArchiveEntryInfo*>(list)->filename; }

// Lists the file and gives back the first member's name ("" on failure).
std::string listFirst(Felbrin& felbrin, const std::string& path) {
  void* list = nullptr;
  if (felbrin.GetArchiveInfo(path.c_str(), 0, 0, &list) != 0) return "";
  std::string name = firstName(list);
  LocalFree(list);
  return name;
}

TEST(FelbrinCache, SecondListingOfAPathComesFromTheCache) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string path = folder.path("a.ggd");
  folder.write("a.ggd", archiveOf({{"FIRST", pattern(8, 1)}}));
  folder.write("text.txt", std::string(100, 'x'));
  EXPECT_EQ(listFirst(felbrin, path), "FIRST");

  folder.write("a.ggd", archiveOf({{"SECOND", pattern(8, 1)}}));
  EXPECT_EQ(listFirst(felbrin, path), "FIRST");  // the file is not read again
  std::string upper = path;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  EXPECT_EQ(listFirst(felbrin, upper), "FIRST");  // the same path in other letter case
  void* list = nullptr;
  EXPECT_EQ(felbrin.GetArchiveInfo(path.c_str(), 12345, 0, &list), 0);  // whatever the offset
  EXPECT_EQ(firstName(list), "FIRST");
  LocalFree(list);

  // A memory listing empties the cache, so the file is read again.
  felbrin.dropCache();
  EXPECT_EQ(listFirst(felbrin, path), "SECOND");

  // So does a failed listing of another path.
  folder.write("a.ggd", archiveOf({{"THIRD", pattern(8, 1)}}));
  EXPECT_EQ(listFirst(felbrin, folder.path("text.txt")), "");
  EXPECT_EQ(listFirst(felbrin, path), "THIRD");
}

TEST(FelbrinCache, GetFileReadsTheDirectoryOnce) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string path = folder.path("a.ggd");
  folder.write("a.ggd", exampleArchive());
  EXPECT_EQ(listFirst(felbrin, path), "A.BMP");
  // A directory that no longer reads: GetFile still finds B through the cached list.
  std::string damaged = exampleArchive();
  damaged[0] = 0x18;
  folder.write("a.ggd", damaged);
  void* member = nullptr;
  ASSERT_EQ(felbrin.GetFile(path.c_str(), 150, reinterpret_cast<char*>(&member), kMemoryOut, nullptr, 0), 0);
  LocalFree(member);
  felbrin.dropCache();
  EXPECT_EQ(felbrin.GetFile(path.c_str(), 150, reinterpret_cast<char*>(&member), kMemoryOut, nullptr, 0),
            spi::kUnknownFormat);
}

#ifndef _WIN32
TEST(FelbrinCache, ReleasedWhenTheLibraryIsUnloaded) {
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  const long before = liveGlobalBlocks();
  {
    Felbrin felbrin;
    EXPECT_EQ(listFirst(felbrin, folder.path("a.ggd")), "A.BMP");
    EXPECT_EQ(liveGlobalBlocks(), before + 2);  // the path and the list
  }
  EXPECT_EQ(liveGlobalBlocks(), before);
}

// Every allocation in turn fails: each call either succeeds or fails with the code for it,
// and afterwards only what the host owns and a complete cache (both blocks or neither) live.
TEST(FelbrinCache, EveryAllocationFailureGivesBackWhatItTook) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  folder.makeFolder("out");
  const std::string path = folder.path("a.ggd");
  const WideString wpath = widePath(folder.root() / "a.ggd");
  const WideString wname = W(u"a.bmp");
  const std::string archive = exampleArchive();
  std::string dest = folderPath(folder.path("out"));
  WideString wdest = wideFolderPath(folder.root() / "out");
  const long local = liveLocalBlocks();
  const long global = liveGlobalBlocks();

  for (int call = 0; call < 7; ++call) {
    for (long allowed = 0; allowed < 12; ++allowed) {
      SCOPED_TRACE("call " + std::to_string(call) + ", allocations allowed " + std::to_string(allowed));
      felbrin.dropCache();
      void* handle = nullptr;
      spi::ArchiveEntryInfoW info;
      bool handsOver = true;  // a successful call leaves a block with the host
      platformFailAllocationsAfter(allowed);
      int result = 0;
      switch (call) {
        case 0: result = felbrin.GetArchiveInfo(path.c_str(), 0, 0, &handle); break;
        case 1: result = felbrin.GetArchiveInfo(archive.data(), static_cast<intptr_t>(archive.size()), kMemoryIn, &handle); break;
        case 2: result = felbrin.GetFile(path.c_str(), 50, reinterpret_cast<char*>(&handle), kMemoryOut, nullptr, 0); break;
        case 3: result = felbrin.GetFile(path.c_str(), 50, &dest[0], 0, nullptr, 0); handsOver = false; break;
        case 4: result = felbrin.GetArchiveInfoW(wpath.c_str(), 0, 0, &handle); break;
        case 5: result = felbrin.GetFileInfoW(wpath.c_str(), 0, wname.c_str(), spi::kIgnoreCase, &info); handsOver = false; break;
        case 6: result = felbrin.GetFileW(wpath.c_str(), 50, &wdest[0], 0, nullptr, 0); handsOver = false; break;
      }
      platformFailAllocationsAfter(-1);
      EXPECT_TRUE(result == 0 || result == spi::kNoMemory || result == spi::kUnknownFormat) << result;
      EXPECT_EQ(handle != nullptr, result == 0 && handsOver);
      if (handle != nullptr) LocalFree(handle);
      EXPECT_EQ(liveLocalBlocks(), local);
      const long cached = liveGlobalBlocks() - global;
      EXPECT_TRUE(cached == 0 || cached == 2) << cached;
      if (allowed == 11) {
        EXPECT_EQ(result, 0);  // enough for every call
      }
    }
  }
}

#endif

// Null pointers from the host: an error code, nothing allocated, the cache untouched.
TEST(FelbrinCache, NullArgumentsTakeNothing) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  const std::string path = folder.path("a.ggd");
  EXPECT_EQ(listFirst(felbrin, path), "A.BMP");
  const long local = liveLocalBlocks();
  const long global = liveGlobalBlocks();
  spi::ArchiveEntryInfo info;
  void* handle = nullptr;
  EXPECT_EQ(felbrin.GetArchiveInfo(nullptr, 0, kMemoryIn, &handle), spi::kReadError);
  EXPECT_EQ(felbrin.GetArchiveInfo(path.c_str(), 0, 0, nullptr), spi::kNotSupported);
  EXPECT_EQ(felbrin.GetFileInfo(path.c_str(), 0, nullptr, 0, &info), spi::kUnknownFormat);
  EXPECT_EQ(felbrin.GetFileInfo(nullptr, 0, "B", kMemoryIn, &info), spi::kReadError);
  EXPECT_EQ(felbrin.GetFileInfo(path.c_str(), 0, "B", 0, nullptr), spi::kNotSupported);
  EXPECT_EQ(felbrin.GetFile(path.c_str(), 150, nullptr, 0, nullptr, 0), spi::kNotSupported);
  EXPECT_EQ(felbrin.GetFile(nullptr, 150, reinterpret_cast<char*>(&handle), kMemoryOut, nullptr, 0), spi::kReadError);
  EXPECT_EQ(felbrin.GetPluginInfo(0, nullptr, 10), 0);
  EXPECT_EQ(liveLocalBlocks(), local);
  EXPECT_EQ(liveGlobalBlocks(), global);  // the cache is untouched too
}

}  // namespace
