// Splitting containers of 64 images of 4 MiB and of 16 images of 8 MiB, each beside `cp` of
// the same container into a fresh folder timed in the same iteration (the counter "vs_cp" is
// the split's speed over cp's), and plain read/write loops over the bytes with buffers of
// 1 MiB, 64 KiB and 512 bytes. All sources sit in the page cache after the first pass, so the
// numbers compare the work per byte, not the disk.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "converter/fcg_splitter.h"
#include "tools/fcg_writer/fcg_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class NoLog : public vantrel::MessageLog {
 public:
  void append(const char*) override {}
  void appendName(const WCHAR*) override {}
};

// One container, written once per run, and an output folder emptied between iterations.
struct Fixture {
  Fixture(int images, uint32_t imageBytes) : images(images), imageBytes(imageBytes) {
    root = fs::temp_directory_path() /
           ("vantrel-bench-converter-" + std::to_string(getpid()) + "-" + std::to_string(images));
    fs::create_directories(root / "out");
    container = (root / "container.fcg").string();
    std::vector<fcg_writer::Image> list;
    for (int i = 0; i < images; ++i) list.push_back(fcg_writer::opaqueImage(imageBytes, static_cast<uint32_t>(i)));
    std::string bytes = fcg_writer::buildContainer(list);
    containerBytes = bytes.size();
    fcg_writer::writeFile(container, bytes);
  }
  ~Fixture() {
    std::error_code error;
    fs::remove_all(root, error);
  }
  // A fresh, empty output folder.
  void emptyOutput() {
    fs::remove_all(root / "out");
    fs::create_directories(root / "out");
  }
  int64_t splitBytes() const { return int64_t{images} * (48 + imageBytes); }

  int images;
  uint32_t imageBytes;
  fs::path root;
  std::string container;
  int64_t containerBytes = 0;
};

Fixture& fixture(int images, uint32_t imageBytes) {
  static std::map<std::pair<int, uint32_t>, std::unique_ptr<Fixture>> fixtures;
  auto& slot = fixtures[{images, imageBytes}];
  if (!slot) slot = std::make_unique<Fixture>(images, imageBytes);
  return *slot;
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Arguments: image count, MiB per image.
void BM_SplitFcgFile(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)), static_cast<uint32_t>(state.range(1)) << 20);
  std::string cp = "cp '" + f.container + "' '" + (f.root / "out").string() + "/'";
  fs::path previous = fs::current_path();
  NoLog log;
  double splitSeconds = 0, cpSeconds = 0;
  for (auto _ : state) {
    f.emptyOutput();
    fs::current_path(f.root / "out");
    Clock::time_point start = Clock::now();
    if (vantrel::splitFcgFile(f.container.c_str(), log) != 0) state.SkipWithError("split failed");
    double split = secondsSince(start);
    fs::current_path(previous);
    state.SetIterationTime(split);
    splitSeconds += split;

    f.emptyOutput();
    start = Clock::now();
    if (std::system(cp.c_str()) != 0) state.SkipWithError("cp failed");
    cpSeconds += secondsSince(start);
  }
  state.SetBytesProcessed(state.iterations() * f.splitBytes());
  // Speed per byte of the split over that of cp (the container holds a few bytes more).
  state.counters["vs_cp"] = cpSeconds / static_cast<double>(f.containerBytes) /
                            (splitSeconds / static_cast<double>(f.splitBytes()));
}
BENCHMARK(BM_SplitFcgFile)->Args({64, 4})->Args({16, 8})->Unit(benchmark::kMillisecond)->UseManualTime();

// A plain read/write loop over the 64 x 4 MiB container with the given buffer size.
void BM_ReadWriteLoop(benchmark::State& state) {
  Fixture& f = fixture(64, 4u << 20);
  std::vector<char> buffer(static_cast<size_t>(state.range(0)));
  std::string target = (f.root / "out" / "copy.fcg").string();
  for (auto _ : state) {
    state.PauseTiming();
    f.emptyOutput();
    state.ResumeTiming();
    int in = open(f.container.c_str(), O_RDONLY);
    int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ssize_t got;
    while ((got = read(in, buffer.data(), buffer.size())) > 0) {
      if (write(out, buffer.data(), static_cast<size_t>(got)) != got) state.SkipWithError("write failed");
    }
    close(in);
    close(out);
  }
  state.SetBytesProcessed(state.iterations() * f.containerBytes);
}
BENCHMARK(BM_ReadWriteLoop)->Arg(1 << 20)->Arg(64 << 10)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
