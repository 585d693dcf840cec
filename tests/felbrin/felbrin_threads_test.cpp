// Felbrin called from many threads at once, as viewers that read archives on several threads
// do: every export in a mix, on the same archive and on different ones, with callbacks that
// stop and callbacks that do not. Each call must give what the same call gives alone, and
// report to its own callback with its own user value only.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/temp_folder.h"
#include "tests/felbrin/felbrin_host.h"

namespace {

using namespace felbrin_test;
using testing_support::TempFolder;
using Reports = std::vector<std::pair<int, int>>;

constexpr int kThreads = 8;
constexpr int kRounds = 40;

// One archive of the test, and what each of its members must look like.
struct Archive {
  std::string path;
  WideString widePath;
  std::vector<ggd_archive_writer::Member> members;
  std::vector<intptr_t> positions;
};

Archive makeArchive(const TempFolder& folder, const std::string& name, unsigned seed) {
  Archive archive;
  // A member over one piece, so that folder copies report twice.
  archive.members = {{"M1.BIN", pattern(70000, seed)}, {"m2.txt", pattern(100, seed + 1)}, {"M3", pattern(8, seed + 2)}};
  folder.write(name, archiveOf(archive.members));
  archive.path = folder.path(name);
  archive.widePath = widePath(folder.root() / name);
  intptr_t position = 2 + 16 * static_cast<intptr_t>(archive.members.size() + 1);
  for (const auto& member : archive.members) {
    archive.positions.push_back(position);
    position += static_cast<intptr_t>(member.bytes.size());
  }
  return archive;
}

// The progress callback of one call: it records what it is told, checks that the user value
// is its own, and asks to stop at once when `stop` is set.
struct CallLog {
  Reports reports;
  bool stop = false;
  static int SPI_CALL report(int done, int total, spi::UserData user) {
    CallLog* log = reinterpret_cast<CallLog*>(user);
    log->reports.emplace_back(done, total);
    return log->stop ? 1 : 0;
  }
};

// One thread's work: a mix of exports over the archives; every mismatch becomes a line.
struct Worker {
  Felbrin* felbrin;
  const std::vector<Archive>* archives;
  std::string folder;  // this thread's own output folder, ending in a separator
  WideString wideFolder;
  int id;
  std::vector<std::string> faults;

  void fault(int round, const std::string& what) {
    faults.push_back("thread " + std::to_string(id) + " round " + std::to_string(round) + ": " + what);
  }

  void listing(int round, const Archive& a, bool wide) {
    void* list = nullptr;
    const int result = wide ? felbrin->GetArchiveInfoW(a.widePath.c_str(), 0, 0, &list)
                            : felbrin->GetArchiveInfo(a.path.c_str(), 0, 0, &list);
    if (result != 0 || list == nullptr) return fault(round, "listing answered " + std::to_string(result));
    for (size_t j = 0; j <= a.members.size(); ++j) {
      const bool end = j == a.members.size();
      std::string name;
      intptr_t position;
      size_t size;
      if (wide) {
        const auto& e = static_cast<const spi::ArchiveEntryInfoW*>(list)[j];
        for (const WideChar* c = e.filename; *c != 0; ++c) name.push_back(static_cast<char>(*c));
        position = static_cast<intptr_t>(e.position);
        size = static_cast<size_t>(e.filesize);
        if ((e.method[0] == 0) != end) fault(round, "list length");
      } else {
        const auto& e = static_cast<const spi::ArchiveEntryInfo*>(list)[j];
        name = e.filename;
        position = static_cast<intptr_t>(e.position);
        size = static_cast<size_t>(e.filesize);
        if ((e.method[0] == 0) != end) fault(round, "list length");
      }
      if (end) break;
      if (name != a.members[j].name || position != a.positions[j] || size != a.members[j].bytes.size()) {
        fault(round, "record " + std::to_string(j) + " is " + name);
      }
    }
    LocalFree(list);
  }

  void search(int round, const Archive& a, size_t j) {
    spi::ArchiveEntryInfo info;
    std::string lower = a.members[j].name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const int result = felbrin->GetFileInfo(a.path.c_str(), 0, lower.c_str(), spi::kIgnoreCase, &info);
    if (result != 0 || info.filename != a.members[j].name || static_cast<intptr_t>(info.position) != a.positions[j]) {
      fault(round, "search answered " + std::to_string(result));
    }
  }

  void toMemory(int round, const Archive& a, size_t j, bool wide, bool stop) {
    CallLog log;
    log.stop = stop;
    HLOCAL member = nullptr;
    const intptr_t user = reinterpret_cast<intptr_t>(&log);
    const int result =
        wide ? felbrin->GetFileW(a.widePath.c_str(), a.positions[j], reinterpret_cast<WideChar*>(&member), kMemoryOut,
                                 &CallLog::report, user)
             : felbrin->GetFile(a.path.c_str(), a.positions[j], reinterpret_cast<char*>(&member), kMemoryOut,
                                &CallLog::report, user);
    if (result != (stop ? 1 : 0)) fault(round, "to memory answered " + std::to_string(result));
    if (log.reports != Reports{{0, 1}}) fault(round, "to memory reported " + std::to_string(log.reports.size()));
    if (!stop && (member == nullptr || std::string(static_cast<const char*>(member), LocalSize(member)) != a.members[j].bytes)) {
      fault(round, "to memory handed over other bytes");
    }
    if (stop && member != nullptr) fault(round, "a stopped call handed a block over");
    LocalFree(member);
  }

  void toFolder(int round, const Archive& a, size_t j, bool wide, bool stop) {
    CallLog log;
    log.stop = stop;
    const intptr_t user = reinterpret_cast<intptr_t>(&log);
    std::string dest = folder;
    WideString wideDest = wideFolder;
    const int result = wide ? felbrin->GetFileW(a.widePath.c_str(), a.positions[j], &wideDest[0], 0, &CallLog::report, user)
                            : felbrin->GetFile(a.path.c_str(), a.positions[j], &dest[0], 0, &CallLog::report, user);
    const std::string& bytes = a.members[j].bytes;
    const int total = static_cast<int>(bytes.size());
    Reports expected = {{0, total}};
    if (!stop && bytes.size() > 65520) expected.emplace_back(65520, total);
    if (result != (stop ? 1 : 0)) fault(round, "to a folder answered " + std::to_string(result));
    if (log.reports != expected) fault(round, "to a folder reported " + std::to_string(log.reports.size()));
    const std::string written = readFile(folder + a.members[j].name);
    if (written != (stop ? std::string() : bytes)) fault(round, "to a folder wrote other bytes");
  }

  void run() {
    for (int round = 0; round < kRounds; ++round) {
      // Even threads share the first archive; odd threads alternate between both.
      const Archive& a = (*archives)[(id % 2 == 0) ? 0 : static_cast<size_t>(round % 2)];
      const size_t j = static_cast<size_t>(round + id) % a.members.size();
      const bool stop = (round + id) % 3 == 0;
      switch ((round + id) % 6) {
        case 0: listing(round, a, false); break;
        case 1: listing(round, a, true); break;
        case 2: search(round, a, j); break;
        case 3: toMemory(round, a, j, round % 2 == 1, stop); break;
        case 4: toFolder(round, a, j, round % 2 == 1, stop); break;
        case 5: {
          // The memory listing empties the cache under the others' feet.
          const std::string bytes = archiveOf(a.members);
          void* list = nullptr;
          if (felbrin->GetArchiveInfo(bytes.data(), static_cast<intptr_t>(bytes.size()), kMemoryIn, &list) != 0) {
            fault(round, "memory listing failed");
          }
          LocalFree(list);
          break;
        }
      }
    }
  }
};

TEST(FelbrinThreads, ManyCallsAtOnceAnswerAsAlone) {
  Felbrin felbrin;
  ASSERT_TRUE(felbrin.complete());
  TempFolder folder;
  const std::vector<Archive> archives = {makeArchive(folder, "a.ggd", 1), makeArchive(folder, "b.ggd", 50)};
  std::vector<Worker> workers;
  for (int id = 0; id < kThreads; ++id) {
    const std::string name = "out" + std::to_string(id);
    folder.makeFolder(name);
    workers.push_back({&felbrin, &archives, folderPath(folder.path(name)), wideFolderPath(folder.root() / name), id, {}});
  }
  std::vector<std::thread> threads;
  for (Worker& worker : workers) threads.emplace_back([&worker] { worker.run(); });
  for (std::thread& thread : threads) thread.join();
  for (const Worker& worker : workers) {
    for (const std::string& f : worker.faults) ADD_FAILURE() << f;
  }
}

}  // namespace
