// The cache of the last archive listed from a file, and how every failure path gives back
// what it took (counted natively, where the platform layer counts live blocks and fails
// allocations on request).
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
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

// The first member's name and bytes as one family lists and extracts them ("" on failure).
struct Seen {
  std::string name, bytes;
  bool operator==(const Seen& other) const { return name == other.name && bytes == other.bytes; }
};
std::ostream& operator<<(std::ostream& out, const Seen& seen) { return out << seen.name << " (" << seen.bytes.size() << " bytes)"; }

Seen listAndExtract(Felbrin& felbrin, bool wide, const std::filesystem::path& path, intptr_t offset) {
  Seen seen;
  void* list = nullptr;
  HLOCAL member = nullptr;
  intptr_t position = 0;
  if (wide) {
    const WideString wpath = widePath(path);
    if (felbrin.GetArchiveInfoW(wpath.c_str(), offset, 0, &list) != 0) return seen;
    const auto* entry = static_cast<const spi::ArchiveEntryInfoW*>(list);
    for (const WideChar* c = entry->filename; *c != 0; ++c) seen.name.push_back(static_cast<char>(*c));
    position = static_cast<intptr_t>(entry->position);
    if (felbrin.GetFileW(wpath.c_str(), position, reinterpret_cast<WideChar*>(&member), kMemoryOut, nullptr, 0) != 0) {
      member = nullptr;
    }
  } else {
    const std::string apath = path.string();
    if (felbrin.GetArchiveInfo(apath.c_str(), offset, 0, &list) != 0) return seen;
    const auto* entry = static_cast<const spi::ArchiveEntryInfo*>(list);
    seen.name = entry->filename;
    position = static_cast<intptr_t>(entry->position);
    if (felbrin.GetFile(apath.c_str(), position, reinterpret_cast<char*>(&member), kMemoryOut, nullptr, 0) != 0) {
      member = nullptr;
    }
  }
  LocalFree(list);
  seen.bytes = member != nullptr ? std::string(static_cast<const char*>(member), LocalSize(member)) : "<failed>";
  LocalFree(member);
  return seen;
}

// A listing comes from the cache only while it still describes the file: the same path, the
// same offset, the same size and last-write time. Each change below is read anew, in both
// families, and GetFile hands over the new file's member, never bytes of the old layout.
TEST(FelbrinCache, ACachedListingServesOnlyTheSameFile) {
  namespace fs = std::filesystem;
  // Two archives in one file: "FIRST" at offset 0 and "OTHER" at offset 64.
  auto twoArchives = [](const std::string& firstName, const std::string& tail) {
    std::string bytes = archiveOf({{firstName, pattern(16, 1)}});
    bytes.resize(64, '-');
    return bytes + archiveOf({{"OTHER", pattern(16, 2)}}) + tail;
  };
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> change;
    intptr_t offset;
    Seen expected;
  };
  const Case cases[] = {
      {"a change the stamp cannot see: from the cache", [&](const fs::path& p) { rewriteUnseen(p, twoArchives("SAME!", "")); },
       0, {"FIRST", pattern(16, 1)}},
      {"another offset", [](const fs::path&) {}, 64, {"OTHER", pattern(16, 2)}},
      {"replaced by another archive",
       [](const fs::path& p) { std::ofstream(p, std::ios::binary) << archiveOf({{"THIRD", pattern(40, 3)}}); }, 0,
       {"THIRD", pattern(40, 3)}},
      {"grown",
       [&](const fs::path& p) {
         const auto written = fs::last_write_time(p);
         std::ofstream(p, std::ios::binary) << twoArchives("GROWN", "tail");
         fs::last_write_time(p, written);
       },
       0, {"GROWN", pattern(16, 1)}},
      {"the same size, written later",
       [&](const fs::path& p) {
         const auto written = fs::last_write_time(p);
         std::ofstream(p, std::ios::binary) << twoArchives("NEWER", "");
         fs::last_write_time(p, written + std::chrono::seconds(2));
       },
       0, {"NEWER", pattern(16, 1)}},
  };
  for (bool wide : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (wide ? ", Unicode" : ", ANSI"));
      Felbrin felbrin;
      TempFolder folder;
      const fs::path path = folder.root() / "a.ggd";
      folder.write("a.ggd", twoArchives("FIRST", ""));
      pinWriteTime(path);
      EXPECT_EQ(listAndExtract(felbrin, wide, path, 0), (Seen{"FIRST", pattern(16, 1)}));
      c.change(path);
      EXPECT_EQ(listAndExtract(felbrin, wide, path, c.offset), c.expected);
    }
  }
}

TEST(FelbrinCache, AMemoryListingOrAFailedOneEmptiesTheCache) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string path = folder.path("a.ggd");
  folder.write("a.ggd", archiveOf({{"FIRST", pattern(8, 1)}}));
  pinWriteTime(folder.root() / "a.ggd");
  folder.write("text.txt", std::string(100, 'x'));
  EXPECT_EQ(listFirst(felbrin, path), "FIRST");
  rewriteUnseen(folder.root() / "a.ggd", archiveOf({{"SECOND", pattern(8, 1)}}));
  EXPECT_EQ(listFirst(felbrin, path), "FIRST");  // the file is not read again
#ifdef _WIN32
  std::string upper = path;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  EXPECT_EQ(listFirst(felbrin, upper), "FIRST");  // the same path in other letter case
#endif

  // A memory listing empties the cache, so the file is read again.
  felbrin.dropCache();
  EXPECT_EQ(listFirst(felbrin, path), "SECOND");

  // So does a failed listing of another path.
  rewriteUnseen(folder.root() / "a.ggd", archiveOf({{"THIRD", pattern(8, 1)}}));
  EXPECT_EQ(listFirst(felbrin, folder.path("text.txt")), "");
  EXPECT_EQ(listFirst(felbrin, path), "THIRD");
}

TEST(FelbrinCache, GetFileReadsTheDirectoryOnce) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string path = folder.path("a.ggd");
  folder.write("a.ggd", exampleArchive());
  pinWriteTime(folder.root() / "a.ggd");
  EXPECT_EQ(listFirst(felbrin, path), "A.BMP");
  // A directory that no longer reads, unseen by the stamp: GetFile still finds B through the
  // cached list.
  std::string damaged = exampleArchive();
  damaged[0] = 0x18;
  rewriteUnseen(folder.root() / "a.ggd", damaged);
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
