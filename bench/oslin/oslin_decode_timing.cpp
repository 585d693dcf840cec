// A plain timing program for builds without Google Benchmark (the Windows builds, run under
// wine with the real Oslin.spi or Oslin.sph beside it).
//
// For 2048 x 2048 pictures written by the GGA writer (four procedural photographs, a grainy
// ramp that is almost all literals, a flat-coloured picture) it times, round after round so
// that drift touches every figure alike:
//   - GetPicture through the plug-in's export, from memory and from a file;
//   - the anchor: LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT) + memcpy of the bitmap's bytes;
//   - where a GetPicture call spends its time: reading the file (as Oslin reads it, in pieces
//     of its code window), allocating the bitmap and
//     touching its pages, and the decoding loop alone (the decoder linked into this program,
//     into a bitmap whose pages are already there).
// Then the cost of the C runtime's memcpy for a few bytes, called through the runtime as a
// copy that the compiler does not inline is, beside a copy of the same bytes it inlines.
// Figures are MB of bitmap per second, by the best wall-clock time and by the mean processor
// time of the process; "x" is the anchor's time over ours.
//
//   oslin_decode_timing [rounds]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/common/figure.h"
#include "gga_plugin/gga_decoder.h"
#include "support/image_decoder.h"
#include "support/streams.h"
#include "tests/common/temp_folder.h"
#include "tests/oslin/oslin_plugin.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/photographs.h"
#include "tools/gga_writer/test_pictures.h"

using bench::Figure;
using bench::PictureTimes;
using bench::wallSeconds;

namespace {

constexpr uint32_t kSide = 2048;
constexpr size_t kBitmapBytes = size_t{kSide} * kSide * 4;
constexpr UINT kHostBlockFlags = LMEM_FIXED | LMEM_ZEROINIT;
constexpr size_t kPageBytes = 4096;

struct Picture {
  std::string name;
  std::vector<uint8_t> file;
  std::vector<uint8_t> bitmap;  // the rows bottom-up, as GetPicture hands them over
  std::string path;
};

Picture makePicture(const std::string& name, const std::vector<uint8_t>& pixels, testing_support::TempFolder& folder) {
  Picture picture;
  picture.name = name;
  gga_writer::encodeGga(pixels.data(), kSide, kSide, picture.file);
  const size_t stride = size_t{kSide} * 4;
  picture.bitmap.resize(kBitmapBytes);
  for (uint32_t row = 0; row < kSide; ++row)
    std::memcpy(picture.bitmap.data() + (kSide - 1 - row) * stride, pixels.data() + row * stride, stride);
  folder.write(name + ".gg0", std::string(picture.file.begin(), picture.file.end()));
  picture.path = folder.path(name + ".gg0");
  return picture;
}

// The file read as Oslin reads it, a code window's worth at a time into one window; the
// bytes read.
size_t readInPieces(const std::string& path) {
  static std::vector<uint8_t> window(gga::kCodeWindowBytes);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  size_t total = 0;
  DWORD got = 0;
  while (ReadFile(file, window.data(), gga::kCodeWindowBytes, &got, nullptr) && got != 0) total += got;
  CloseHandle(file);
  return total;
}

void timeRound(oslin_test::Oslin& plugin, const Picture& picture, std::vector<uint8_t>& mapped, PictureTimes& t) {
  for (int input = 0; input < 2; ++input) {
    const bool fromFile = input == 1;
    oslin_test::Bitmap bitmap;
    Figure& figure = fromFile ? t.file : t.memory;
    figure.start();
    const int code = fromFile ? plugin.getPicture(oslin_test::textArg(picture.path), 0, 0, &bitmap.info, &bitmap.bits,
                                                  nullptr, 0)
                              : plugin.getPicture(oslin_test::bytesArg(picture.file),
                                                  static_cast<intptr_t>(picture.file.size()), 1, &bitmap.info,
                                                  &bitmap.bits, nullptr, 0);
    figure.stop();
    if (code != 0 || std::memcmp(bitmap.bits, picture.bitmap.data(), kBitmapBytes) != 0) {
      std::fprintf(stderr, "%s: GetPicture answered %d or another bitmap\n", picture.name.c_str(), code);
      std::exit(1);
    }
  }

  t.anchor.start();
  void* copy = LocalAlloc(kHostBlockFlags, kBitmapBytes);
  std::memcpy(copy, picture.bitmap.data(), kBitmapBytes);
  t.anchor.stop();
  if (static_cast<uint8_t*>(copy)[kBitmapBytes / 2] != picture.bitmap[kBitmapBytes / 2]) std::abort();
  LocalFree(copy);

  t.readFile.start();
  const size_t read = readInPieces(picture.path);
  t.readFile.stop();
  if (read != picture.file.size()) std::abort();

  t.touchBits.start();
  uint8_t* block = static_cast<uint8_t*>(LocalAlloc(kHostBlockFlags, kBitmapBytes));
  for (size_t at = 0; at < kBitmapBytes; at += kPageBytes) block[at] = 1;
  t.touchBits.stop();
  LocalFree(block);

  t.decode.start();
  support::MemoryStream stream;
  stream.openRead(reinterpret_cast<uintptr_t>(picture.file.data()), static_cast<uint32_t>(picture.file.size()));
  gga::GgaDecoder decoder;
  decoder.attach(&stream);
  spi::PictureInfo info;
  support::ProgressNotifier notifier(nullptr, 0);
  if (decoder.getInfo(&info) != 0 || decoder.decode(mapped.data(), notifier) != 0) std::abort();
  t.decode.stop();
}

void report(const Picture& picture, const PictureTimes& t) {
  const double mb = static_cast<double>(kBitmapBytes) / 1e6;
  std::printf("%-10s %5.2f MB of GGA\n", picture.name.c_str(), static_cast<double>(picture.file.size()) / 1e6);
  bench::printPictureTimes(t, mb);
}

// memcpy of `bytes` bytes a million times, called through the runtime (a pointer the
// compiler cannot see through) or inlined as a fixed 16-byte move.
void timeSmallCopies() {
  static uint8_t from[64], to[64];
  void* (*volatile runtimeCopy)(void*, const void*, size_t) = std::memcpy;
  constexpr int kCalls = 1000000;
  for (size_t bytes : {4u, 8u, 16u}) {
    double start = wallSeconds();
    for (int i = 0; i < kCalls; ++i) runtimeCopy(to + (i & 15), from + (i & 7), bytes);
    const double called = wallSeconds() - start;
    start = wallSeconds();
    for (int i = 0; i < kCalls; ++i) {
      std::memcpy(to + (i & 15), from + (i & 7), 16);
      __asm__ volatile("" ::: "memory");
    }
    const double inlined = wallSeconds() - start;
    std::printf("memcpy of %2zu bytes: %.1f ns a call through the runtime, %.1f ns inlined (16 bytes)\n", bytes,
                called * 1e9 / kCalls, inlined * 1e9 / kCalls);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  oslin_test::Oslin plugin;
  if (!plugin.complete()) {
    std::fprintf(stderr, "Oslin is not beside this program\n");
    return 1;
  }
  testing_support::TempFolder folder;
  std::vector<Picture> pictures;
  for (uint32_t scene = 0; scene < gga_writer::kSceneCount; ++scene) {
    const auto kind = static_cast<gga_writer::Scene>(scene);
    std::vector<uint32_t> pixels = gga_writer::makePhotograph(kind, kSide, kSide);
    std::vector<uint8_t> bytes(pixels.size() * 4);
    std::memcpy(bytes.data(), pixels.data(), bytes.size());
    pictures.push_back(makePicture(gga_writer::sceneName(kind), bytes, folder));
  }
  pictures.push_back(
      makePicture("grain", gga_writer::makeTestPicture(gga_writer::TestPattern::kPhoto, kSide, kSide), folder));
  pictures.push_back(
      makePicture("flat", gga_writer::makeTestPicture(gga_writer::TestPattern::kFlat, kSide, kSide), folder));

  std::vector<uint8_t> mapped(kBitmapBytes, 0);
  std::vector<PictureTimes> times(pictures.size());
  for (int round = 0; round < rounds; ++round)
    for (size_t i = 0; i < pictures.size(); ++i) timeRound(plugin, pictures[i], mapped, times[i]);
  std::printf("%d rounds, %u x %u pictures (%.1f MB of bitmap); x = the anchor's time / ours\n", rounds, kSide, kSide,
              static_cast<double>(kBitmapBytes) / 1e6);
  for (size_t i = 0; i < pictures.size(); ++i) report(pictures[i], times[i]);
  timeSmallCopies();
  return 0;
}
