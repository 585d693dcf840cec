// A plain timing program for the Windows builds, where Google Benchmark is not built; it
// builds natively too. Pictures written by the GGD picture writer (three generated
// photographs and a flat-coloured picture, 2048 x 2048) go through GetPicture of the plug-in
// beside it (Gorsel.spi, Gorsel.sph or Gorsel.so) from memory and from a file, beside the
// anchor: LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT) of the bitmap's size and memcpy of its
// bytes. Then the call is split into its parts, each timed alone: the file read into a
// zero-filled block, the allocation and first touch of the bits block on one thread, the
// decoder into a block written before. Rounds take every figure in turn, so that drift
// touches them alike. Figures are MB of bitmap per second by the best wall-clock time and by
// the mean processor time of the process; "x" is the anchor's time over ours.
//
//   gorsel_timing [side] [rounds]        (2048 and 9 unless given)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/common/figure.h"
#include "ggd_image_plugin/ggd_picture.h"
#include "platform/win32.h"
#include "tests/common/temp_folder.h"
#include "tests/gorsel/gorsel_test_support.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using bench::Figure;
using bench::PictureTimes;
using namespace gorsel_test;

namespace {

struct Picture {
  const char* name;
  Bytes file;
  Bytes bitmap;  // what GetPicture should hand over
  std::string path;
};

int failures = 0;

void timeRound(Gorsel& gorsel, const Picture& picture, Bytes& written, PictureTimes& t) {
  const size_t bitmapBytes = picture.bitmap.size();
  for (bool fromFile : {false, true}) {
    void* info = nullptr;
    void* bits = nullptr;
    Figure& figure = fromFile ? t.file : t.memory;
    figure.start();
    const int code = fromFile ? gorsel.getPicture(picture.path.c_str(), 0, 0, &info, &bits, nullptr, 0)
                              : gorsel.getPicture(reinterpret_cast<const char*>(picture.file.data()),
                                                  static_cast<intptr_t>(picture.file.size()), spi::kInputMemory,
                                                  &info, &bits, nullptr, 0);
    figure.stop();
    failures += code != 0 || std::memcmp(bits, picture.bitmap.data(), bitmapBytes) != 0;
    LocalFree(info);
    LocalFree(bits);
  }

  t.anchor.start();
  void* copy = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, bitmapBytes);
  std::memcpy(copy, picture.bitmap.data(), bitmapBytes);
  t.anchor.stop();
  failures += static_cast<uint8_t*>(copy)[bitmapBytes / 2] != picture.bitmap[bitmapBytes / 2];
  LocalFree(copy);

  t.readFile.start();
  HANDLE handle = CreateFileA(picture.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  void* block = LocalAlloc(LPTR, picture.file.size());
  DWORD read = 0;
  ReadFile(handle, block, static_cast<DWORD>(picture.file.size()), &read, nullptr);
  CloseHandle(handle);
  t.readFile.stop();
  failures += read != picture.file.size();
  LocalFree(block);

  t.touchBits.start();
  block = LocalAlloc(LPTR, bitmapBytes);
  for (size_t at = 0; at < bitmapBytes; at += 4096) static_cast<volatile uint8_t*>(block)[at] = 1;
  t.touchBits.stop();
  LocalFree(block);

  const uint8_t* stream = picture.file.data();
  int64_t available = static_cast<int64_t>(picture.file.size());
  gorsel::GgdPictureHeader header{};
  failures += gorsel::CheckGgdPicture(&stream, &available, &header) != 0;
  t.decode.start();
  failures += gorsel::DecodeGgdPixels(header, gorsel::GgdStride(header), stream, available, written.data(),
                                      gorsel::kNoProgress) != 0;
  t.decode.stop();
  failures += written != picture.bitmap;
}

void report(const Picture& picture, const PictureTimes& t) {
  const double mb = static_cast<double>(picture.bitmap.size()) / 1e6;
  std::printf("%-10s %5.2f MB of GGD for %.2f MB of bitmap\n", picture.name,
              static_cast<double>(picture.file.size()) / 1e6, mb);
  bench::printPictureTimes(t, mb);
}

}  // namespace

int main(int argc, char** argv) {
  const int side = argc > 1 ? std::atoi(argv[1]) : 2048;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
  Gorsel gorsel;
  if (!gorsel.complete() || side < 1 || side > ggd_picture_writer::kMaxDimension) {
    std::fprintf(stderr, "Gorsel not found beside this program, or a bad side\n");
    return 1;
  }
  testing_support::TempFolder folder;
  std::vector<Picture> pictures;
  for (const auto& sample : ggd_picture_writer::kBenchmarkPictures) {
    const Bytes pixels = ggd_picture_writer::makeSamplePicture(sample.pattern, side, side);
    Picture picture{sample.name, ggd_picture_writer::encodeGgdPicture(side, side, pixels.data()),
                    bottomUp(side, side, pixels.data()), ""};
    folder.write(std::string(sample.name) + ".ggd", asString(picture.file));
    picture.path = folder.path(std::string(sample.name) + ".ggd");
    pictures.push_back(std::move(picture));
  }

  Bytes written(pictures.front().bitmap.size(), 0);
  std::vector<PictureTimes> times(pictures.size());
  for (int round = 0; round < rounds; ++round)
    for (size_t i = 0; i < pictures.size(); ++i) timeRound(gorsel, pictures[i], written, times[i]);
  std::printf("%d rounds, %d x %d pictures; x = the anchor's time / ours\n", rounds, side, side);
  for (size_t i = 0; i < pictures.size(); ++i) report(pictures[i], times[i]);
  if (failures != 0) std::printf("FAILED: %d calls did not give the picture\n", failures);
  return failures == 0 ? 0 : 1;
}
