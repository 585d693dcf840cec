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

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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
// Images of at least this size are copied on a second thread (a CopyLane) while the splitting
// thread goes on with the next image; smaller ones are not worth the hand-over.
constexpr uint32_t kLaneMinimumBytes = 1u << 20;
// The images the lane may hold: the one it writes and the next ones, waiting, so that it never
// runs dry while the splitting thread copies an image of its own (under wine two waiting
// images were about 1.1x faster than one; three were no faster than two).
constexpr size_t kLaneDepth = 3;
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

// Writes lead (leadLength bytes, fewer than kSmallCopyBufferSize), then length bytes from
// input's current position, to output's current position through buffer, grown for both
// first. The lead goes out in the same write as the first bytes read, so that every later
// write begins a whole number of buffer sizes after the first: in a new file each piece then
// fills whole pages of the system's cache instead of patching the page the one before left
// half filled (under wine on ext4 the split became 1.1-1.3x faster). Returns 0 when all of
// them were written, 1 when a read came short or failed or a write failed.
int copyBytes(HANDLE output, const uint8_t* lead, uint32_t leadLength, HANDLE input, uint32_t length,
              CopyBuffer& buffer);

// One image to write: its new, empty file, the header bytes and where its data lies.
struct ImageCopy {
  HANDLE output = INVALID_HANDLE_VALUE;
  uint8_t header[kGgaHeaderSize] = {};
  uint64_t payloadOffset = 0;
  uint32_t dataSize = 0;
};

// What became of an image: written whole, or where it stopped.
enum class ImageResult {
  kWritten,
  kWriteFailed,  // its file was made, and a read, a write or the closing failed
  kNameTaken,    // an entry of its name turned up in the folder: no file was made
  kNotCreated,   // its file could not be made for another reason
};

// The container's integers: unsigned 32-bit little-endian.
uint32_t readU32(const uint8_t* bytes);
// Every read of the container goes through here: the whole range at position, or false.
bool readAt(HANDLE file, uint64_t position, void* buffer, uint32_t length);
// Writes an image's header and data (read from container) into its file and closes it; false
// when anything failed.
bool copyImage(const ImageCopy& copy, HANDLE container, CopyBuffer& buffer);
// Makes a new file named name (never one that exists: a file another program put there is not
// replaced) and writes the image into it through copyImage; copy.output is ignored.
ImageResult writeNewImage(const char* name, ImageCopy copy, HANDLE container, CopyBuffer& buffer);

// A second thread that writes images one after another, each file made, filled and closed
// there, so that two images are written at once: a split's time is mostly the system making
// files and moving bytes, and two threads get more of that done. An image may wait in the
// lane while the one before it is written, so that the lane has its next image at hand when
// it is done with one. The lane reads the container through a handle of its own. Each image is
// still written whole by one thread, from its start to its end, and the splitting thread
// reports them in table order.
class CopyLane {
 public:
  // Opens the container anew for the lane's reads and starts the thread; ready() says whether
  // both worked.
  explicit CopyLane(HANDLE container);
  ~CopyLane();
  CopyLane(const CopyLane&) = delete;
  CopyLane& operator=(const CopyLane&) = delete;

  bool ready() const { return thread_.joinable(); }
  // Whether one more image may be handed over: the lane holds fewer than kLaneDepth.
  bool hasRoom();
  // Hands an image over, to be written after those before it as writeNewImage(name, copy)
  // writes it.
  void start(const ImageCopy& copy, const char* name);
  // Whether the oldest image in the lane is settled: written and closed, or stopped.
  bool oldestDone();
  // Waits until it is and takes it out of the lane; what became of it.
  ImageResult finishOldest();
  // Takes the newest image back if the lane has not started it; true when it did.
  bool takeBackNewest();

 private:
  struct Job {
    ImageCopy copy;
    std::string name;
    ImageResult result = ImageResult::kWritten;
  };
  void run();

  HANDLE container_;
  CopyBuffer buffer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;  // in the order handed over; the first `settled_` are done
  size_t settled_ = 0;
  bool writing_ = false;  // jobs_[settled_] is being written
  bool closing_ = false;
  std::thread thread_;  // last: it starts once everything it uses is in place
};

// What the window does for every dropped or named file: the header lines with the path, then
// the split.
void convertInputFile(const WCHAR* path, MessageLog& log, Clock& clock = systemClock());

}  // namespace vantrel
