// One GetPicture call, from the input to the two bitmap handles handed to the host. It is
// written against ImageDecoder, so another format would only add a registry entry.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "support/call_frame.h"
#include "support/image_decoder.h"
#include "support/stream.h"

namespace oslin {

// The largest bits block Oslin allocates: 256 MiB, a 32-bit picture of 64 million pixels
// (8192 x 8192). GGA headers allow 65535 x 65535 x 4 bytes, which is more than a 32-bit
// host can hold; larger pictures are refused as an allocation failure (4).
constexpr uint64_t kMaxBitmapBytes = 256u << 20;

// The bitmap information block: a BITMAPINFOHEADER and four zero bytes, followed for
// depths of 8 bits or less by room for 2^depth four-byte colour entries.
constexpr uint32_t kInfoBlockBytes = sizeof(spi::BitmapInfoHeader) + 4;

struct BitmapSizes {
  uint64_t bits = 0;  // rows of ((depth x width + 31) / 32) x 4 bytes
  uint64_t info = 0;
};

// The sizes of the two blocks for a picture, computed in 64 bits. False for a width,
// height or depth of 0 or less, or a bits block above kMaxBitmapBytes.
bool bitmapSizes(const spi::PictureInfo& info, BitmapSizes& sizes);

class PictureJob {
 public:
  explicit PictureJob(const support::PictureArgs& args) : args_(args) {}
  ~PictureJob() { finish(spi::kSuccess); }
  PictureJob(const PictureJob&) = delete;
  PictureJob& operator=(const PictureJob&) = delete;

  // Opens the input, makes the decoder, allocates and fills the bitmap, and on success
  // stores both handles for the host. Returns the export's code.
  int32_t run();
  // Destroys the stream and the decoder; frees the handles unless status is 0 (then they
  // belong to the host). Returns status.
  int32_t finish(int32_t status);

 private:
  int32_t openStream();
  int32_t createDecoder();
  int32_t allocateBitmap();
  int32_t decodeInto();

  const support::PictureArgs& args_;
  support::Stream* stream_ = nullptr;
  support::ImageDecoder* decoder_ = nullptr;
  HLOCAL infoHandle_ = nullptr;
  HLOCAL bitsHandle_ = nullptr;
  spi::PictureInfo info_ = {};  // what the blocks were sized from
  BitmapSizes sizes_;
};

}  // namespace oslin
