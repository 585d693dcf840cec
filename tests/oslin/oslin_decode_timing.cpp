// A plain timing program for builds without Google Benchmark (the Windows build, run under
// wine): decodes the 4096 x 4096 photo-like and flat-coloured pictures of bench_oslin, once
// with the decoder alone into one bitmap and once through Oslin's GetPicture, and times a
// memcpy of the same number of bytes. Prints the best of several rounds in MB/s, by wall
// clock and by the thread's CPU time (the machine may be shared). Not a test.
//
//   oslin_decode_timing [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "gga_plugin/gga_decoder.h"
#include "support/image_decoder.h"
#include "support/streams.h"
#include "tests/oslin/oslin_plugin.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/test_pictures.h"

namespace {

constexpr uint32_t kSide = 4096;
constexpr size_t kBitmapBytes = size_t{kSide} * kSide * 4;

double threadSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
#else
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Best {
  double wall = 1e30;
  double cpu = 1e30;
};

template <typename Work>
Best bestOf(int rounds, Work work) {
  Best best;
  for (int i = 0; i < rounds; ++i) {
    double wall = wallSeconds(), cpu = threadSeconds();
    work();
    best.wall = std::min(best.wall, wallSeconds() - wall);
    best.cpu = std::min(best.cpu, threadSeconds() - cpu);
  }
  return best;
}

void report(const char* what, const Best& best, const Best& memcpyBest) {
  const double mb = static_cast<double>(kBitmapBytes) / 1e6;
  std::printf("%-28s wall %8.1f MB/s (%.2f of memcpy)   cpu %8.1f MB/s (%.2f of memcpy)\n", what, mb / best.wall,
              memcpyBest.wall / best.wall, mb / std::max(best.cpu, 1e-9),
              std::max(memcpyBest.cpu, 1e-9) / std::max(best.cpu, 1e-9));
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  oslin_test::Oslin plugin;
  if (!plugin.complete()) {
    std::fprintf(stderr, "Oslin is not beside this program\n");
    return 1;
  }
  std::vector<uint8_t> from(kBitmapBytes, 1), to(kBitmapBytes, 0);
  const Best memcpyBest = bestOf(rounds, [&] {
    std::memcpy(to.data(), from.data(), kBitmapBytes);
    if (to[12345] != 1) std::abort();
  });
  report("memcpy", memcpyBest, memcpyBest);

  struct Picture {
    const char* name;
    gga_writer::TestPattern pattern;
  };
  for (const Picture& picture : {Picture{"photo-like", gga_writer::TestPattern::kPhoto},
                                 Picture{"flat-coloured", gga_writer::TestPattern::kFlat}}) {
    std::vector<uint8_t> pixels = gga_writer::makeTestPicture(picture.pattern, kSide, kSide);
    std::vector<uint8_t> file;
    gga_writer::encodeGga(pixels.data(), kSide, kSide, file);
    std::printf("%s: %zu bytes of file\n", picture.name, file.size());

    const Best decodeBest = bestOf(rounds, [&] {
      support::MemoryStream stream;
      stream.openRead(reinterpret_cast<uintptr_t>(file.data()), static_cast<uint32_t>(file.size()));
      gga::GgaDecoder decoder;
      decoder.attach(&stream);
      spi::PictureInfo info;
      decoder.getInfo(&info);
      support::ProgressNotifier notifier(nullptr, 0);
      if (decoder.decode(to.data(), notifier) != 0) std::abort();
    });
    report("  decode", decodeBest, memcpyBest);

    const Best exportBest = bestOf(rounds, [&] {
      oslin_test::Bitmap bitmap;
      if (plugin.getPicture(oslin_test::bytesArg(file), static_cast<intptr_t>(file.size()), 1, &bitmap.info,
                            &bitmap.bits, nullptr, 0) != 0)
        std::abort();
    });
    report("  GetPicture (fresh blocks)", exportBest, memcpyBest);
  }
  return 0;
}
