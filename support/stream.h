// Byte streams: one interface through which format code reads a named file, a file handle
// lent by the host, or a block of memory. Failures show as -1 or a short count; nothing
// throws. Positions are absolute byte positions from the start of the file or block.
#pragma once

#include <cstdint>

namespace support {

class Stream {
 public:
  virtual ~Stream() = default;
  // `source` is the class's own: a file handle, a file name's address, a block's address.
  virtual int32_t openRead(uintptr_t source, uint32_t size) = 0;
  virtual int32_t openWrite(uintptr_t source, uint32_t size) = 0;
  virtual int32_t openOther(uintptr_t source, uint32_t size) = 0;
  virtual void close() = 0;
  virtual int32_t getByte() = 0;                 // 0..255, or -1
  virtual int32_t putByte(int32_t value) = 0;
  virtual int32_t read(uint8_t* dst, uint32_t n) = 0;  // bytes delivered, or -1
  virtual int32_t writeFrom(Stream& src, uint32_t n) = 0;
  virtual int32_t write(const uint8_t* src, uint32_t n) = 0;
  virtual int32_t seek(int32_t position) = 0;
  virtual int32_t tell() = 0;
  virtual int32_t size() = 0;
  virtual int32_t atEnd() = 0;

  // Positions and sizes in 64 bits, for files of 2 GiB and more that the 32-bit operations
  // above cannot name; -1 on failure. seek64 answers the new position. A stream without a
  // 64-bit form of its own answers through its 32-bit operations.
  virtual int64_t seek64(uint64_t position) {
    if (position > INT32_MAX) return -1;
    return seek(static_cast<int32_t>(position)) == -1 ? -1 : static_cast<int64_t>(position);
  }
  virtual int64_t tell64() { return tell(); }
  virtual int64_t size64() { return size(); }
};

}  // namespace support
