// Decoding speed of Oslin on 4096 x 4096 pictures written by the GGA writer: one
// photo-like (almost all literals), one flat-coloured (runs and copies). Each figure is
// MB of bitmap per second, beside a memcpy of the same number of bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "gga_plugin/gga_decoder.h"
#include "gga_plugin/picture_job.h"
#include "platform/win32.h"
#include "support/call_frame.h"
#include "support/image_decoder.h"
#include "support/streams.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/test_pictures.h"

namespace {

constexpr uint32_t kSide = 4096;
constexpr size_t kBitmapBytes = size_t{kSide} * kSide * 4;

const std::vector<uint8_t>& encoded(gga_writer::TestPattern pattern) {
  static std::vector<uint8_t> files[2];
  std::vector<uint8_t>& file = files[pattern == gga_writer::TestPattern::kFlat ? 1 : 0];
  if (file.empty()) {
    std::vector<uint8_t> pixels = gga_writer::makeTestPicture(pattern, kSide, kSide);
    gga_writer::encodeGga(pixels.data(), kSide, kSide, file);
  }
  return file;
}

// The decoder alone, into a bitmap allocated once (as the host's block would be).
void decodeInto(benchmark::State& state, gga_writer::TestPattern pattern) {
  const std::vector<uint8_t>& file = encoded(pattern);
  std::vector<uint8_t> bits(kBitmapBytes, 0);
  for (auto _ : state) {
    support::MemoryStream stream;
    stream.openRead(reinterpret_cast<uintptr_t>(file.data()), static_cast<uint32_t>(file.size()));
    gga::GgaDecoder decoder;
    decoder.attach(&stream);
    spi::PictureInfo info;
    decoder.getInfo(&info);
    support::ProgressNotifier notifier(nullptr, 0);
    benchmark::DoNotOptimize(decoder.decode(bits.data(), notifier));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBitmapBytes));
  state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
}

// The whole GetPicture path over memory input: fresh zero-filled blocks every time.
void getPicture(benchmark::State& state, gga_writer::TestPattern pattern) {
  const std::vector<uint8_t>& file = encoded(pattern);
  for (auto _ : state) {
    void* info = nullptr;
    void* bits = nullptr;
    support::PictureArgs args(file.data(), static_cast<intptr_t>(file.size()), spi::kInputMemory, &info, &bits,
                              nullptr, 0);
    oslin::PictureJob job(args);
    benchmark::DoNotOptimize(job.run());
    LocalFree(info);
    LocalFree(bits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBitmapBytes));
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> from(kBitmapBytes, 1), to(kBitmapBytes, 0);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kBitmapBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBitmapBytes));
}

void BM_DecodePhoto(benchmark::State& state) { decodeInto(state, gga_writer::TestPattern::kPhoto); }
void BM_DecodeFlat(benchmark::State& state) { decodeInto(state, gga_writer::TestPattern::kFlat); }
void BM_GetPicturePhoto(benchmark::State& state) { getPicture(state, gga_writer::TestPattern::kPhoto); }
void BM_GetPictureFlat(benchmark::State& state) { getPicture(state, gga_writer::TestPattern::kFlat); }

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFlat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPicturePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPictureFlat)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
