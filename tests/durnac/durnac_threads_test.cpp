// Durnac called from many threads at once, as a viewer that lists and unpacks archives on
// worker threads calls it: eight threads, half on one shared archive and half each on its
// own, mixing every archive export of both families. Each thread checks its own results:
// records, member bytes, codes and the progress calls its own callback received with its
// own user value. Every call must answer exactly as it does alone.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "plugin_api/plugin_api.h"
#include "tests/common/plugin_library.h"
#include "tests/common/temp_folder.h"
#include "tests/durnac/mgx_bytes.h"
#include "tests/support/wide_text.h"

using mgx_test::Bytes;
using spi::WideChar;
using testing_support::WideString;

namespace {

constexpr int kThreads = 8;
constexpr int kSharedThreads = 4;  // threads 0-3 read one archive; 4-7 each read their own
#ifdef _WIN32
constexpr int kCallsPerThread = 120;  // wine opens files slowly
#else
constexpr int kCallsPerThread = 300;
#endif

struct Archive {
  std::string path;
  WideString widePath;
  std::vector<mgx_writer::Member> members;
  std::vector<WideString> wideNames;
};

// Members whose names and bytes differ from archive to archive, so that a record or member
// handed to the wrong call shows.
Archive makeArchive(const testing_support::TempFolder& folder, int seed) {
  Archive archive;
  archive.path = folder.path("a" + std::to_string(seed) + ".mgx");
  archive.widePath = testing_support::widen(archive.path);
  for (int i = 0; i < 6 + seed; ++i) {
    std::string name = "s" + std::to_string(seed) + "m" + std::to_string(i);
    Bytes bytes(static_cast<size_t>(i * 37 + seed), 0);
    for (size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<uint8_t>(seed * 31 + i * 7 + b);
    archive.members.push_back({name, bytes});
    archive.wideNames.push_back(testing_support::widen(name));
  }
  folder.write("a" + std::to_string(seed) + ".mgx", mgx_test::text(mgx_test::archive(archive.members)));
  return archive;
}

struct ProgressCall {
  int num, denom;
  intptr_t user;
};
// Each thread's callback records into its own list: a call that reached another thread's
// callback, or carried another thread's value, shows in the checks.
thread_local std::vector<ProgressCall> progressCalls;

int SPI_CALL recordProgress(int num, int denom, spi::UserData user) {
  progressCalls.push_back({num, denom, user});
  return 1;  // asks to stop; Durnac does not heed it
}

struct Exports {
  spi::GetArchiveInfoFn getArchiveInfo;
  spi::GetFileInfoFn getFileInfo;
  spi::GetFileFn getFile;
  spi::GetArchiveInfoWFn getArchiveInfoW;
  spi::GetFileInfoWFn getFileInfoW;
  spi::GetFileWFn getFileW;
};

// What one thread found wrong; the main thread reports it.
struct Findings {
  int faults = 0;
  std::vector<std::string> first;
  void fault(const std::string& what) {
    if (++faults <= 5) first.push_back(what);
  }
};

bool blockHolds(void* block, const Bytes& bytes) {
  return block != nullptr && LocalSize(block) == bytes.size() &&
         (bytes.empty() || std::memcmp(block, bytes.data(), bytes.size()) == 0);
}

template <typename Record>
void checkListing(const Archive& archive, void* list, bool wide, Findings& found) {
  const size_t count = archive.members.size();
  if (list == nullptr || LocalSize(list) != (count + 1) * sizeof(Record)) return found.fault("listing size");
  const auto* records = static_cast<const Record*>(list);
  for (size_t i = 0; i < count; ++i) {
    bool sameName = wide ? WideString(reinterpret_cast<const spi::ArchiveEntryInfoW*>(&records[i])->filename) ==
                               archive.wideNames[i]
                         : std::string(reinterpret_cast<const spi::ArchiveEntryInfo*>(&records[i])->filename) ==
                               archive.members[i].name;
    if (records[i].position != i || records[i].filesize != archive.members[i].bytes.size() || !sameName) {
      found.fault("record " + std::to_string(i));
    }
  }
  if (records[count].method[0] != 0) found.fault("terminator");
}

// One call of the mix: which export follows from the call's number, the member from it too.
void oneCall(const Exports& exports, const Archive& archive, int thread, int call, Findings& found) {
  const size_t count = archive.members.size();
  const uint32_t index = static_cast<uint32_t>((call * 5 + thread) % count);
  const intptr_t user = static_cast<intptr_t>(thread) * 100000 + call;
  const std::string& name = archive.members[index].name;
  progressCalls.clear();
  switch (call % 7) {
    case 0: {
      void* list = nullptr;
      if (exports.getArchiveInfo(archive.path.c_str(), 0, 0, &list) != spi::kSuccess) return found.fault("list");
      checkListing<spi::ArchiveEntryInfo>(archive, list, false, found);
      LocalFree(list);
      return;
    }
    case 1: {
      void* list = nullptr;
      if (exports.getArchiveInfoW(archive.widePath.c_str(), 0, 0, &list) != spi::kSuccess) return found.fault("listW");
      checkListing<spi::ArchiveEntryInfoW>(archive, list, true, found);
      LocalFree(list);
      return;
    }
    case 2: {
      spi::ArchiveEntryInfo record;
      std::string upper = name;
      for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      int result = exports.getFileInfo(archive.path.c_str(), 0, upper.c_str(), spi::kIgnoreCase, &record);
      if (result != spi::kSuccess || record.position != index || std::string(record.filename) != name) {
        found.fault("search " + name);
      }
      if (exports.getFileInfo(archive.path.c_str(), 0, upper.c_str(), 0, &record) != spi::kUnknownFormat) {
        found.fault("exact search " + upper);
      }
      return;
    }
    case 3: {
      spi::ArchiveEntryInfoW record;
      int result = exports.getFileInfoW(archive.widePath.c_str(), 0, archive.wideNames[index].c_str(), 0, &record);
      if (result != spi::kSuccess || record.position != index || WideString(record.filename) != archive.wideNames[index]) {
        found.fault("searchW " + name);
      }
      return;
    }
    case 4:
    case 5: {
      void* member = nullptr;
      int result = call % 7 == 4
                       ? exports.getFile(archive.path.c_str(), index, &member, 0x100, recordProgress, user)
                       : exports.getFileW(archive.widePath.c_str(), index, &member, 0x100, recordProgress, user);
      if (result != spi::kSuccess || !blockHolds(member, archive.members[index].bytes)) found.fault("member " + name);
      LocalFree(member);
      bool heard = progressCalls.size() == 2 && progressCalls[0].num == 0 && progressCalls[0].denom == 1 &&
                   progressCalls[0].user == user && progressCalls[1].num == 1 && progressCalls[1].denom == 1 &&
                   progressCalls[1].user == user;
      if (!heard) found.fault("progress of member " + name);
      return;
    }
    default: {
      void* member = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));
      int result = exports.getFileW(archive.widePath.c_str(), static_cast<intptr_t>(count), &member, 0x100,
                                    recordProgress, user);
      bool heard = progressCalls.size() == 1 && progressCalls[0].num == 0 && progressCalls[0].user == user;
      if (result != spi::kInternalError || member != reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A)) ||
          !heard) {
        found.fault("index past the end");
      }
      return;
    }
  }
}

}  // namespace

TEST(DurnacThreads, EveryExportAnswersAsAloneUnderEightThreads) {
  testing_support::PluginLibrary library("Durnac");
  ASSERT_TRUE(library.loaded());
  const Exports exports = {
      library.get<spi::GetArchiveInfoFn>("GetArchiveInfo"),   library.get<spi::GetFileInfoFn>("GetFileInfo"),
      library.get<spi::GetFileFn>("GetFile"),                 library.get<spi::GetArchiveInfoWFn>("GetArchiveInfoW"),
      library.get<spi::GetFileInfoWFn>("GetFileInfoW"),       library.get<spi::GetFileWFn>("GetFileW"),
  };
  ASSERT_TRUE(exports.getArchiveInfo && exports.getFileInfo && exports.getFile && exports.getArchiveInfoW &&
              exports.getFileInfoW && exports.getFileW);

  testing_support::TempFolder folder;
  std::vector<Archive> archives;  // 0 is shared; 1-4 belong to threads 4-7
  for (int seed = 0; seed <= kThreads - kSharedThreads; ++seed) archives.push_back(makeArchive(folder, seed));

  std::vector<Findings> findings(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const Archive& archive = archives[t < kSharedThreads ? 0 : t - kSharedThreads + 1];
      // Start together, so the calls overlap from the first.
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int call = 0; call < kCallsPerThread; ++call) oneCall(exports, archive, t, call, findings[t]);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(findings[t].faults, 0) << "thread " << t << ", first: "
                                     << (findings[t].first.empty() ? "" : findings[t].first.front());
  }
}
