// The GGA decoder under libFuzzer: probe, getInfo and decode over a memory stream. The
// bits buffer has exactly the size getInfo promises, so any write past it is caught.
#include <cstdint>
#include <vector>

#include "gga_plugin/gga_decoder.h"
#include "support/image_decoder.h"
#include "support/streams.h"

namespace {

// Larger pictures are skipped: they only cost time to zero-fill, the codes that fit in a
// fuzz input cover a small picture as well as a large one.
constexpr uint64_t kFuzzMaxBitmapBytes = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  support::MemoryStream stream;
  stream.openRead(reinterpret_cast<uintptr_t>(data), static_cast<uint32_t>(size));
  gga::GgaDecoder decoder;
  if (decoder.probe(stream) != 1) return 0;
  decoder.attach(&stream);
  spi::PictureInfo info;
  if (decoder.getInfo(&info) != 0) return 0;
  const uint64_t bytes = static_cast<uint64_t>(info.width) * static_cast<uint64_t>(info.height) * 4;
  if (info.width <= 0 || info.height <= 0 || bytes > kFuzzMaxBitmapBytes) return 0;
  std::vector<uint8_t> bits(static_cast<size_t>(bytes), 0);
  support::ProgressNotifier notifier(nullptr, 0);
  decoder.decode(bits.data(), notifier);
  return 0;
}
