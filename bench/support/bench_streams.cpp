// How fast decoders can pull bytes one at a time: through the read-ahead buffer of a
// FileStream, and from a MemoryStream.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/streams.h"

namespace {

constexpr size_t kInputBytes = 1 << 20;

std::string makeInputFile() {
  std::string path = "/tmp/vantrel_bench_streams_" + std::to_string(kInputBytes) + ".bin";
  std::vector<char> bytes(kInputBytes);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  }
  return path;
}

void drainByBytes(support::Stream& stream, benchmark::State& state) {
  uint32_t sum = 0;
  for (int32_t c = stream.getByte(); c >= 0; c = stream.getByte()) sum += static_cast<uint32_t>(c);
  benchmark::DoNotOptimize(sum);
  if (stream.tell() != static_cast<int32_t>(kInputBytes)) state.SkipWithError("short input");
}

void BM_FileStreamGetByte(benchmark::State& state) {
  static const std::string path = makeInputFile();
  for (auto _ : state) {
    support::FileStream stream;
    if (stream.openRead(reinterpret_cast<uintptr_t>(path.c_str()), 0) != 0) {
      state.SkipWithError("cannot open the input");
      break;
    }
    drainByBytes(stream, state);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kInputBytes);
}
BENCHMARK(BM_FileStreamGetByte);

void BM_FileStreamReadWords(benchmark::State& state) {
  static const std::string path = makeInputFile();
  for (auto _ : state) {
    support::FileStream stream;
    stream.openRead(reinterpret_cast<uintptr_t>(path.c_str()), 0);
    uint8_t word[4];
    uint32_t sum = 0;
    while (stream.read(word, 4) == 4) sum += word[0];
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kInputBytes);
}
BENCHMARK(BM_FileStreamReadWords);

void BM_MemoryStreamGetByte(benchmark::State& state) {
  std::vector<uint8_t> block(kInputBytes, 0x5A);
  for (auto _ : state) {
    support::MemoryStream stream;
    stream.openRead(reinterpret_cast<uintptr_t>(block.data()), static_cast<uint32_t>(block.size()));
    drainByBytes(stream, state);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kInputBytes);
}
BENCHMARK(BM_MemoryStreamGetByte);

}  // namespace

BENCHMARK_MAIN();
