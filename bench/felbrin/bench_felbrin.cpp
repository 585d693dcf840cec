// Felbrin through its exports, as a host calls it: listing an archive with a full directory
// (2,000 members) from the file and from the cache, in both export families (the Unicode
// listing converts the cached ANSI list on every call); a small member to memory with the
// listing cached (the host's GetFile per member); and extracting a 256 MiB member to a file
// next to two anchors on the same bytes: `cp`, and a plain ReadFile + WriteFile loop in
// 65520-byte pieces. The archives are written to a temporary folder first.
// FELBRIN_LIBRARY names another build of the plug-in to measure (the default is the one
// beside this program), so that two builds can be compared against the same anchors.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tools/ggd_archive_writer/ggd_archive_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kListMembers = 2000;
constexpr uint64_t kBigMemberBytes = 256ull << 20;

struct Setup {
  fs::path folder;
  std::string listArchive, bigArchive, bigRaw, outFolder;
  intptr_t bigPosition = 0;
  void* library = nullptr;
  spi::GetArchiveInfoFn GetArchiveInfo = nullptr;
  spi::GetArchiveInfoWFn GetArchiveInfoW = nullptr;
  spi::GetFileFn GetFile = nullptr;
};
Setup gSetup;

std::string executableFolder() {
  char path[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string s(path, n > 0 ? static_cast<size_t>(n) : 0);
  return s.substr(0, s.find_last_of('/') + 1);
}

// Writes the head, then the member's bytes in pieces, and the same bytes alone for `cp`.
bool writeBigArchive() {
  std::string head, error;
  if (!ggd_archive_writer::encodeHead({{"BIG.BIN", kBigMemberBytes}}, &head, &error)) return false;
  gSetup.bigPosition = static_cast<intptr_t>(head.size());
  std::ofstream archive(gSetup.bigArchive, std::ios::binary), raw(gSetup.bigRaw, std::ios::binary);
  archive.write(head.data(), static_cast<std::streamsize>(head.size()));
  std::vector<char> piece(1 << 20);
  for (uint64_t done = 0; done < kBigMemberBytes; done += piece.size()) {
    for (size_t i = 0; i < piece.size(); i += 4096) piece[i] = static_cast<char>((done + i) >> 12);
    archive.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    raw.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }
  return static_cast<bool>(archive) && static_cast<bool>(raw);
}

bool writeListArchive() {
  std::vector<ggd_archive_writer::Member> members;
  for (size_t j = 0; j < kListMembers; ++j) {
    char name[16];
    std::snprintf(name, sizeof name, "M%04zu.BIN", j);
    members.push_back({name, std::string(64, static_cast<char>(j))});
  }
  std::string archive, error;
  if (!ggd_archive_writer::buildArchive(members, &archive, &error)) return false;
  std::ofstream(gSetup.listArchive, std::ios::binary).write(archive.data(), static_cast<std::streamsize>(archive.size()));
  return true;
}

bool setUp() {
  gSetup.folder = fs::temp_directory_path() / ("felbrin-bench-" + std::to_string(getpid()));
  fs::create_directories(gSetup.folder / "out");
  gSetup.listArchive = (gSetup.folder / "list.ggd").string();
  gSetup.bigArchive = (gSetup.folder / "big.ggd").string();
  gSetup.bigRaw = (gSetup.folder / "big.raw").string();
  gSetup.outFolder = (gSetup.folder / "out").string() + "/";
  const char* other = std::getenv("FELBRIN_LIBRARY");
  const std::string library = other != nullptr ? std::string(other) : executableFolder() + "Felbrin.so";
  gSetup.library = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (gSetup.library == nullptr) return false;
  gSetup.GetArchiveInfo = reinterpret_cast<spi::GetArchiveInfoFn>(dlsym(gSetup.library, "GetArchiveInfo"));
  gSetup.GetArchiveInfoW = reinterpret_cast<spi::GetArchiveInfoWFn>(dlsym(gSetup.library, "GetArchiveInfoW"));
  gSetup.GetFile = reinterpret_cast<spi::GetFileFn>(dlsym(gSetup.library, "GetFile"));
  return gSetup.GetArchiveInfo && gSetup.GetArchiveInfoW && gSetup.GetFile && writeListArchive() && writeBigArchive();
}

// A memory listing empties the cache.
void dropCache() {
  void* none = nullptr;
  gSetup.GetArchiveInfo("", 0, spi::kInputMemory, &none);
}

void listOnce(benchmark::State& state) {
  void* list = nullptr;
  if (gSetup.GetArchiveInfo(gSetup.listArchive.c_str(), 0, 0, &list) != 0) state.SkipWithError("listing failed");
  LocalFree(list);
}

void BM_ListFromFile(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    dropCache();
    state.ResumeTiming();
    listOnce(state);
  }
  state.counters["members"] = kListMembers;
}
BENCHMARK(BM_ListFromFile)->Unit(benchmark::kMicrosecond);

void BM_ListFromCache(benchmark::State& state) {
  dropCache();
  listOnce(state);
  for (auto _ : state) listOnce(state);
  state.counters["members"] = kListMembers;
}
BENCHMARK(BM_ListFromCache)->Unit(benchmark::kMicrosecond);

void BM_ListFromCacheW(benchmark::State& state) {
  const std::u16string path = fs::path(gSetup.listArchive).u16string();
  const std::basic_string<spi::WideChar> wide(path.begin(), path.end());
  dropCache();
  listOnce(state);  // filled by the ANSI family, answered to the Unicode one
  for (auto _ : state) {
    void* list = nullptr;
    if (gSetup.GetArchiveInfoW(wide.c_str(), 0, 0, &list) != 0) state.SkipWithError("listing failed");
    LocalFree(list);
  }
  state.counters["members"] = kListMembers;
}
BENCHMARK(BM_ListFromCacheW)->Unit(benchmark::kMicrosecond);

// GetFile of one 64-byte member to memory, the listing already cached: what a host pays per
// member after GetArchiveInfo.
void BM_GetFileCachedToMemory(benchmark::State& state) {
  dropCache();
  listOnce(state);
  void* list = nullptr;
  gSetup.GetArchiveInfo(gSetup.listArchive.c_str(), 0, 0, &list);
  const intptr_t position = static_cast<intptr_t>(static_cast<const spi::ArchiveEntryInfo*>(list)[1000].position);
  LocalFree(list);
  for (auto _ : state) {
    HLOCAL member = nullptr;
    if (gSetup.GetFile(gSetup.listArchive.c_str(), position, reinterpret_cast<char*>(&member), 0x100, nullptr, 0) !=
        0) {
      state.SkipWithError("extraction failed");
    }
    LocalFree(member);
  }
}
BENCHMARK(BM_GetFileCachedToMemory)->Unit(benchmark::kMicrosecond);

void reportRate(benchmark::State& state) {
  const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(kBigMemberBytes);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

void BM_ExtractToFile(benchmark::State& state) {
  std::string dest = gSetup.outFolder;
  for (auto _ : state) {
    if (gSetup.GetFile(gSetup.bigArchive.c_str(), gSetup.bigPosition, &dest[0], 0, nullptr, 0) != 0) {
      state.SkipWithError("extraction failed");
    }
  }
  reportRate(state);
  // The process's peak resident memory so far: a member read whole shows up here.
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ExtractToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CpSameBytes(benchmark::State& state) {
  const std::string command = "cp '" + gSetup.bigRaw + "' '" + gSetup.outFolder + "copy.bin'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
  }
  reportRate(state);
}
BENCHMARK(BM_CpSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The anchor for the extraction: the member's bytes copied through the same calls in the
// same pieces, with one 65520-byte buffer.
void BM_ReadWriteLoopSameBytes(benchmark::State& state) {
  const std::string target = gSetup.outFolder + "loop.bin";
  std::vector<char> piece(65520);
  for (auto _ : state) {
    HANDLE in = CreateFileA(gSetup.bigRaw.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE out = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD got = 0, put = 0;
    uint64_t copied = 0;
    while (ReadFile(in, piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr) && got > 0 &&
           WriteFile(out, piece.data(), got, &put, nullptr) && put == got) {
      copied += got;
    }
    CloseHandle(in);
    CloseHandle(out);
    if (copied != kBigMemberBytes) state.SkipWithError("copy failed");
  }
  reportRate(state);
}
BENCHMARK(BM_ReadWriteLoopSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!setUp()) {
    std::fprintf(stderr, "bench_felbrin: cannot prepare the archives in %s\n", gSetup.folder.string().c_str());
    std::error_code ignored;
    fs::remove_all(gSetup.folder, ignored);
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  dlclose(gSetup.library);
  std::error_code ignored;
  fs::remove_all(gSetup.folder, ignored);
  return 0;
}
