#include "gga_plugin/picture_job.h"

#include <cstring>

#include "gga_plugin/decoder_registry.h"
#include "plugin_api/host_block.h"

namespace oslin {

bool bitmapSizes(const spi::PictureInfo& info, BitmapSizes& sizes) {
  const int32_t depth = info.colorDepth;
  if (info.width <= 0 || info.height <= 0 || depth <= 0) return false;
  uint64_t bits = spi::bitmapStride(static_cast<uint32_t>(info.width), static_cast<uint32_t>(depth)) *
                  static_cast<uint64_t>(info.height);
  if (bits > kMaxBitmapBytes) return false;
  sizes.bits = bits;
  sizes.info = kInfoBlockBytes + (depth <= 8 ? 4u << depth : 0);
  return true;
}

int32_t PictureJob::run() {
  int32_t code = openStream();
  if (code == spi::kSuccess) code = createDecoder();
  if (code == spi::kSuccess) code = allocateBitmap();
  if (code == spi::kSuccess) code = decodeInto();
  if (code == spi::kSuccess) {
    *args_.infoHandleOut() = infoHandle_;
    *args_.bitsHandleOut() = bitsHandle_;
  }
  return finish(code);
}

int32_t PictureJob::finish(int32_t status) {
  delete stream_;
  delete decoder_;
  stream_ = nullptr;
  decoder_ = nullptr;
  if (infoHandle_ != nullptr && status != spi::kSuccess) LocalFree(infoHandle_);
  if (bitsHandle_ != nullptr && status != spi::kSuccess) LocalFree(bitsHandle_);
  infoHandle_ = nullptr;
  bitsHandle_ = nullptr;
  return status;
}

int32_t PictureJob::openStream() { return support::openInput(args_, &stream_); }

int32_t PictureJob::createDecoder() {
  decoder_ = DecoderRegistry::create(DecoderRegistry::identify(*stream_));
  if (decoder_ == nullptr) return spi::kNoMemory;  // not a format of ours, or no memory
  decoder_->attach(stream_);
  return spi::kSuccess;
}

int32_t PictureJob::allocateBitmap() {
  int32_t code = decoder_->getInfo(&info_);
  if (code != spi::kSuccess) return code;
  if (!bitmapSizes(info_, sizes_)) return spi::kNoMemory;
  bitsHandle_ = spi::newHostBlock(sizes_.bits);
  if (bitsHandle_ == nullptr) return spi::kNoMemory;
  infoHandle_ = spi::newHostBlock(sizes_.info);
  return infoHandle_ != nullptr ? spi::kSuccess : spi::kNoMemory;  // finish frees the bits
}

// The decoder writes into the bits block sized from info_; a lock that fails is reported
// as a memory failure, the nearest of the codes this plug-in answers with.
int32_t PictureJob::decodeInto() {
  uint8_t* bits = static_cast<uint8_t*>(LocalLock(bitsHandle_));
  if (bits == nullptr) return spi::kNoMemory;
  support::ProgressNotifier notifier(args_.progress(), args_.userData());
  int32_t code = decoder_->decode(bits, notifier);
  LocalUnlock(bitsHandle_);
  if (code != spi::kSuccess) return code;

  uint8_t* block = static_cast<uint8_t*>(LocalLock(infoHandle_));
  if (block == nullptr) return spi::kNoMemory;
  const spi::BitmapInfoHeader header = spi::bottomUpBitmapHeader(
      info_.width, info_.height, static_cast<uint16_t>(info_.colorDepth), static_cast<uint32_t>(sizes_.bits));
  std::memcpy(block, &header, sizeof header);
  if (info_.colorDepth <= 8) code = decoder_->getPalette(block + sizeof header);
  LocalUnlock(infoHandle_);
  return code;
}

}  // namespace oslin
