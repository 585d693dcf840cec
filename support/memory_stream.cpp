// MemoryStream: a stream over a block that the caller owns.
//
// Every transfer is clamped to the bytes between the position and the end of the block, and
// a position at or past the end answers -1, so nothing is ever read or written outside the
// block and a short block never yields garbage.
#include <algorithm>
#include <cstring>

#include "support/streams.h"

namespace support {

MemoryStream::~MemoryStream() { MemoryStream::close(); }

// The address is not checked (there is no way to), but the length is cut so that it fits
// the 32-bit counts and the block does not run past the end of the address space.
int32_t MemoryStream::openRead(uintptr_t source, uint32_t size) {
  close();
  uintptr_t untilTop = UINTPTR_MAX - source;
  uint32_t length = std::min(size, kMaxStreamTransfer);
  if (length > untilTop) length = static_cast<uint32_t>(untilTop);
  base_ = reinterpret_cast<uint8_t*>(source);
  capacity_ = length;
  pos_ = 0;
  return 0;
}

int32_t MemoryStream::openWrite(uintptr_t source, uint32_t size) { return openRead(source, size); }

int32_t MemoryStream::openOther(uintptr_t, uint32_t) {
  close();
  return -1;
}

void MemoryStream::close() { base_ = nullptr; }

int32_t MemoryStream::getByte() {
  if (!hasRoom()) return -1;
  return base_[pos_++];
}

int32_t MemoryStream::putByte(int32_t value) {
  if (!hasRoom()) return -1;
  base_[pos_++] = static_cast<uint8_t>(value);
  return 0;
}

int32_t MemoryStream::read(uint8_t* dst, uint32_t n) {
  if (!hasRoom()) return -1;
  uint32_t take = clamp(n);
  if (take == 0) return 0;
  if (dst == nullptr) return -1;
  std::memcpy(dst, base_ + pos_, take);
  pos_ += take;
  return static_cast<int32_t>(take);
}

int32_t MemoryStream::write(const uint8_t* src, uint32_t n) {
  if (!hasRoom()) return -1;
  uint32_t take = clamp(n);
  if (take == 0) return 0;
  if (src == nullptr) return -1;
  std::memcpy(base_ + pos_, src, take);
  pos_ += take;
  return static_cast<int32_t>(take);
}

// The position moves by what the source delivered, so it never claims bytes that were not
// written. Copying a block onto itself would be a no-op at best, so it is refused.
int32_t MemoryStream::writeFrom(Stream& src, uint32_t n) {
  if (!hasRoom() || &src == this) return -1;
  uint32_t take = clamp(n);
  int32_t got = src.read(base_ + pos_, take);
  if (got > 0) pos_ += std::min(static_cast<uint32_t>(got), take);
  return got;
}

int32_t MemoryStream::seek(int32_t position) {
  pos_ = static_cast<uint32_t>(position);
  return isOpen() ? 0 : -1;
}

int64_t MemoryStream::seek64(uint64_t position) {
  pos_ = position > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(position);
  return isOpen() ? static_cast<int64_t>(pos_) : -1;
}

int32_t MemoryStream::tell() { return isOpen() ? static_cast<int32_t>(pos_) : -1; }

int32_t MemoryStream::size() { return isOpen() ? static_cast<int32_t>(capacity_) : -1; }

int32_t MemoryStream::atEnd() { return isOpen() && pos_ == capacity_ ? 1 : 0; }

}  // namespace support
