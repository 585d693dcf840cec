// Fuzz target for the GGD header check and pixel decoder: any bytes, as a picture that starts
// at the first byte. The first byte also picks when the progress callback asks to stop.
#include <cstdint>
#include <cstring>
#include <vector>

#include "ggd_image_plugin/ggd_picture.h"

namespace {

// Pictures above this are only checked, not decoded, to keep runs fast; the decoder's own
// limit is exercised by headers beyond kMaxBitmapBytes.
constexpr uint64_t kMaxFuzzBitmapBytes = 16u << 20;

struct StopAfter {
  int reportsLeft;
};

int SPI_CALL stopAfter(int, int, spi::UserData user) {
  StopAfter* s = reinterpret_cast<StopAfter*>(user);
  return s->reportsLeft-- == 0 ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so that reading one past it is caught.
  std::vector<uint8_t> input(data, data + size);
  const uint8_t* cursor = input.data();
  int64_t available = static_cast<int64_t>(input.size());
  gorsel::GgdPictureHeader header{};
  if (gorsel::CheckGgdPicture(&cursor, &available, &header) != 0) return 0;

  const uint32_t stride = gorsel::GgdStride(header);
  uint64_t bitmapBytes = 0;
  if (!gorsel::GgdBitmapBytes(header, &bitmapBytes)) {
    uint8_t untouched = 0;
    if (gorsel::DecodeGgdPixels(header, stride, cursor, available, &untouched, gorsel::kNoProgress) != spi::kNoMemory) __builtin_trap();
    return 0;
  }
  if (bitmapBytes > kMaxFuzzBitmapBytes) return 0;

  // Stop after 0..14 reports for some inputs, never for others.
  StopAfter stop{size > 0 ? (data[size - 1] & 0x0F) : 15};
  const gorsel::Progress progress =
      stop.reportsLeft == 15 ? gorsel::kNoProgress : gorsel::Progress{stopAfter, reinterpret_cast<spi::UserData>(&stop)};
  std::vector<uint8_t> bits(static_cast<size_t>(bitmapBytes), 0);
  const int result = gorsel::DecodeGgdPixels(header, stride, cursor, available, bits.data(), progress);
  if (result != 0 && result != spi::kAborted && result != spi::kDamaged) __builtin_trap();
  // The bytes past each row's pixels are always zero in a finished bitmap.
  if (result == 0) {
    const size_t rowBytes = static_cast<size_t>(header.width) * 3;
    for (int r = 0; r < header.height; ++r) {
      for (size_t b = rowBytes; b < stride; ++b) {
        if (bits[static_cast<size_t>(r) * stride + b] != 0) __builtin_trap();
      }
    }
  }
  return 0;
}
