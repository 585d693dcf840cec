// A plain timing program for the Windows builds, where Google Benchmark is not built; it
// builds natively too. Pictures written by the GGD picture writer (three generated
// photographs and a flat-coloured picture, 2048 x 2048) go through GetPicture of the plug-in
// beside it (Gorsel.spi, Gorsel.sph or Gorsel.so) from memory and from a file, beside the
// anchor: LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT) of the bitmap's size and memcpy of its
// bytes, timed in the same run. Then the call is split into its parts, each timed alone: the
// file read into a zero-filled block, the allocation and first touch of the bits block, the
// decoder into a block written before. Each figure is the mean processor time of kRuns runs,
// in MB of bitmap per second, with its ratio to the anchor.
//
//   gorsel_timing [side]        (2048 unless given)
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ggd_image_plugin/ggd_picture.h"
#include "platform/win32.h"
#include "tests/common/temp_folder.h"
#include "tests/gorsel/gorsel_test_support.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace gorsel_test;

namespace {

constexpr int kRuns = 9;

// The processor time of this thread so far, page faults included: on a machine that other
// work keeps busy, wall-clock time would count the waits for a processor too.
double threadSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ticks = [](const FILETIME& t) { return static_cast<double>(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime); };
  return (ticks(kernel) + ticks(user)) * 1e-7;
#else
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

// Seconds of processor time a run, over kRuns runs (the thread times of Windows come in
// coarse steps, so single runs are not timed alone).
double secondsPerRun(const std::function<void()>& work) {
  const double start = threadSeconds();
  for (int run = 0; run < kRuns; ++run) work();
  return (threadSeconds() - start) / kRuns;
}

void printRow(const char* what, size_t bitmapBytes, double seconds, double anchorSeconds) {
  std::printf("  %-34s %8.2f ms %8.0f MB/s  %5.2f of alloc+copy\n", what, seconds * 1e3,
              double(bitmapBytes) / 1e6 / seconds, anchorSeconds / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const int side = argc > 1 ? std::atoi(argv[1]) : 2048;
  Gorsel gorsel;
  if (!gorsel.complete() || side < 1 || side > ggd_picture_writer::kMaxDimension) {
    std::fprintf(stderr, "Gorsel not found beside this program, or a bad side\n");
    return 1;
  }
  testing_support::TempFolder folder;
  int failures = 0;
  for (const auto& picture : ggd_picture_writer::kBenchmarkPictures) {
    const Bytes pixels = ggd_picture_writer::makeSamplePicture(picture.pattern, side, side);
    const Bytes file = ggd_picture_writer::encodeGgdPicture(side, side, pixels.data());
    folder.write("picture.ggd", asString(file));
    const std::string path = folder.path("picture.ggd");
    const size_t bitmapBytes = static_cast<size_t>(strideOf(side)) * static_cast<size_t>(side);
    const Bytes source(bitmapBytes, 1);
    std::printf("%s: %d x %d, %.2f MB of GGD for %.2f MB of bitmap (%.2f)\n", picture.name, side, side,
                double(file.size()) / 1e6, double(bitmapBytes) / 1e6, double(file.size()) / double(bitmapBytes));

    const double anchor = secondsPerRun([&] {
      void* block = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, bitmapBytes);
      std::memcpy(block, source.data(), bitmapBytes);
      LocalFree(block);
    });
    auto getPicture = [&](bool fromFile) {
      return secondsPerRun([&] {
        void* info = nullptr;
        void* bits = nullptr;
        const int code = fromFile ? gorsel.getPicture(path.c_str(), 0, 0, &info, &bits, nullptr, 0)
                                  : gorsel.getPicture(reinterpret_cast<const char*>(file.data()),
                                                      static_cast<intptr_t>(file.size()), spi::kInputMemory, &info,
                                                      &bits, nullptr, 0);
        failures += code != 0;
        LocalFree(info);
        LocalFree(bits);
      });
    };
    const double fromMemory = getPicture(false);
    const double fromFile = getPicture(true);

    // The parts of a call from a file, each alone.
    const double readFile = secondsPerRun([&] {
      HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
      void* block = LocalAlloc(LPTR, file.size());
      DWORD read = 0;
      ReadFile(handle, block, static_cast<DWORD>(file.size()), &read, nullptr);
      CloseHandle(handle);
      LocalFree(block);
    });
    const double touchBits = secondsPerRun([&] {
      void* block = LocalAlloc(LPTR, bitmapBytes);
      for (size_t at = 0; at < bitmapBytes; at += 4096) static_cast<volatile uint8_t*>(block)[at] = 1;
      LocalFree(block);
    });
    const uint8_t* stream = file.data();
    int64_t available = static_cast<int64_t>(file.size());
    gorsel::GgdPictureHeader header{};
    if (gorsel::CheckGgdPicture(&stream, &available, &header) != 0) return 1;
    Bytes bits(bitmapBytes, 0);
    const double decodeOnly = secondsPerRun([&] {
      failures += gorsel::DecodeGgdPixels(header, gorsel::GgdStride(header), stream, available, bits.data(),
                                          gorsel::kNoProgress) != 0;
    });
    failures += bits != bottomUp(side, side, pixels.data());

    printRow("alloc+copy (anchor)", bitmapBytes, anchor, anchor);
    printRow("GetPicture from memory", bitmapBytes, fromMemory, anchor);
    printRow("GetPicture from a file", bitmapBytes, fromFile, anchor);
    printRow("  part: read the file", bitmapBytes, readFile, anchor);
    printRow("  part: allocate, touch the bits", bitmapBytes, touchBits, anchor);
    printRow("  part: decode into written block", bitmapBytes, decodeOnly, anchor);
  }
  if (failures != 0) std::printf("FAILED: %d calls did not give the picture\n", failures);
  return failures == 0 ? 0 : 1;
}
