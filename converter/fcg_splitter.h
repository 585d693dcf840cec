// Splitting FCG containers into standalone GGA files (".gg0") in the working directory.
//
// FCG container (all integers u32 little-endian, all positions absolute):
//
//   0   8 bytes   not read
//   8   u32       imageCount
//   12  20 bytes  not read
//   32  imageCount entries of 8 bytes:  u32 recordOffset, u32 payloadOffset
//
//   image record at recordOffset:  4 bytes not read, then the 48-byte GGA header, whose
//                                  u32 at header byte 20 is dataSize
//   image data at payloadOffset:   dataSize bytes
//
// Each output file is the 48 header bytes unchanged followed by the dataSize data bytes.
// Entries may lie in any order, overlap or share data: everything is read where the table says.
#pragma once

#include <cstdint>
#include <memory>

#include "converter/clock.h"
#include "converter/message_log.h"
#include "platform/win32.h"

namespace vantrel {

constexpr uint32_t kFcgHeaderSize = 32;
constexpr uint32_t kImageCountOffset = 8;
constexpr uint32_t kFcgEntrySize = 8;
constexpr uint32_t kRecordPrefixSize = 4;   // bytes in front of the header in an image record
constexpr uint32_t kGgaHeaderSize = 48;
constexpr uint32_t kGgaDataSizeOffset = 20;
// Image data moves in pieces of up to this size: large pieces keep the copy at the pace of the
// disk (a 512-byte buffer spent most of its time in the system calls), and the memory stays
// constant whatever the image size. Pieces that stay in the processor's cache between the read
// and the write are faster still: under wine 1 MiB pieces took about twice as long as these.
constexpr uint32_t kCopyBufferSize = 256u << 10;
// The buffer inside the object: enough for small images, and what is left when the heap
// cannot give a larger one.
constexpr uint32_t kSmallCopyBufferSize = 4096;
constexpr char kOutputExtension[] = ".gg0";
constexpr char kOutputPattern[] = "fcg_%6n";

// Splits the container at path into the working directory and reports every file written,
// and the time taken, to log. Returns 0 when every image was written and 1 when the container
// cannot be opened or had to be stopped (damaged, no free name, an output file that cannot be
// created or written); the reason is in the log. Nothing is left behind of an image that was
// not written completely. The path is UTF-16, or text of the system's ANSI code page.
int splitFcgFile(const WCHAR* path, MessageLog& log, Clock& clock = systemClock());
int splitFcgFile(const char* path, MessageLog& log, Clock& clock = systemClock());

// The one buffer a split copies through. It starts as the small buffer inside the object and
// grows, up to kCopyBufferSize, to the largest image copied so far; when the heap has nothing
// to give it stays as it is (the copy is then slower, never refused).
class CopyBuffer {
 public:
  CopyBuffer() = default;
  CopyBuffer(const CopyBuffer&) = delete;
  CopyBuffer& operator=(const CopyBuffer&) = delete;
  // Makes the buffer hold min(bytes, kCopyBufferSize) bytes if it holds fewer.
  void reserve(uint32_t bytes);
  uint8_t* data() { return large_ ? large_.get() : small_; }
  uint32_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> large_;
  uint8_t small_[kSmallCopyBufferSize];
  uint32_t size_ = kSmallCopyBufferSize;
};

// Copies length bytes from input's current position to output's current position through
// buffer, grown for this length first. Returns 0 when all of them were copied, 1 when a read
// came short or failed or a write failed.
int copyBytes(HANDLE output, HANDLE input, uint32_t length, CopyBuffer& buffer);

// What the window does for every dropped or named file: the header lines with the path, then
// the split.
void convertInputFile(const WCHAR* path, MessageLog& log, Clock& clock = systemClock());

}  // namespace vantrel
