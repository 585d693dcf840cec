// Decoding speed of Gorsel on 4096 x 4096 pictures written by the GGD picture writer: one
// photo-like (literal runs and short copies), one flat-coloured (repeats and row copies).
// Each figure is MB of bitmap per second, beside a memcpy of the same bytes in the same run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "ggd_image_plugin/ggd_picture.h"
#include "platform/win32.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

namespace {

using ggd_picture_writer::SamplePattern;

constexpr int kSide = 4096;
constexpr size_t kBitmapBytes = size_t{kSide} * kSide * 3;  // stride 12288: no padding

const std::vector<uint8_t>& encoded(SamplePattern pattern) {
  static std::vector<uint8_t> files[2];
  std::vector<uint8_t>& file = files[pattern == SamplePattern::kFlat ? 1 : 0];
  if (file.empty()) {
    std::vector<uint8_t> pixels = ggd_picture_writer::makeSamplePicture(pattern, kSide, kSide);
    file = ggd_picture_writer::encodeGgdPicture(kSide, kSide, pixels.data());
  }
  return file;
}

void setRates(benchmark::State& state, const std::vector<uint8_t>* file) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBitmapBytes));
  state.counters["bitmap_MB/s"] = benchmark::Counter(static_cast<double>(kBitmapBytes) / 1e6,
                                                     benchmark::Counter::kIsIterationInvariantRate);
  if (file) state.counters["file_MB"] = static_cast<double>(file->size()) / 1e6;
}

// The decoder alone, into a block allocated once (as the host's block would be); the
// decoder writes every byte of it.
void decodeInto(benchmark::State& state, SamplePattern pattern) {
  const std::vector<uint8_t>& file = encoded(pattern);
  const uint8_t* cursor = file.data();
  int64_t available = static_cast<int64_t>(file.size());
  gorsel::GgdPictureHeader header{};
  if (gorsel::CheckGgdPicture(&cursor, &available, &header) != 0) {
    state.SkipWithError("the writer's picture was refused");
    return;
  }
  std::vector<uint8_t> bits(kBitmapBytes, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        gorsel::DecodeGgdPixels(header, gorsel::GgdStride(header), cursor, available, bits.data(), gorsel::kNoProgress));
    benchmark::ClobberMemory();
  }
  setRates(state, &file);
}

typedef int (*GetPictureFn)(const char*, intptr_t, unsigned int, void**, void**, spi::ProgressCallback, intptr_t);

// Gorsel.so beside this program, loaded as a host loads it.
GetPictureFn loadGetPicture() {
  static void* library = nullptr;
  if (library == nullptr) {
    char path[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string folder(path, n > 0 ? static_cast<size_t>(n) : 0);
    folder = folder.substr(0, folder.find_last_of('/') + 1);
    library = dlopen((folder + "Gorsel.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  return library ? reinterpret_cast<GetPictureFn>(dlsym(library, "GetPicture")) : nullptr;
}

// The whole GetPicture export over memory input: fresh zero-filled blocks every time.
void getPicture(benchmark::State& state, SamplePattern pattern) {
  const std::vector<uint8_t>& file = encoded(pattern);
  GetPictureFn get = loadGetPicture();
  if (get == nullptr) {
    state.SkipWithError("Gorsel.so not found");
    return;
  }
  for (auto _ : state) {
    void* info = nullptr;
    void* bits = nullptr;
    benchmark::DoNotOptimize(get(reinterpret_cast<const char*>(file.data()), static_cast<intptr_t>(file.size()),
                                 spi::kInputMemory, &info, &bits, nullptr, 0));
    LocalFree(info);
    LocalFree(bits);
  }
  setRates(state, &file);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> from(kBitmapBytes, 1), to(kBitmapBytes, 0);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kBitmapBytes);
    benchmark::ClobberMemory();
  }
  setRates(state, nullptr);
}

// The reference for the GetPicture figures: the same bytes copied into a fresh zero-filled
// local block, which the system has to map page by page as it is first written.
void BM_MemcpyIntoFreshBlock(benchmark::State& state) {
  std::vector<uint8_t> from(kBitmapBytes, 1);
  for (auto _ : state) {
    void* to = LocalAlloc(LPTR, kBitmapBytes);
    std::memcpy(to, from.data(), kBitmapBytes);
    benchmark::ClobberMemory();
    LocalFree(to);
  }
  setRates(state, nullptr);
}

void BM_DecodePhoto(benchmark::State& state) { decodeInto(state, SamplePattern::kPhoto); }
void BM_DecodeFlat(benchmark::State& state) { decodeInto(state, SamplePattern::kFlat); }
void BM_GetPicturePhoto(benchmark::State& state) { getPicture(state, SamplePattern::kPhoto); }
void BM_GetPictureFlat(benchmark::State& state) { getPicture(state, SamplePattern::kFlat); }

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyIntoFreshBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFlat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPicturePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPictureFlat)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
