// A plain timing program for the Windows builds, where Google Benchmark is not built: decodes
// 4096 x 4096 pictures written by the GGD picture writer, with the decoder linked in and
// through GetPicture of Gorsel.spi or Gorsel.sph, beside memcpy of the same bytes. Run it
// under wine with cmake/wine-run.sh; it builds natively too, for comparison. Prints the best
// of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "ggd_image_plugin/ggd_picture.h"
#include "platform/win32.h"
#include "tests/gorsel/gorsel_test_support.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace gorsel_test;
using ggd_picture_writer::SamplePattern;

namespace {

constexpr int kSide = 4096;
constexpr size_t kBitmapBytes = size_t{kSide} * kSide * 3;
constexpr int kRuns = 9;

// MB of bitmap per second for the fastest of kRuns runs.
double bestRate(const std::function<void()>& work) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    work();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return double(kBitmapBytes) / 1e6 / best;
}

}  // namespace

int main() {
  Gorsel gorsel;
  if (!gorsel.complete()) {
    std::fprintf(stderr, "Gorsel not found beside this program\n");
    return 1;
  }
  std::vector<uint8_t> from(kBitmapBytes, 1), to(kBitmapBytes, 0);
  const double memcpyRate = bestRate([&] { std::memcpy(to.data(), from.data(), kBitmapBytes); });
  const double freshRate = bestRate([&] {
    void* block = LocalAlloc(LPTR, kBitmapBytes);
    std::memcpy(block, from.data(), kBitmapBytes);
    LocalFree(block);
  });
  std::printf("%-28s %9.0f MB/s\n", "memcpy", memcpyRate);
  std::printf("%-28s %9.0f MB/s\n", "memcpy into a fresh block", freshRate);

  const struct {
    const char* name;
    SamplePattern pattern;
  } pictures[] = {{"photo", SamplePattern::kPhoto}, {"flat", SamplePattern::kFlat}};
  for (const auto& picture : pictures) {
    const Bytes pixels = ggd_picture_writer::makeSamplePicture(picture.pattern, kSide, kSide);
    const Bytes file = ggd_picture_writer::encodeGgdPicture(kSide, kSide, pixels.data());
    const uint8_t* stream = file.data();
    int64_t available = static_cast<int64_t>(file.size());
    gorsel::GgdPictureHeader header{};
    if (gorsel::CheckGgdPicture(&stream, &available, &header) != 0) return 1;

    const double decodeRate = bestRate([&] {
      gorsel::DecodeGgdPixels(header, gorsel::GgdStride(header), stream, available, to.data(), gorsel::kNoProgress);
    });
    int code = 0;
    const double pictureRate = bestRate([&] {
      void* info = nullptr;
      void* bits = nullptr;
      code |= gorsel.getPicture(reinterpret_cast<const char*>(file.data()), static_cast<intptr_t>(file.size()),
                                spi::kInputMemory, &info, &bits, nullptr, 0);
      LocalFree(info);
      LocalFree(bits);
    });
    std::printf("%-6s (file %5.1f MB)  decoder %6.0f MB/s (%.2f of memcpy)  GetPicture %6.0f MB/s (%.2f of fresh-block memcpy)%s\n",
                picture.name, double(file.size()) / 1e6, decodeRate, decodeRate / memcpyRate, pictureRate,
                pictureRate / freshRate, code ? "  FAILED" : "");
  }
  return 0;
}
