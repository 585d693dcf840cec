// Speed of Oslin on 2048 x 2048 pictures written by the GGA writer: four procedural
// photographs (a dense mix of short literals, runs and copies), a grainy ramp (almost all
// literals) and a flat-coloured picture (long runs and copies). Every figure is MB of
// bitmap per second, and every iteration also times, on the same bitmap, the two anchors
// it is judged against, so drift on a shared machine touches both sides alike:
//
//   GetPicture/<picture>/<memory|file>  the whole call (input, decoder, fresh zero-filled
//       blocks, decoding); anchors: LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT) + memcpy of the
//       bitmap's bytes, and lz4 decompression of the same bitmap into such a fresh block.
//   Decode/<picture>  the decoder alone into a bitmap that is already mapped; anchors:
//       memcpy of the bitmap and lz4 decompression, both into an already mapped block.
//
// Counters: anchor speeds in MB/s and "x_<anchor>" = our speed / the anchor's speed, by the
// wall clock and ("_cpu") by the thread's processor time.
// Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only=true for medians.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gga_plugin/gga_decoder.h"
#include "gga_plugin/picture_job.h"
#include "platform/win32.h"
#include "support/call_frame.h"
#include "support/image_decoder.h"
#include "support/streams.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/photographs.h"
#include "tools/gga_writer/test_pictures.h"

namespace {

constexpr uint32_t kSide = 2048;
constexpr size_t kBitmapBytes = size_t{kSide} * kSide * 4;
constexpr UINT kHostBlockFlags = LMEM_FIXED | LMEM_ZEROINIT;

// Each span is timed by the wall clock and by the thread's processor time (user and kernel:
// page faults count). On a shared machine other programs lengthen the first, not the second.
struct Stopwatch {
  Stopwatch() { restart(); }
  void restart() {
    wall = std::chrono::steady_clock::now();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  }
  double wallSeconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(); }
  double cpuSeconds() const {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec - cpu.tv_sec) + static_cast<double>(now.tv_nsec - cpu.tv_nsec) * 1e-9;
  }
  std::chrono::steady_clock::time_point wall;
  timespec cpu;
};

struct Picture {
  std::string name;
  std::vector<uint8_t> file;    // the GGA file
  std::vector<uint8_t> bitmap;  // what GetPicture hands over: the rows bottom-up
  std::vector<char> lz4;        // the bitmap compressed by lz4
  std::string path;             // the GGA file on disk
};

std::unique_ptr<Picture> makePicture(const std::string& name, const std::vector<uint8_t>& pixels) {
  auto picture = std::make_unique<Picture>();
  picture->name = name;
  gga_writer::encodeGga(pixels.data(), kSide, kSide, picture->file);
  const size_t stride = size_t{kSide} * 4;
  picture->bitmap.resize(kBitmapBytes);
  for (uint32_t row = 0; row < kSide; ++row)
    std::memcpy(picture->bitmap.data() + (kSide - 1 - row) * stride, pixels.data() + row * stride, stride);
  picture->lz4.resize(static_cast<size_t>(LZ4_compressBound(static_cast<int>(kBitmapBytes))));
  picture->lz4.resize(static_cast<size_t>(LZ4_compress_default(reinterpret_cast<const char*>(picture->bitmap.data()),
                                                               picture->lz4.data(), static_cast<int>(kBitmapBytes),
                                                               static_cast<int>(picture->lz4.size()))));
  char path[] = "/tmp/bench_oslin_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0 || write(fd, picture->file.data(), picture->file.size()) != static_cast<ssize_t>(picture->file.size()))
    std::abort();
  close(fd);
  picture->path = path;
  std::fprintf(stderr, "%-10s GGA %.2f MB (%.0f%% of the bitmap), lz4 %.2f MB\n", name.c_str(),
               static_cast<double>(picture->file.size()) / 1e6,
               100.0 * static_cast<double>(picture->file.size()) / static_cast<double>(kBitmapBytes),
               static_cast<double>(picture->lz4.size()) / 1e6);
  return picture;
}

std::vector<std::unique_ptr<Picture>>& pictures() {
  static std::vector<std::unique_ptr<Picture>> all;
  return all;
}

void checkLz4(const Picture& picture, const char* into) {
  if (LZ4_decompress_safe(picture.lz4.data(), const_cast<char*>(into), static_cast<int>(picture.lz4.size()),
                          static_cast<int>(kBitmapBytes)) != static_cast<int>(kBitmapBytes))
    std::abort();
}

// The times of our side and of each anchor over the same iterations, reported as counters:
// the anchors' speeds by the wall clock, and our speed over each anchor's by both clocks.
struct Timings {
  double ours = 0, copy = 0, lz4 = 0;           // wall clock
  double oursCpu = 0, copyCpu = 0, lz4Cpu = 0;  // thread processor time
  double add(double& wall, double& cpu, const Stopwatch& watch) {
    const double seconds = watch.wallSeconds();
    wall += seconds;
    cpu += watch.cpuSeconds();
    return seconds;
  }
  void report(benchmark::State& state, const char* copyName) const {
    const double megabytes = static_cast<double>(state.iterations()) * static_cast<double>(kBitmapBytes) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBitmapBytes));
    state.counters[std::string(copyName) + "_MBps"] = megabytes / copy;
    state.counters["lz4_MBps"] = megabytes / lz4;
    state.counters[std::string("x_") + copyName] = copy / ours;
    state.counters["x_lz4"] = lz4 / ours;
    state.counters[std::string("x_") + copyName + "_cpu"] = copyCpu / oursCpu;
    state.counters["x_lz4_cpu"] = lz4Cpu / oursCpu;
  }
};

// The whole GetPicture path, and beside it the two anchors into fresh host blocks.
void getPicture(benchmark::State& state, const Picture* picture, bool fromFile) {
  Timings t;
  for (auto _ : state) {
    Stopwatch watch;
    void* info = nullptr;
    void* bits = nullptr;
    support::PictureArgs args(fromFile ? static_cast<const void*>(picture->path.c_str()) : picture->file.data(),
                              fromFile ? 0 : static_cast<intptr_t>(picture->file.size()),
                              fromFile ? spi::kInputFile : spi::kInputMemory, &info, &bits, nullptr, 0);
    {
      oslin::PictureJob job(args);
      if (job.run() != 0) std::abort();
    }
    benchmark::DoNotOptimize(bits);
    state.SetIterationTime(t.add(t.ours, t.oursCpu, watch));
    LocalFree(info);
    LocalFree(bits);

    watch.restart();
    void* copy = LocalAlloc(kHostBlockFlags, kBitmapBytes);
    std::memcpy(copy, picture->bitmap.data(), kBitmapBytes);
    benchmark::DoNotOptimize(copy);
    benchmark::ClobberMemory();
    t.add(t.copy, t.copyCpu, watch);
    LocalFree(copy);

    watch.restart();
    void* unpacked = LocalAlloc(kHostBlockFlags, kBitmapBytes);
    checkLz4(*picture, static_cast<char*>(unpacked));
    t.add(t.lz4, t.lz4Cpu, watch);
    LocalFree(unpacked);
  }
  t.report(state, "alloc_copy");
}

// The decoder alone into a mapped bitmap; beside it memcpy and lz4 into mapped blocks.
void decodeOnly(benchmark::State& state, const Picture* picture) {
  std::vector<uint8_t> bits(kBitmapBytes, 0), copy(kBitmapBytes, 0), unpacked(kBitmapBytes, 0);
  Timings t;
  for (auto _ : state) {
    Stopwatch watch;
    support::MemoryStream stream;
    stream.openRead(reinterpret_cast<uintptr_t>(picture->file.data()), static_cast<uint32_t>(picture->file.size()));
    gga::GgaDecoder decoder;
    decoder.attach(&stream);
    spi::PictureInfo info;
    decoder.getInfo(&info);
    support::ProgressNotifier notifier(nullptr, 0);
    if (decoder.decode(bits.data(), notifier) != 0) std::abort();
    benchmark::ClobberMemory();
    state.SetIterationTime(t.add(t.ours, t.oursCpu, watch));

    watch.restart();
    std::memcpy(copy.data(), picture->bitmap.data(), kBitmapBytes);
    benchmark::ClobberMemory();
    t.add(t.copy, t.copyCpu, watch);

    watch.restart();
    checkLz4(*picture, reinterpret_cast<char*>(unpacked.data()));
    benchmark::ClobberMemory();
    t.add(t.lz4, t.lz4Cpu, watch);
  }
  if (bits != picture->bitmap) state.SkipWithError("the decoded bitmap differs from the picture");
  t.report(state, "memcpy");
}

}  // namespace

int main(int argc, char** argv) {
  for (uint32_t scene = 0; scene < gga_writer::kSceneCount; ++scene) {
    std::vector<uint32_t> pixels = gga_writer::makePhotograph(static_cast<gga_writer::Scene>(scene), kSide, kSide);
    std::vector<uint8_t> bytes(pixels.size() * 4);
    std::memcpy(bytes.data(), pixels.data(), bytes.size());
    pictures().push_back(makePicture(gga_writer::sceneName(static_cast<gga_writer::Scene>(scene)), bytes));
  }
  pictures().push_back(makePicture("grain", gga_writer::makeTestPicture(gga_writer::TestPattern::kPhoto, kSide, kSide)));
  pictures().push_back(makePicture("flat", gga_writer::makeTestPicture(gga_writer::TestPattern::kFlat, kSide, kSide)));

  for (const auto& picture : pictures()) {
    const Picture* p = picture.get();
    benchmark::RegisterBenchmark(("GetPicture/" + p->name + "/memory").c_str(), getPicture, p, false)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("GetPicture/" + p->name + "/file").c_str(), getPicture, p, true)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Decode/" + p->name).c_str(), decodeOnly, p)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const auto& picture : pictures()) unlink(picture->path.c_str());
  return 0;
}
