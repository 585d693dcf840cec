// Splitting a container of 64 images of 4 MiB each, beside plain copies of the same bytes in
// the same run: `cp` of the container (through std::system) and read/write loops over the
// container with buffers of 1 MiB, 64 KiB and the splitter's own 512 bytes. All sources sit in
// the page cache after the first pass, so the numbers compare the work per byte, not the disk.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/fcg_splitter.h"
#include "tools/fcg_writer/fcg_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kImages = 64;
constexpr uint32_t kImageBytes = 4u << 20;

class NoLog : public vantrel::MessageLog {
 public:
  void append(const char*) override {}
};

// The container, written once per run, and an output folder emptied between iterations.
struct Fixture {
  Fixture() {
    root = fs::temp_directory_path() / ("vantrel-bench-converter-" + std::to_string(getpid()));
    fs::create_directories(root / "out");
    container = (root / "container.fcg").string();
    std::vector<fcg_writer::Image> images;
    for (int i = 0; i < kImages; ++i) images.push_back(fcg_writer::opaqueImage(kImageBytes, static_cast<uint32_t>(i)));
    std::string bytes = fcg_writer::buildContainer(images);
    containerBytes = bytes.size();
    fcg_writer::writeFile(container, bytes);
  }
  ~Fixture() {
    std::error_code error;
    fs::remove_all(root, error);
  }
  void emptyOutput() {
    for (const auto& entry : fs::directory_iterator(root / "out")) fs::remove(entry.path());
  }
  fs::path root;
  std::string container;
  uint64_t containerBytes = 0;
};

Fixture& fixture() {
  static Fixture instance;
  return instance;
}

const int64_t kSplitBytes = int64_t{kImages} * (48 + kImageBytes);  // what the split writes

void BM_SplitFcgFile(benchmark::State& state) {
  Fixture& f = fixture();
  fs::path previous = fs::current_path();
  fs::current_path(f.root / "out");
  NoLog log;
  for (auto _ : state) {
    if (vantrel::splitFcgFile(f.container.c_str(), log) != 0) state.SkipWithError("split failed");
    state.PauseTiming();
    f.emptyOutput();
    state.ResumeTiming();
  }
  fs::current_path(previous);
  state.SetBytesProcessed(state.iterations() * kSplitBytes);
}
BENCHMARK(BM_SplitFcgFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CpOfTheContainer(benchmark::State& state) {
  Fixture& f = fixture();
  std::string command = "cp '" + f.container + "' '" + (f.root / "out" / "copy.fcg").string() + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    state.PauseTiming();
    f.emptyOutput();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.containerBytes));
}
BENCHMARK(BM_CpOfTheContainer)->Unit(benchmark::kMillisecond)->UseRealTime();

// A plain read/write loop over the whole container with the given buffer size.
void BM_ReadWriteLoop(benchmark::State& state) {
  Fixture& f = fixture();
  std::vector<char> buffer(static_cast<size_t>(state.range(0)));
  std::string target = (f.root / "out" / "copy.fcg").string();
  for (auto _ : state) {
    int in = open(f.container.c_str(), O_RDONLY);
    int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ssize_t got;
    while ((got = read(in, buffer.data(), buffer.size())) > 0) {
      if (write(out, buffer.data(), static_cast<size_t>(got)) != got) state.SkipWithError("write failed");
    }
    close(in);
    close(out);
    state.PauseTiming();
    f.emptyOutput();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.containerBytes));
}
BENCHMARK(BM_ReadWriteLoop)->Arg(1 << 20)->Arg(64 << 10)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
