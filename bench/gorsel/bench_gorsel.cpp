// Gorsel's GetPicture on 2048 x 2048 pictures written by the GGD picture writer: three
// generated photographs (smooth light, edges, texture, grain: a dense mix of short literals,
// runs and copies) and a flat-coloured picture, from memory and from a file. Beside each, in
// the same run, the anchors: LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT) of the bitmap's size and
// memcpy of its bytes ("alloc+copy"), and lz4 decompression of the same bitmap. Each figure
// is MB of bitmap per second of this thread's processor time; x_alloc_copy and x_lz4 are the
// ratios to the anchors, timed in the same benchmark just before it.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <lz4.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ggd_image_plugin/ggd_picture.h"
#include "platform/win32.h"
#include "tests/common/temp_folder.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

namespace {

using ggd_picture_writer::SamplePattern;

constexpr int kSide = 2048;
constexpr size_t kBitmapBytes = size_t{kSide} * kSide * 3;  // stride 6144: no padding

// One picture: its GGD file in memory and on disk, its bitmap, and the bitmap under lz4.
struct Picture {
  std::vector<uint8_t> file;
  std::string path;
  std::vector<uint8_t> bitmap;
  std::vector<char> lz4;
};

const testing_support::TempFolder& folder() {
  static testing_support::TempFolder folder;
  return folder;
}

const Picture& picture(SamplePattern pattern) {
  static std::map<SamplePattern, Picture> pictures;
  Picture& p = pictures[pattern];
  if (p.file.empty()) {
    const std::vector<uint8_t> pixels = ggd_picture_writer::makeSamplePicture(pattern, kSide, kSide);
    p.file = ggd_picture_writer::encodeGgdPicture(kSide, kSide, pixels.data());
    const std::string name = "picture" + std::to_string(static_cast<int>(pattern)) + ".ggd";
    folder().write(name, std::string(p.file.begin(), p.file.end()));
    p.path = folder().path(name);
    // The bitmap is the picture's rows bottom-up; its bytes are what every anchor moves.
    p.bitmap.resize(kBitmapBytes);
    const size_t row = size_t{kSide} * 3;
    for (int r = 0; r < kSide; ++r) std::memcpy(&p.bitmap[(kSide - 1 - r) * row], &pixels[r * row], row);
    p.lz4.resize(static_cast<size_t>(LZ4_compressBound(static_cast<int>(kBitmapBytes))));
    const int packed = LZ4_compress_default(reinterpret_cast<const char*>(p.bitmap.data()), p.lz4.data(),
                                            static_cast<int>(kBitmapBytes), static_cast<int>(p.lz4.size()));
    p.lz4.resize(static_cast<size_t>(std::max(packed, 0)));
  }
  return p;
}

// The processor time the work took on this thread, page faults included: on a machine that
// other work keeps busy, wall-clock time would count the waits for a processor too.
double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double seconds(const std::function<void()>& work) {
  const double start = threadSeconds();
  work();
  return threadSeconds() - start;
}

double medianSeconds(const std::function<void()>& work, int runs = 7) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(seconds(work));
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The anchors.
void allocAndCopy(const Picture& p) {
  void* block = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, kBitmapBytes);
  std::memcpy(block, p.bitmap.data(), kBitmapBytes);
  benchmark::DoNotOptimize(block);
  benchmark::ClobberMemory();
  LocalFree(block);
}

void lz4Decompress(const Picture& p, std::vector<char>& into) {
  benchmark::DoNotOptimize(
      LZ4_decompress_safe(p.lz4.data(), into.data(), static_cast<int>(p.lz4.size()), static_cast<int>(into.size())));
  benchmark::ClobberMemory();
}

// Gorsel.so beside this program, loaded as a host loads it.
spi::GetPictureFn loadGetPicture() {
  static void* library = nullptr;
  if (library == nullptr) {
    char path[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string folder(path, n > 0 ? static_cast<size_t>(n) : 0);
    folder = folder.substr(0, folder.find_last_of('/') + 1);
    library = dlopen((folder + "Gorsel.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  return library ? reinterpret_cast<spi::GetPictureFn>(dlsym(library, "GetPicture")) : nullptr;
}

void setRate(benchmark::State& state, double secondsEach) {
  state.counters["bitmap_MB/s"] = static_cast<double>(kBitmapBytes) / 1e6 / secondsEach;
}

// GetPicture, as a host calls it: fresh blocks every time, freed after.
void getPicture(benchmark::State& state, SamplePattern pattern, bool fromFile) {
  const Picture& p = picture(pattern);
  spi::GetPictureFn get = loadGetPicture();
  if (get == nullptr) {
    state.SkipWithError("Gorsel.so not found");
    return;
  }
  std::vector<char> lz4Out(kBitmapBytes);
  const double allocCopy = medianSeconds([&] { allocAndCopy(p); });
  const double lz4 = medianSeconds([&] { lz4Decompress(p, lz4Out); });
  double total = 0;
  int64_t calls = 0;
  for (auto _ : state) {
    void* info = nullptr;
    void* bits = nullptr;
    total += seconds([&] {
      const int code = fromFile ? get(p.path.c_str(), 0, 0, &info, &bits, nullptr, 0)
                                : get(reinterpret_cast<const char*>(p.file.data()), static_cast<intptr_t>(p.file.size()),
                                      spi::kInputMemory, &info, &bits, nullptr, 0);
      benchmark::DoNotOptimize(code);
      LocalFree(info);
      LocalFree(bits);
    });
    ++calls;
  }
  const double each = total / static_cast<double>(std::max<int64_t>(calls, 1));
  setRate(state, each);
  state.counters["file_MB"] = static_cast<double>(p.file.size()) / 1e6;
  state.counters["x_alloc_copy"] = allocCopy / each;
  state.counters["x_lz4"] = lz4 / each;
}

// The anchors on their own, for their absolute figures.
void anchorAllocCopy(benchmark::State& state, SamplePattern pattern) {
  const Picture& p = picture(pattern);
  double total = 0;
  for (auto _ : state) total += seconds([&] { allocAndCopy(p); });
  setRate(state, total / static_cast<double>(state.iterations()));
}

void anchorLz4(benchmark::State& state, SamplePattern pattern) {
  const Picture& p = picture(pattern);
  std::vector<char> into(kBitmapBytes);
  double total = 0;
  for (auto _ : state) total += seconds([&] { lz4Decompress(p, into); });
  setRate(state, total / static_cast<double>(state.iterations()));
  state.counters["lz4_MB"] = static_cast<double>(p.lz4.size()) / 1e6;
}

void registerAll() {
  for (const auto& pic : ggd_picture_writer::kBenchmarkPictures) {
    const std::string name = pic.name;
    const SamplePattern pattern = pic.pattern;
    benchmark::RegisterBenchmark(("AllocCopy/" + name).c_str(), [pattern](benchmark::State& s) {
      anchorAllocCopy(s, pattern);
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark(("Lz4Decompress/" + name).c_str(), [pattern](benchmark::State& s) {
      anchorLz4(s, pattern);
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark(("GetPictureMemory/" + name).c_str(), [pattern](benchmark::State& s) {
      getPicture(s, pattern, false);
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark(("GetPictureFile/" + name).c_str(), [pattern](benchmark::State& s) {
      getPicture(s, pattern, true);
    })->Unit(benchmark::kMillisecond)->UseRealTime();
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
