// The Unicode exports against their ANSI twins: information, listings field by field,
// search, extraction to memory and to a folder, failures, the cache shared by both families,
// and paths that the system code page cannot spell.
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/temp_folder.h"
#include "tests/felbrin/felbrin_host.h"

namespace {

using namespace felbrin_test;
using testing_support::TempFolder;

std::string memberBytes(void* handle) {
  const std::string bytes(static_cast<const char*>(handle), LocalSize(handle));
  LocalFree(handle);
  return bytes;
}

TEST(FelbrinWide, PluginInfoCountsCharacters) {
  Felbrin felbrin;
  ASSERT_TRUE(felbrin.complete());
  struct Case {
    int infono;
    int buflen;
    int expected;  // characters stored (-1: as many as the ANSI export stores bytes)
  } cases[] = {
      {2, 8, 2},     // "*" and its terminator
      {0, 3, 3},     // "00A", cut without a terminator
      {0, 5, 5},     // "00AM" and its terminator
      {1, 400, -1},  // the whole description
      {3, 1, 1},
      {4, 8, 0},    // no such entry
      {-1, 8, 0},
      {0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.infono) + ", " + std::to_string(c.buflen));
    std::vector<char> narrow(static_cast<size_t>(c.buflen) + 1, '#');
    std::vector<WideChar> wide(static_cast<size_t>(c.buflen) + 1, static_cast<WideChar>('#'));
    const int bytes = felbrin.GetPluginInfo(c.infono, narrow.data(), c.buflen);
    const int units = felbrin.GetPluginInfoW(c.infono, wide.data(), c.buflen);
    if (c.expected >= 0) {
      EXPECT_EQ(units, c.expected);
    }
    EXPECT_EQ(units, bytes);
    // The same characters, and nothing stored past the count.
    EXPECT_EQ(WideString(wide.begin(), wide.end()), W(std::string(narrow.begin(), narrow.end())));
  }
  EXPECT_EQ(felbrin.GetPluginInfoW(0, nullptr, 10), 0);
}

// Members whose names the two families spell differently: ASCII, a letter beyond ASCII
// (written in the system code page), double-byte bytes, a lower-case name.
struct VariedArchive {
  std::vector<ggd_archive_writer::Member> members;
  std::vector<WideString> wideNames;  // empty: the code page decides (only non-empty is asked)
  std::string bytes;

  VariedArchive() {
    add("A.BMP", W(u"A.BMP"), pattern(100, 1));
    std::string cafe;
    if (ansiOf(W(u"CAF\u00C9.TXT"), &cafe)) add(cafe, W(u"CAF\u00C9.TXT"), pattern(20, 2));
    add("\x82\xA0\x82\xA2", WideString(), pattern(9, 3));
    add("z", W(u"z"), pattern(8, 4));
    bytes = archiveOf(members);
  }
  void add(const std::string& name, const WideString& wide, const std::string& data) {
    members.push_back({name, data});
    wideNames.push_back(wide);
  }
};

TEST(FelbrinWide, ListingsAgreeFieldByField) {
  Felbrin felbrin;
  TempFolder folder;
  const VariedArchive archive;
  folder.write("v.ggd", archive.bytes);
  const std::string path = folder.path("v.ggd");
  const WideString wpath = widePath(folder.root() / "v.ggd");
  const size_t n = archive.members.size();
  const long before = liveLocalBlocks();
  for (unsigned flag : {0u, kMemoryIn}) {
    SCOPED_TRACE(flag == 0 ? "file" : "memory");
    felbrin.dropCache();
    const intptr_t len = flag == 0 ? 0 : static_cast<intptr_t>(archive.bytes.size());
    void* ansi = nullptr;
    void* wide = nullptr;
    ASSERT_EQ(felbrin.GetArchiveInfo(flag == 0 ? path.c_str() : archive.bytes.data(), len, flag, &ansi), 0);
    const WideChar* wideSource =
        flag == 0 ? wpath.c_str() : reinterpret_cast<const WideChar*>(archive.bytes.data());  // memory is bytes
    ASSERT_EQ(felbrin.GetArchiveInfoW(wideSource, len, flag, &wide), 0);
    ASSERT_EQ(LocalSize(ansi), (n + 1) * sizeof(spi::ArchiveEntryInfo));
    ASSERT_EQ(LocalSize(wide), (n + 1) * sizeof(spi::ArchiveEntryInfoW));
    EXPECT_EQ(LocalLock(wide), wide);  // fixed, as the ANSI list

    // The wide list as it must be, byte for byte: the ANSI fields, the names in UTF-16,
    // every other byte (padding, the rest of the name fields, the last record) zero.
    const auto* a = static_cast<const spi::ArchiveEntryInfo*>(ansi);
    const auto* w = static_cast<const spi::ArchiveEntryInfoW*>(wide);
    std::vector<spi::ArchiveEntryInfoW> expected(n + 1);
    std::memset(expected.data(), 0, expected.size() * sizeof expected[0]);
    for (size_t j = 0; j < n; ++j) {
      std::memcpy(expected[j].method, a[j].method, sizeof a[j].method);
      expected[j].position = a[j].position;
      expected[j].compsize = a[j].compsize;
      expected[j].filesize = a[j].filesize;
      expected[j].timestamp = a[j].timestamp;
      expected[j].crc = a[j].crc;
      WideString name = archive.wideNames[j];
      if (name.empty()) {
        name = WideString(w[j].filename);
        EXPECT_FALSE(name.empty()) << j;
      }
      std::copy(name.begin(), name.end(), expected[j].filename);
    }
    EXPECT_EQ(std::memcmp(expected.data(), w, expected.size() * sizeof expected[0]), 0);
    LocalUnlock(wide);
    LocalFree(ansi);
    LocalFree(wide);
  }
  EXPECT_EQ(liveLocalBlocks(), before);
}

TEST(FelbrinWide, SameMembersThroughBothFamilies) {
  Felbrin felbrin;
  TempFolder folder;
  const VariedArchive archive;
  folder.write("v.ggd", archive.bytes);
  folder.makeFolder("outA");
  folder.makeFolder("outW");
  const std::string path = folder.path("v.ggd");
  const WideString wpath = widePath(folder.root() / "v.ggd");
  std::string destA = folderPath(folder.path("outA"));
  WideString destW = wideFolderPath(folder.root() / "outW");
  const long before = liveLocalBlocks();

  void* ansiList = nullptr;
  void* wideList = nullptr;
  ASSERT_EQ(felbrin.GetArchiveInfo(path.c_str(), 0, 0, &ansiList), 0);
  ASSERT_EQ(felbrin.GetArchiveInfoW(wpath.c_str(), 0, 0, &wideList), 0);
  const auto* a = static_cast<const spi::ArchiveEntryInfo*>(ansiList);
  const auto* w = static_cast<const spi::ArchiveEntryInfoW*>(wideList);
  for (size_t j = 0; j < archive.members.size(); ++j) {
    SCOPED_TRACE(j);
    const std::string& bytes = archive.members[j].bytes;
    // Search by name: the same record in both families.
    spi::ArchiveEntryInfo foundA;
    spi::ArchiveEntryInfoW foundW;
    ASSERT_EQ(felbrin.GetFileInfo(path.c_str(), 0, a[j].filename, 0, &foundA), 0);
    ASSERT_EQ(felbrin.GetFileInfoW(wpath.c_str(), 0, w[j].filename, 0, &foundW), 0);
    EXPECT_EQ(std::memcmp(&foundA, &a[j], sizeof foundA), 0);
    EXPECT_EQ(std::memcmp(&foundW, &w[j], sizeof foundW), 0);

    // A position from either listing extracts the member through either family.
    void* memberA = nullptr;
    void* memberW = nullptr;
    ASSERT_EQ(felbrin.GetFile(path.c_str(), static_cast<intptr_t>(w[j].position), reinterpret_cast<char*>(&memberA),
                              kMemoryOut, nullptr, 0),
              0);
    ASSERT_EQ(felbrin.GetFileW(wpath.c_str(), static_cast<intptr_t>(a[j].position),
                               reinterpret_cast<WideChar*>(&memberW), kMemoryOut, nullptr, 0),
              0);
    EXPECT_EQ(memberBytes(memberA), bytes);
    EXPECT_EQ(memberBytes(memberW), bytes);

    // Into a folder, each under the name its family lists.
    ASSERT_EQ(felbrin.GetFile(path.c_str(), static_cast<intptr_t>(a[j].position), &destA[0], 0, nullptr, 0), 0);
    ASSERT_EQ(felbrin.GetFileW(wpath.c_str(), static_cast<intptr_t>(w[j].position), &destW[0], 0, nullptr, 0), 0);
    EXPECT_EQ(readFile(destA + a[j].filename), bytes);
    EXPECT_EQ(readFile(destW + w[j].filename), bytes);
  }
  LocalFree(ansiList);
  LocalFree(wideList);
  EXPECT_EQ(liveLocalBlocks(), before);
}

TEST(FelbrinWide, UnspellablePathsOpenThroughTheWideExports) {
  Felbrin felbrin;
  TempFolder folder;
  // Japanese, Greek and a character beyond the 16-bit plane: no 8-bit code page spells all.
  const std::filesystem::path where = folder.root() / pathOf(W(u"\u65E5\u672C\u03A9\u03C0\U0001F600"));
  ASSERT_TRUE(std::filesystem::create_directory(where));
  const WideString wpath = widePath(where / pathOf(W(u"\u30A2\u30FC\u30AB\u30A4\u30D6\u03A9.ggd")));
  ASSERT_TRUE(writeFileW(wpath, exampleArchive()));
#ifdef _WIN32
  std::string ansi;
  EXPECT_FALSE(ansiOf(wpath, &ansi)) << "the system code page spells the name";
#endif
  const long before = liveLocalBlocks();

  HANDLE file = CreateFileW(wpath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(felbrin.IsSupportedW(wpath.c_str(), reinterpret_cast<uintptr_t>(file)), 1);
  CloseHandle(file);

  void* list = nullptr;
  ASSERT_EQ(felbrin.GetArchiveInfoW(wpath.c_str(), 0, 0, &list), 0);
  EXPECT_EQ(LocalSize(list), 3 * sizeof(spi::ArchiveEntryInfoW));
  EXPECT_EQ(WideString(static_cast<const spi::ArchiveEntryInfoW*>(list)[1].filename), W(u"B"));
  LocalFree(list);
  felbrin.dropCache();  // the rest reads the file anew each time

  spi::ArchiveEntryInfoW info;
  ASSERT_EQ(felbrin.GetFileInfoW(wpath.c_str(), 0, W(u"b").c_str(), spi::kIgnoreCase, &info), 0);
  EXPECT_EQ(info.position, 150u);
  felbrin.dropCache();
  void* member = nullptr;
  ASSERT_EQ(felbrin.GetFileW(wpath.c_str(), 150, reinterpret_cast<WideChar*>(&member), kMemoryOut, nullptr, 0), 0);
  EXPECT_EQ(memberBytes(member), pattern(8, 2));
  felbrin.dropCache();
  WideString dest = wideFolderPath(where);
  ASSERT_EQ(felbrin.GetFileW(wpath.c_str(), 50, &dest[0], 0, nullptr, 0), 0);
  EXPECT_EQ(readFile(dest + W(u"A.BMP")), pattern(100, 1));
  EXPECT_EQ(liveLocalBlocks(), before);
}

TEST(FelbrinWide, CacheIsSharedByBothFamilies) {
  Felbrin felbrin;
  TempFolder folder;
  auto firstA = [&](const std::string& path) {
    void* list = nullptr;
    if (felbrin.GetArchiveInfo(path.c_str(), 0, 0, &list) != 0) return std::string("<failed>");
    std::string name = static_cast<const spi::ArchiveEntryInfo*>(list)->filename;
    LocalFree(list);
    return name;
  };
  auto firstW = [&](const WideString& path) {
    void* list = nullptr;
    if (felbrin.GetArchiveInfoW(path.c_str(), 0, 0, &list) != 0) return W(u"<failed>");
    WideString name = static_cast<const spi::ArchiveEntryInfoW*>(list)->filename;
    LocalFree(list);
    return name;
  };
  auto upper = [](std::string text) {
    for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
    return text;
  };

  // Named by one family, found by the other (in other letter case too, where the file system
  // ignores it). The rewrites keep size and write time, so a hit shows the old name.
  const std::string path = folder.path("a.ggd");
  const WideString wpath = widePath(folder.root() / "a.ggd");
  folder.write("a.ggd", archiveOf({{"FIRST", pattern(8, 1)}}));
  pinWriteTime(folder.root() / "a.ggd");
  EXPECT_EQ(firstW(wpath), W(u"FIRST"));
  rewriteUnseen(folder.root() / "a.ggd", archiveOf({{"SECOND", pattern(8, 1)}}));
  EXPECT_EQ(firstA(path), "FIRST");
#ifdef _WIN32
  EXPECT_EQ(firstA(upper(path)), "FIRST");
#else
  (void)upper;
#endif
  felbrin.dropCache();
  EXPECT_EQ(firstA(path), "SECOND");
  rewriteUnseen(folder.root() / "a.ggd", archiveOf({{"THIRD", pattern(8, 1)}}));
  EXPECT_EQ(firstW(wpath), W(u"SECOND"));
#ifdef _WIN32
  EXPECT_EQ(firstW(W(upper(path))), W(u"SECOND"));  // the temporary folder's path is ASCII
#endif

  // A path beyond ASCII that the code page spells: the ANSI path is known by its conversion.
  std::string cafe;
  if (ansiOf(W(u"caf\u00E9.ggd"), &cafe)) {
    const WideString wcafe = widePath(folder.root() / pathOf(W(u"caf\u00E9.ggd")));
    ASSERT_TRUE(writeFileW(wcafe, archiveOf({{"FIRST", pattern(8, 1)}})));
    pinWriteTime(pathOf(wcafe));
    EXPECT_EQ(firstW(wcafe), W(u"FIRST"));
    rewriteUnseen(pathOf(wcafe), archiveOf({{"SECOND", pattern(8, 1)}}));
    EXPECT_EQ(firstA(folderPath(folder.path()) + cafe), "FIRST");
  }

  // An archive listed further into the file by one family is extracted by the other there.
  folder.write("lead.ggd", std::string(100, 'x') + exampleArchive());
  void* list = nullptr;
  ASSERT_EQ(felbrin.GetArchiveInfo(folder.path("lead.ggd").c_str(), 100, 0, &list), 0);
  LocalFree(list);
  void* member = nullptr;
  ASSERT_EQ(felbrin.GetFileW(widePath(folder.root() / "lead.ggd").c_str(), 150, reinterpret_cast<WideChar*>(&member),
                             kMemoryOut, nullptr, 0),
            0);
  EXPECT_EQ(memberBytes(member), pattern(8, 2));
}

#ifndef _WIN32
// Natively the code page is UTF-8: an ANSI path that is not has no UTF-16 key. It lists as
// ever, but is never cached, so that no path of the other family can be taken for it.
TEST(FelbrinWide, AnAnsiPathWithoutAWideFormIsListedUncached) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string path = folder.path("\xE9.ggd");
  auto write = [&](const std::string& name) {
    std::ofstream(path, std::ios::binary) << archiveOf({{name, pattern(8, 1)}});
  };
  const long global = liveGlobalBlocks();
  for (const char* name : {"FIRST", "SECOND"}) {
    write(name);
    void* list = nullptr;
    ASSERT_EQ(felbrin.GetArchiveInfo(path.c_str(), 0, 0, &list), 0);
    EXPECT_STREQ(static_cast<const spi::ArchiveEntryInfo*>(list)->filename, name);
    LocalFree(list);
    EXPECT_EQ(liveGlobalBlocks(), global);
  }
}
#endif

// Failing requests answer the same code in both families and hand nothing over.
TEST(FelbrinWide, FailuresAnswerAsTheAnsiTwin) {
  Felbrin felbrin;
  TempFolder folder;
  const std::string archive = exampleArchive();
  folder.write("a.ggd", archive);
  folder.write("text.txt", std::string(3000, 'x'));
  const long before = liveLocalBlocks();
  struct ListCase {
    const char* what;
    const char* name;    // a file in the folder, or null for memory
    intptr_t memoryLen;
    int expected;
  } lists[] = {
      {"no such file", "missing.ggd", 0, spi::kReadError},
      {"not an archive", "text.txt", 0, spi::kUnknownFormat},
      {"memory cut inside the directory", nullptr, 40, spi::kDamaged},
  };
  for (const ListCase& c : lists) {
    SCOPED_TRACE(c.what);
    const std::string path = c.name ? folder.path(c.name) : archive;
    const WideString wpath = c.name ? widePath(folder.root() / c.name) : WideString();
    const WideChar* wsource = c.name ? wpath.c_str() : reinterpret_cast<const WideChar*>(archive.data());
    const unsigned flag = c.name ? 0 : kMemoryIn;
    void* a = &felbrin;  // anything but null: a failure must store null
    void* w = &felbrin;
    EXPECT_EQ(felbrin.GetArchiveInfo(path.c_str(), c.memoryLen, flag, &a), c.expected);
    EXPECT_EQ(felbrin.GetArchiveInfoW(wsource, c.memoryLen, flag, &w), c.expected);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(w, nullptr);
  }

  const std::string src = folder.path("a.ggd");
  const WideString wsrc = widePath(folder.root() / "a.ggd");
  struct ExtractCase {
    const char* what;
    intptr_t position;
    unsigned flag;
    long stopAt;
    int expected;
  } extracts[] = {
      {"a position inside a member", 51, kMemoryOut, -1, spi::kNotSupported},
      {"memory input", 150, kMemoryOut | kMemoryIn, -1, spi::kNotSupported},
      {"a stop before the hand-over", 150, kMemoryOut, 0, spi::kAborted},
      {"an output path over 260 characters", 150, 0, -1, spi::kNotSupported},
  };
  for (const ExtractCase& c : extracts) {
    SCOPED_TRACE(c.what);
    void* a = nullptr;
    void* w = nullptr;
    std::string destA = folderPath(folder.path()) + std::string(300, 'L');
    WideString destW = W(destA);
    ProgressLog logA, logW;
    logA.stopAt = logW.stopAt = c.stopAt;
    const bool toMemory = spi::outputKind(c.flag) == spi::kOutputMemory;
    EXPECT_EQ(felbrin.GetFile(src.c_str(), c.position, toMemory ? reinterpret_cast<char*>(&a) : &destA[0], c.flag,
                              &ProgressLog::record, logA.user()),
              c.expected);
    EXPECT_EQ(felbrin.GetFileW(wsrc.c_str(), c.position, toMemory ? reinterpret_cast<WideChar*>(&w) : &destW[0],
                               c.flag, &ProgressLog::record, logW.user()),
              c.expected);
    EXPECT_EQ(logA.reports, logW.reports);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(w, nullptr);
  }
  EXPECT_EQ(liveLocalBlocks(), before);
}

// Null pointers from the host: an error code, nothing allocated, the cache untouched.
TEST(FelbrinWide, NullArgumentsTakeNothing) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  const WideString path = widePath(folder.root() / "a.ggd");
  void* list = nullptr;
  ASSERT_EQ(felbrin.GetArchiveInfoW(path.c_str(), 0, 0, &list), 0);
  LocalFree(list);
  const long local = liveLocalBlocks();
  const long global = liveGlobalBlocks();
  spi::ArchiveEntryInfoW info;
  void* handle = nullptr;
  const WideString b = W(u"B");
  EXPECT_EQ(felbrin.GetArchiveInfoW(nullptr, 0, kMemoryIn, &handle), spi::kReadError);
  EXPECT_EQ(felbrin.GetArchiveInfoW(path.c_str(), 0, 0, nullptr), spi::kNotSupported);
  EXPECT_EQ(felbrin.GetFileInfoW(path.c_str(), 0, nullptr, 0, &info), spi::kUnknownFormat);
  EXPECT_EQ(felbrin.GetFileInfoW(nullptr, 0, b.c_str(), kMemoryIn, &info), spi::kReadError);
  EXPECT_EQ(felbrin.GetFileInfoW(path.c_str(), 0, b.c_str(), 0, nullptr), spi::kNotSupported);
  EXPECT_EQ(felbrin.GetFileW(path.c_str(), 150, nullptr, 0, nullptr, 0), spi::kNotSupported);
  EXPECT_EQ(felbrin.GetFileW(nullptr, 150, reinterpret_cast<WideChar*>(&handle), kMemoryOut, nullptr, 0),
            spi::kReadError);
  EXPECT_EQ(felbrin.IsSupportedW(nullptr, 0xFFFF), 0);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(liveLocalBlocks(), local);
  EXPECT_EQ(liveGlobalBlocks(), global);
}

// The host's user value reaches the callback whole, through both families.
TEST(FelbrinWide, ProgressUserValueKeepsItsFullWidth) {
  Felbrin felbrin;
  TempFolder folder;
  folder.write("a.ggd", exampleArchive());
  folder.makeFolder("out");
  static std::vector<spi::UserData> seen;
  struct Recorder {
    static int SPI_CALL record(int, int, spi::UserData user) {
      seen.push_back(user);
      return 0;
    }
  };
  // Every byte of the value differs, the top bit included.
  const spi::UserData user = static_cast<spi::UserData>(static_cast<uintptr_t>(0xF1E2D3C4B5A69788ull));
  std::string dest = folderPath(folder.path("out"));
  WideString wdest = wideFolderPath(folder.root() / "out");
  seen.clear();
  ASSERT_EQ(felbrin.GetFile(folder.path("a.ggd").c_str(), 50, &dest[0], 0, &Recorder::record, user), 0);
  ASSERT_EQ(felbrin.GetFileW(widePath(folder.root() / "a.ggd").c_str(), 150, &wdest[0], 0, &Recorder::record, user), 0);
  void* member = nullptr;
  ASSERT_EQ(felbrin.GetFileW(widePath(folder.root() / "a.ggd").c_str(), 150, reinterpret_cast<WideChar*>(&member),
                             kMemoryOut, &Recorder::record, user),
            0);
  LocalFree(member);
  ASSERT_EQ(seen.size(), 3u);
  for (spi::UserData value : seen) EXPECT_EQ(value, user);
}

}  // namespace
