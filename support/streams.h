// The concrete byte streams and the factories that make them.
//
//   HandleStream  reads and writes through a Win32 file handle that the caller owns, with a
//                 16384-byte buffer in front of it, so that small reads and writes cost few
//                 calls to the system.
//   FileStream    a HandleStream over a file that it opens by name and closes itself.
//   WideFileStream  the same, opening the file by a UTF-16 name.
//   MemoryStream  a block of memory that the caller owns; reads are clamped to the block.
//
// A stream is closed until one of its openings succeeds; every operation on a closed stream
// returns -1 (atEnd 0, close nothing). Each opening closes first, so a stream may be reused.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "support/stream.h"

namespace support {

// Read-ahead and write-behind buffer of a HandleStream.
constexpr uint32_t kStreamBufferSize = 0x4000;
// Counts and sizes are reported as non-negative 32-bit values, so no single transfer and no
// memory block is taken to be larger than this.
constexpr uint32_t kMaxStreamTransfer = 0x7FFFFFFF;

class HandleStream : public Stream {
 public:
  HandleStream() = default;
  ~HandleStream() override;
  HandleStream(const HandleStream&) = delete;
  HandleStream& operator=(const HandleStream&) = delete;

  // `source` is an open file handle; the stream reads or writes from wherever its file
  // pointer stands and never closes it.
  int32_t openRead(uintptr_t source, uint32_t size) override;
  int32_t openWrite(uintptr_t source, uint32_t size) override;
  int32_t openOther(uintptr_t source, uint32_t size) override;
  void close() override;
  int32_t getByte() override;
  int32_t putByte(int32_t value) override;
  int32_t read(uint8_t* dst, uint32_t n) override;
  int32_t writeFrom(Stream& src, uint32_t n) override;
  int32_t write(const uint8_t* src, uint32_t n) override;
  int32_t seek(int32_t position) override;
  int32_t tell() override;
  int32_t size() override;
  int32_t atEnd() override;
  // The file's own 64-bit positions and size; tell and size are these, cut to 32 bits.
  int64_t seek64(uint64_t position) override;
  int64_t tell64() override;
  int64_t size64() override;

 protected:
  enum Mode : int32_t { kReading = 0, kWriting = 1 };

  bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool isOpenFor(Mode mode) const { return isOpen() && mode_ == mode; }
  int32_t adopt(HANDLE handle, Mode mode);  // closes, empties the buffer, takes the handle
  void reset() { pos_ = limit_ = 0; }
  uint32_t refill();
  void flush();

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  // Reading: pos_ is the next byte to hand out and limit_ the valid bytes. Writing: pos_ is
  // the bytes waiting and limit_ the room (0 right after opening, then the buffer size).
  uint8_t buffer_[kStreamBufferSize];
  uint32_t pos_ = 0;
  uint32_t limit_ = 0;
  Mode mode_ = kReading;
};

class FileStream : public HandleStream {
 public:
  FileStream() = default;
  ~FileStream() override;

  // `source` is the address of a NUL-terminated file name in the ANSI code page. Reading
  // shares the file with other readers; writing creates the file or empties an existing one.
  int32_t openRead(uintptr_t source, uint32_t size) override;
  int32_t openWrite(uintptr_t source, uint32_t size) override;
  void close() override;  // flushes and closes the file

 protected:
  // The system's file opening for this class's names; INVALID_HANDLE_VALUE on failure.
  virtual HANDLE createFile(uintptr_t name, DWORD access, DWORD share, DWORD disposition);

 private:
  int32_t openNamed(uintptr_t name, DWORD access, DWORD share, DWORD disposition, Mode mode);
};

// A FileStream whose `source` is the address of a NUL-terminated UTF-16 name. It opens the
// file with the wide file calls, so a name that the ANSI code page cannot spell still opens;
// everything after the opening is the FileStream's.
class WideFileStream : public FileStream {
 protected:
  HANDLE createFile(uintptr_t name, DWORD access, DWORD share, DWORD disposition) override;
};

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  ~MemoryStream() override;
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  // `source` is the block's address and `size` its length. Both openings are the same: the
  // block can be read and written whichever was used. A null address leaves it closed.
  int32_t openRead(uintptr_t source, uint32_t size) override;
  int32_t openWrite(uintptr_t source, uint32_t size) override;
  int32_t openOther(uintptr_t source, uint32_t size) override;
  void close() override;
  int32_t getByte() override;
  int32_t putByte(int32_t value) override;
  int32_t read(uint8_t* dst, uint32_t n) override;
  int32_t writeFrom(Stream& src, uint32_t n) override;
  int32_t write(const uint8_t* src, uint32_t n) override;
  // Stores any position, even past the end or while closed; 0 when open, -1 when not.
  int32_t seek(int32_t position) override;
  int32_t tell() override;
  int32_t size() override;
  int32_t atEnd() override;
  // A position beyond 32 bits lies past every block: it is stored as the largest one.
  int64_t seek64(uint64_t position) override;

 private:
  bool isOpen() const { return base_ != nullptr; }
  // Open, and the position lies inside the block.
  bool hasRoom() const { return isOpen() && pos_ < capacity_; }
  // A request cut to the bytes left; only meaningful when hasRoom().
  uint32_t clamp(uint32_t n) const { return n < capacity_ - pos_ ? n : capacity_ - pos_; }

  uint8_t* base_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t pos_ = 0;
};

// Makes a new, not yet opened stream of one kind; null when memory is short. A factory
// holds nothing: make one, call create once, discard it.
class StreamFactory {
 public:
  virtual ~StreamFactory() = default;
  virtual Stream* create() = 0;
};

class FileStreamFactory : public StreamFactory {
 public:
  Stream* create() override;
};

class WideFileStreamFactory : public StreamFactory {
 public:
  Stream* create() override;
};

class HandleStreamFactory : public StreamFactory {
 public:
  Stream* create() override;
};

class MemoryStreamFactory : public StreamFactory {
 public:
  Stream* create() override;
};

}  // namespace support
