// HandleStream, FileStream and WideFileStream: a buffered stream over a Win32 file handle.
//
// Reading keeps a read-ahead buffer in front of the file pointer, so the stream's position
// (tell) is the file pointer less the bytes still buffered. A read larger than what is
// buffered hands out the buffered bytes and fetches the rest with one ReadFile straight into
// the caller's memory; the buffer is then empty, because it no longer matches the file.
// Writing collects bytes in the same buffer and writes them out when it is full, on seek
// and on close.
//
// A stream opened for reading refuses the writing operations and the reverse: the buffer
// holds either read-ahead or pending output, never both, so mixing them would hand out
// bytes that were never read or drop bytes that were never written.
#include <algorithm>
#include <cstring>

#include "platform/file_seek.h"
#include "support/streams.h"

namespace support {

HandleStream::~HandleStream() { HandleStream::close(); }

int32_t HandleStream::adopt(HANDLE handle, Mode mode) {
  close();
  reset();
  mode_ = mode;
  handle_ = handle;
  return handle == INVALID_HANDLE_VALUE ? -1 : 0;
}

uint32_t HandleStream::refill() {
  pos_ = 0;
  DWORD got = 0;
  // A failed read counts what it delivered (usually nothing), so it looks like the end.
  ReadFile(handle_, buffer_, kStreamBufferSize, &got, nullptr);
  limit_ = std::min<uint32_t>(got, kStreamBufferSize);
  return limit_;
}

void HandleStream::flush() {
  if (pos_ != 0) {
    DWORD written = 0;
    WriteFile(handle_, buffer_, pos_, &written, nullptr);
    pos_ = 0;
  }
  limit_ = kStreamBufferSize;
}

int32_t HandleStream::openRead(uintptr_t source, uint32_t) {
  return adopt(reinterpret_cast<HANDLE>(source), kReading);
}

int32_t HandleStream::openWrite(uintptr_t source, uint32_t) {
  return adopt(reinterpret_cast<HANDLE>(source), kWriting);
}

int32_t HandleStream::openOther(uintptr_t, uint32_t) {
  close();
  return -1;
}

// The handle stays open: it belongs to whoever lent it.
void HandleStream::close() {
  if (!isOpen()) return;
  if (mode_ == kWriting) flush();
  handle_ = INVALID_HANDLE_VALUE;
}

int32_t HandleStream::getByte() {
  if (!isOpenFor(kReading)) return -1;
  if (pos_ == limit_ && refill() == 0) return -1;
  return buffer_[pos_++];
}

int32_t HandleStream::putByte(int32_t value) {
  if (!isOpenFor(kWriting)) return -1;
  if (pos_ == limit_) flush();
  buffer_[pos_++] = static_cast<uint8_t>(value);
  return 0;
}

// With nothing buffered, even a read of 0 bytes refills: it answers -1 at the end of the
// file, so "no bytes" and "end" stay apart. A short count means the file ended during the
// direct read.
int32_t HandleStream::read(uint8_t* dst, uint32_t n) {
  if (!isOpenFor(kReading) || (dst == nullptr && n != 0)) return -1;
  if (pos_ == limit_ && refill() == 0) return -1;
  n = std::min(n, kMaxStreamTransfer);
  uint32_t take = std::min(n, limit_ - pos_);
  if (take != 0) std::memcpy(dst, buffer_ + pos_, take);
  pos_ += take;
  if (n > take) {
    DWORD got = 0;
    ReadFile(handle_, dst + take, n - take, &got, nullptr);
    take += std::min<uint32_t>(got, n - take);
    reset();
  }
  return static_cast<int32_t>(take);
}

int32_t HandleStream::write(const uint8_t* src, uint32_t n) {
  if (!isOpenFor(kWriting) || (src == nullptr && n != 0)) return -1;
  n = std::min(n, kMaxStreamTransfer);
  if (pos_ == limit_) flush();
  uint32_t take = std::min(limit_ - pos_, n);
  if (take != 0) std::memcpy(buffer_ + pos_, src, take);
  pos_ += take;
  if (n > take) {
    flush();
    DWORD written = 0;
    WriteFile(handle_, src + take, n - take, &written, nullptr);
    take += std::min<uint32_t>(written, n - take);
  }
  return static_cast<int32_t>(take);
}

// Copies from another stream through the buffer, a buffer's worth at a time; stops early
// when the source runs dry. A stream cannot copy from itself: it is never open for reading
// and writing at once.
int32_t HandleStream::writeFrom(Stream& src, uint32_t n) {
  if (!isOpenFor(kWriting)) return -1;
  uint32_t wanted = std::min(n, kMaxStreamTransfer);
  if (pos_ == limit_) flush();
  uint32_t total = 0;
  while (wanted != 0) {
    uint32_t take = std::min(limit_ - pos_, wanted);
    int32_t got = src.read(buffer_ + pos_, take);
    if (got < 0) break;
    uint32_t delivered = std::min(static_cast<uint32_t>(got), take);
    pos_ += delivered;
    wanted -= delivered;
    total += delivered;
    if (delivered < take) break;
    if (wanted != 0) flush();
  }
  return static_cast<int32_t>(total);
}

// Read-ahead is dropped; pending output is written first, so a seek never loses it.
int32_t HandleStream::seek(int32_t position) {
  if (!isOpen()) return -1;
  if (mode_ == kWriting) flush();
  reset();
  return static_cast<int32_t>(SetFilePointer(handle_, position, nullptr, FILE_BEGIN));
}

int32_t HandleStream::tell() {
  int64_t position = tell64();
  if (position < 0 || position > kMaxStreamTransfer) return -1;
  return static_cast<int32_t>(position);
}

// The whole file, wherever the stream was opened. A file too large for a 32-bit count has
// no size that could be reported, rather than a wrong one: size64 reports it.
int32_t HandleStream::size() {
  int64_t bytes = size64();
  if (bytes < 0 || bytes > kMaxStreamTransfer) return -1;
  return static_cast<int32_t>(bytes);
}

int32_t HandleStream::atEnd() {
  if (!isOpen()) return 0;
  int64_t position = tell64();
  return position >= 0 && position == size64() ? 1 : 0;
}

int64_t HandleStream::seek64(uint64_t position) {
  if (!isOpen() || position > static_cast<uint64_t>(INT64_MAX)) return -1;
  if (mode_ == kWriting) flush();
  reset();
  const int64_t wanted = static_cast<int64_t>(position);
  return platform::seekFileTo(handle_, wanted) ? wanted : -1;
}

int64_t HandleStream::tell64() {
  if (!isOpen()) return -1;
  LARGE_INTEGER none;
  none.QuadPart = 0;
  LARGE_INTEGER filePointer;
  if (!SetFilePointerEx(handle_, none, &filePointer, FILE_CURRENT)) return -1;
  // Reading: the file pointer is ahead by the bytes buffered but not handed out. Writing:
  // it is behind by the bytes waiting in the buffer.
  int64_t position = mode_ == kReading ? filePointer.QuadPart - (limit_ - pos_) : filePointer.QuadPart + pos_;
  return position < 0 ? -1 : position;
}

int64_t HandleStream::size64() {
  if (!isOpen()) return -1;
  LARGE_INTEGER bytes;
  if (!GetFileSizeEx(handle_, &bytes) || bytes.QuadPart < 0) return -1;
  return bytes.QuadPart;
}

FileStream::~FileStream() { FileStream::close(); }

int32_t FileStream::openNamed(uintptr_t name, DWORD access, DWORD share, DWORD disposition, Mode mode) {
  close();
  HANDLE handle = name != 0 ? createFile(name, access, share, disposition) : INVALID_HANDLE_VALUE;
  return adopt(handle, mode);
}

HANDLE FileStream::createFile(uintptr_t name, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileA(reinterpret_cast<const char*>(name), access, share, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE WideFileStream::createFile(uintptr_t name, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileW(reinterpret_cast<const WCHAR*>(name), access, share, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

int32_t FileStream::openRead(uintptr_t source, uint32_t) {
  return openNamed(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, kReading);
}

int32_t FileStream::openWrite(uintptr_t source, uint32_t) {
  return openNamed(source, GENERIC_WRITE, 0, CREATE_ALWAYS, kWriting);
}

void FileStream::close() {
  if (!isOpen()) return;
  HANDLE handle = handle_;
  HandleStream::close();  // writes what is pending, then lets go of the handle
  CloseHandle(handle);
}

}  // namespace support
