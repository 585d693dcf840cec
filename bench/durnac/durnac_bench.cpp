// Durnac's speed through its exports, as a host calls them:
//   ListArchive      GetArchiveInfo over an archive of 100,000 members (members/s);
//   ExtractEveryMember  GetFile of each member in turn, as a host unpacking a whole archive
//                    does, over 10,000 and over the same 100,000 members (members/s; a cost
//                    that grew with the directory would show as a lower rate for 100,000);
//   ExtractMember    GetFile of a 256 MiB member into memory (MB/s);
//   MemcpySameBytes  memcpy of the same 256 MiB in the same run, the ceiling to compare with.
// The archives are written to a temporary folder before the benchmarks run and removed after.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tools/mgx_writer/mgx_writer.h"

namespace {

constexpr uint32_t kListedMembers = 100000;
constexpr uint32_t kListedMemberSize = 16;
constexpr uint64_t kLargeMember = 256ull << 20;

struct Setup {
  std::filesystem::path folder;
  std::string listArchive;
  std::string smallerArchive;  // a tenth of the members, to show how extraction scales
  std::string largeArchive;
  void* library = nullptr;
  spi::GetArchiveInfoFn getArchiveInfo = nullptr;
  spi::GetFileFn getFile = nullptr;
  std::vector<uint8_t> largeBytes;  // the large member's bytes, for the memcpy baseline
} setup;

std::string executableFolder() {
  char path[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string s(path, n > 0 ? static_cast<size_t>(n) : 0);
  return s.substr(0, s.find_last_of('/') + 1);
}

bool writeArchive(const std::string& path, const std::vector<mgx_writer::MemberPlan>& plans,
                  const std::vector<uint8_t>& data) {
  std::vector<uint8_t> head;
  std::string error;
  if (!mgx_writer::planArchive(plans, head, error)) {
    std::fprintf(stderr, "cannot plan %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

bool prepare() {
  setup.folder = std::filesystem::temp_directory_path() / ("durnac-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(setup.folder);
  setup.listArchive = (setup.folder / "many.mgx").string();
  setup.largeArchive = (setup.folder / "large.mgx").string();

  setup.smallerArchive = (setup.folder / "smaller.mgx").string();
  for (uint32_t count : {kListedMembers, kListedMembers / 10}) {
    std::vector<mgx_writer::MemberPlan> many;
    many.reserve(count);
    for (uint32_t i = 0; i < count; ++i) many.push_back({"m" + std::to_string(1000000 + i), kListedMemberSize});
    const std::string& path = count == kListedMembers ? setup.listArchive : setup.smallerArchive;
    if (!writeArchive(path, many, std::vector<uint8_t>(uint64_t{count} * kListedMemberSize, 'x'))) return false;
  }
  setup.largeBytes.resize(kLargeMember);
  for (size_t i = 0; i < setup.largeBytes.size(); ++i) setup.largeBytes[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
  if (!writeArchive(setup.largeArchive, {{"large.bin", kLargeMember}}, setup.largeBytes)) return false;

  setup.library = dlopen((executableFolder() + "Durnac.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (setup.library == nullptr) {
    std::fprintf(stderr, "cannot load Durnac.so: %s\n", dlerror());
    return false;
  }
  setup.getArchiveInfo = reinterpret_cast<spi::GetArchiveInfoFn>(dlsym(setup.library, "GetArchiveInfo"));
  setup.getFile = reinterpret_cast<spi::GetFileFn>(dlsym(setup.library, "GetFile"));
  return setup.getArchiveInfo != nullptr && setup.getFile != nullptr;
}

void cleanUp() {
  if (setup.library != nullptr) dlclose(setup.library);
  std::error_code ignored;
  std::filesystem::remove_all(setup.folder, ignored);
}

void ListArchive(benchmark::State& state) {
  for (auto _ : state) {
    void* list = nullptr;
    if (setup.getArchiveInfo(setup.listArchive.c_str(), 0, 0, &list) != spi::kSuccess) {
      state.SkipWithError("GetArchiveInfo failed");
      break;
    }
    benchmark::DoNotOptimize(list);
    LocalFree(list);
  }
  state.SetItemsProcessed(state.iterations() * kListedMembers);
  state.counters["members/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kListedMembers,
                                                   benchmark::Counter::kIsRate);
}

// The argument is the archive's member count; the rate per member stays the same when the
// cost of one extraction does not grow with the archive.
void ExtractEveryMember(benchmark::State& state) {
  const uint32_t count = static_cast<uint32_t>(state.range(0));
  const std::string& archive = count == kListedMembers ? setup.listArchive : setup.smallerArchive;
  for (auto _ : state) {
    for (uint32_t index = 0; index < count; ++index) {
      void* member = nullptr;
      if (setup.getFile(archive.c_str(), index, &member, 0x100, nullptr, 0) != spi::kSuccess) {
        state.SkipWithError("GetFile failed");
        return;
      }
      benchmark::DoNotOptimize(member);
      LocalFree(member);
    }
  }
  state.counters["members/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * count, benchmark::Counter::kIsRate);
}

void reportMegabytes(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeMember));
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLargeMember / 1e6,
                                              benchmark::Counter::kIsRate);
}

void ExtractMember(benchmark::State& state) {
  for (auto _ : state) {
    void* member = nullptr;
    if (setup.getFile(setup.largeArchive.c_str(), 0, &member, 0x100, nullptr, 0) != spi::kSuccess) {
      state.SkipWithError("GetFile failed");
      break;
    }
    benchmark::DoNotOptimize(member);
    LocalFree(member);
  }
  reportMegabytes(state);
}

void MemcpySameBytes(benchmark::State& state) {
  std::vector<uint8_t> target(kLargeMember, 0);
  for (auto _ : state) {
    std::memcpy(target.data(), setup.largeBytes.data(), kLargeMember);
    benchmark::ClobberMemory();
  }
  reportMegabytes(state);
}

BENCHMARK(ListArchive)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ExtractEveryMember)->Arg(kListedMembers / 10)->Arg(kListedMembers)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(ExtractMember)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MemcpySameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bool ready = prepare();
  if (ready) benchmark::RunSpecifiedBenchmarks();
  cleanUp();
  benchmark::Shutdown();
  return ready ? 0 : 1;
}
