#include "converter/fcg_splitter.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "converter/messages.h"
#include "converter/output_namer.h"
#include "platform/file_seek.h"

namespace vantrel {

namespace {

constexpr uint64_t kMaxTableBytes = SIZE_MAX < UINT32_MAX ? SIZE_MAX : UINT32_MAX;

bool readFully(HANDLE file, void* buffer, uint32_t length) {
  DWORD got = 0;
  return ReadFile(file, buffer, length, &got, nullptr) && got == length;
}

bool writeFully(HANDLE file, const void* buffer, uint32_t length) {
  DWORD put = 0;
  return WriteFile(file, buffer, length, &put, nullptr) && put == length;
}

uint64_t fileSizeOf(HANDLE file) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  return static_cast<uint64_t>(high) << 32 | low;
}

// One split of one open container.
class FcgSplit {
 public:
  FcgSplit(HANDLE container, MessageLog& log, Clock& clock)
      : container_(container), size_(fileSizeOf(container)), log_(log), namer_(clock) {
    namer_.setExtension(kOutputExtension);
    namer_.setPattern(kOutputPattern);
  }

  // 0 when every image was written, 1 when the container was stopped.
  int run() {
    uint8_t header[kFcgHeaderSize];
    if (size_ < kFcgHeaderSize || !readAt(container_, 0, header, kFcgHeaderSize)) {
      log_.append(messages::kHeaderTruncated);
      return 1;
    }
    uint32_t count = readU32(header + kImageCountOffset);
    if (!readTable(count)) return 1;
    for (uint32_t i = 0; i < count; ++i) {
      if (!writeImage(i)) return 1;
    }
    return reportWritten(true) ? 0 : 1;
  }

 private:
  bool readTable(uint32_t count) {
    // The table must lie inside the file, which also bounds what it can make us allocate.
    uint64_t tableBytes = static_cast<uint64_t>(count) * kFcgEntrySize;
    if (tableBytes > size_ - kFcgHeaderSize) {
      appendFormat(log_, messages::kTableOutsideFormat, static_cast<unsigned long>(count));
      return false;
    }
    if (tableBytes == 0) return true;
    // The table is read in one call, so it must also fit one read and one allocation.
    if (tableBytes > kMaxTableBytes ||
        !(table_ = std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[static_cast<size_t>(tableBytes)]))) {
      appendFormat(log_, messages::kTableNoMemoryFormat, static_cast<unsigned long>(count));
      return false;
    }
    if (!readAt(container_, kFcgHeaderSize, table_.get(), static_cast<uint32_t>(tableBytes))) {
      log_.append(messages::kTableReadFailed);
      return false;
    }
    return true;
  }

  bool writeImage(uint32_t index) {
    const uint8_t* entry = table_.get() + static_cast<size_t>(index) * kFcgEntrySize;
    const uint64_t recordOffset = readU32(entry);
    const uint64_t payloadOffset = readU32(entry + 4);
    const unsigned long number = static_cast<unsigned long>(index) + 1;

    // Everything is checked against the file before an output file exists. What goes wrong
    // is told after the image before it has been settled: the log keeps table order.
    ImageCopy copy;
    const uint64_t headerOffset = recordOffset + kRecordPrefixSize;
    if (headerOffset + kGgaHeaderSize > size_) {
      return reportWritten(true) && stopWith(messages::kRecordOutsideFormat, number);
    }
    if (!readAt(container_, headerOffset, copy.header, kGgaHeaderSize)) {
      return reportWritten(true) && stopWith(messages::kReadFailedFormat, number);
    }
    copy.payloadOffset = payloadOffset;
    copy.dataSize = readU32(copy.header + kGgaDataSizeOffset);
    if (payloadOffset + copy.dataSize > size_) {
      return reportWritten(true) && stopWith(messages::kDataOutsideFormat, number);
    }

    // The lane takes a large image whenever it has room; meanwhile this thread goes on, so
    // several images may be written before those in the lane are reported.
    settleDoneLaneImages();
    if (copy.dataSize >= kLaneMinimumBytes && lane() != nullptr && lane_->hasRoom()) {
      const char* name = namer_.nextName();
      if (name == nullptr) return reportWritten(true) && stopWithoutName(nullptr);
      lane_->start(copy, name);
      written_.push_back(Written{name, copy, ImageResult::kWritten, true});
    } else {
      Written image{"", copy, ImageResult::kWritten, false};
      if (!writeUnderFreeName(image)) return reportWritten(true) && stopAt(image);
      written_.push_back(std::move(image));
    }
    return reportWritten(written_.size() >= kMaxUnreported);
  }

  // An image on its way to its file, not yet reported.
  struct Written {
    std::string name;
    ImageCopy copy;
    ImageResult result;
    bool inLane;  // still in the lane; result is not known yet

    // Whether its file was made by this split (and so is this split's to delete).
    bool made() const { return result == ImageResult::kWritten || result == ImageResult::kWriteFailed; }
  };
  // How many images may wait for those in the lane before this thread waits too.
  static constexpr size_t kMaxUnreported = 64;

  // Reports the written images in table order, as far as they are done; with wait, waits for
  // the lane so that all of them are. An image whose name the lane found taken is written here
  // under the next free name. The first image that failed is reported (and its partial file
  // deleted), and the images after it are deleted unreported: the split ends there, as if they
  // had never been started. False when that happened.
  bool reportWritten(bool wait) {
    while (!written_.empty()) {
      Written& image = written_.front();
      if (image.inLane && !lane_->oldestDone()) {
        if (!wait) return true;
        writeWaitingLaneImages();  // this one too, if the lane has not started it yet
      }
      if (image.inLane) settle(image);
      if (image.result == ImageResult::kNameTaken) writeUnderFreeName(image);
      if (image.result != ImageResult::kWritten) {
        stopAt(image);
        written_.pop_front();
        discardWritten();
        return false;
      }
      appendFormat(log_, messages::kSizeLineFormat, image.name.c_str(),
                   static_cast<unsigned long long>(kGgaHeaderSize) + image.copy.dataSize);
      written_.pop_front();
    }
    return true;
  }

  // Takes the oldest image in the lane back, once it is settled; it keeps its place in the
  // report. The images in the lane are in table order, as are those in written_.
  void settle(Written& image) {
    image.result = lane_->finishOldest();
    image.inLane = false;
  }

  // Writes here, newest first, the images still waiting in the lane, rather than wait while the
  // lane works through them one by one. Each keeps the name it was given.
  void writeWaitingLaneImages() {
    for (auto image = written_.rbegin(); image != written_.rend(); ++image) {
      if (!image->inLane) continue;
      if (!lane_->takeBackNewest()) return;
      image->inLane = false;
      image->result = writeNewImage(image->name.c_str(), image->copy, container_, buffer_);
    }
  }

  // Takes back every image the lane is done with, making room for the next ones.
  void settleDoneLaneImages() {
    for (Written& image : written_) {
      if (!image.inLane) continue;
      if (!lane_->oldestDone()) return;
      settle(image);
    }
  }

  // Deletes the files of the images not reported; a file the split did not make is left alone.
  void discardWritten() {
    for (Written& image : written_) {  // in table order, the lane's order
      if (image.inLane) settle(image);
      if (image.made()) DeleteFileA(image.name.c_str());
    }
    written_.clear();
  }

  bool stopWith(const char* format, unsigned long number) {
    appendFormat(log_, format, number);
    return false;
  }

  // The line for an image that was not written, whose partial file is deleted: a partial image
  // is worse than none. False, as the split ends there.
  bool stopAt(const Written& image) {
    if (image.result != ImageResult::kWriteFailed) {
      return stopWithoutName(image.name.empty() ? nullptr : image.name.c_str());
    }
    DeleteFileA(image.name.c_str());
    appendFormat(log_, messages::kCopyFailedFormat, image.name.c_str());
    return false;
  }

  // The line for an image that got no file: no free name, or one that could not be made.
  bool stopWithoutName(const char* name) {
    if (name == nullptr) {
      log_.append(messages::kNamesExhausted);
    } else {
      appendFormat(log_, messages::kCreateFailedFormat, name);
    }
    return false;
  }

  // The lane, started with the first image large enough for it; null when the system cannot
  // give it a thread or a handle of its own (images are then all copied here).
  CopyLane* lane() {
    if (!lane_) lane_ = std::make_unique<CopyLane>(container_);
    return lane_->ready() ? lane_.get() : nullptr;
  }

  // Writes the image here under the namer's next free name. A name that turns up taken (a file
  // another program put there after the namer looked) counts as taken, and the next one is
  // tried. A new file is also what keeps the write fast: replacing means truncating, and some
  // Linux file systems under wine write a truncated file out in full when it is closed.
  // False when no file was made: image.name is then the name that failed, or empty when no
  // name is free.
  bool writeUnderFreeName(Written& image) {
    std::string firstRefused;
    for (;;) {
      const char* name = namer_.nextName();
      if (name == nullptr || firstRefused == name) {
        image.name.clear();
        return false;
      }
      image.name = name;
      image.result = writeNewImage(name, image.copy, container_, buffer_);
      if (image.result != ImageResult::kNameTaken) return image.result != ImageResult::kNotCreated;
      if (firstRefused.empty()) firstRefused = name;
    }
  }

  HANDLE container_;
  uint64_t size_;
  MessageLog& log_;
  OutputNamer namer_;
  std::unique_ptr<uint8_t[]> table_;
  CopyBuffer buffer_;
  std::unique_ptr<CopyLane> lane_;
  std::deque<Written> written_;
};

void appendTiming(MessageLog& log, uint32_t elapsed) {
  appendFormat(log, messages::kTimingLineFormat, static_cast<unsigned long>(elapsed / 1000),
               static_cast<unsigned long>(elapsed % 1000));
}

}  // namespace

uint32_t readU32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool readAt(HANDLE file, uint64_t position, void* buffer, uint32_t length) {
  return platform::seekFileTo(file, static_cast<int64_t>(position)) && readFully(file, buffer, length);
}

bool copyImage(const ImageCopy& copy, HANDLE container, CopyBuffer& buffer) {
  const bool copied = platform::seekFileTo(container, static_cast<int64_t>(copy.payloadOffset)) &&
                      copyBytes(copy.output, copy.header, kGgaHeaderSize, container, copy.dataSize, buffer) == 0;
  return CloseHandle(copy.output) && copied;  // closing may be where a full disk shows
}

ImageResult writeNewImage(const char* name, ImageCopy copy, HANDLE container, CopyBuffer& buffer) {
  copy.output = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (copy.output == INVALID_HANDLE_VALUE) {
    const DWORD why = GetLastError();
    return why == ERROR_FILE_EXISTS || why == ERROR_ALREADY_EXISTS ? ImageResult::kNameTaken
                                                                   : ImageResult::kNotCreated;
  }
  return copyImage(copy, container, buffer) ? ImageResult::kWritten : ImageResult::kWriteFailed;
}

void CopyBuffer::reserve(uint32_t bytes) {
  uint32_t wanted = bytes < kCopyBufferSize ? bytes : kCopyBufferSize;
  if (wanted <= size_) return;
  std::unique_ptr<uint8_t[]> larger(new (std::nothrow) uint8_t[wanted]);
  if (!larger) return;
  large_ = std::move(larger);
  size_ = wanted;
}

CopyLane::CopyLane(HANDLE container)
    : container_(ReOpenFile(container, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0)) {
  if (container_ == INVALID_HANDLE_VALUE) return;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // no thread: the lane is not ready, and every image is copied by the splitting thread
  }
}

CopyLane::~CopyLane() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  if (container_ != INVALID_HANDLE_VALUE) CloseHandle(container_);
}

bool CopyLane::hasRoom() {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size() < kLaneDepth;
}

void CopyLane::start(const ImageCopy& copy, const char* name) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(Job{copy, name});
  }
  changed_.notify_all();
}

bool CopyLane::oldestDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  return settled_ != 0;
}

ImageResult CopyLane::finishOldest() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return settled_ != 0; });
  const ImageResult result = jobs_.front().result;
  jobs_.pop_front();
  --settled_;
  return result;
}

bool CopyLane::takeBackNewest() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (jobs_.size() == settled_ + (writing_ ? 1 : 0)) return false;
  jobs_.pop_back();
  return true;
}

void CopyLane::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || settled_ < jobs_.size(); });
    if (closing_) return;  // images still waiting are never started: no file of theirs exists
    const Job job = jobs_[settled_];
    writing_ = true;
    lock.unlock();
    const ImageResult result = writeNewImage(job.name.c_str(), job.copy, container_, buffer_);
    lock.lock();
    jobs_[settled_].result = result;
    ++settled_;
    writing_ = false;
    changed_.notify_all();
  }
}

int copyBytes(HANDLE output, const uint8_t* lead, uint32_t leadLength, HANDLE input, uint32_t length,
              CopyBuffer& buffer) {
  buffer.reserve(length < kCopyBufferSize - leadLength ? leadLength + length : kCopyBufferSize);
  if (leadLength != 0) std::memcpy(buffer.data(), lead, leadLength);
  uint32_t filled = leadLength;  // bytes already in the buffer, in front of the next read
  while (filled != 0 || length != 0) {
    const uint32_t room = buffer.size() - filled;
    const uint32_t chunk = length < room ? length : room;
    if (chunk != 0 && !readFully(input, buffer.data() + filled, chunk)) return 1;
    if (!writeFully(output, buffer.data(), filled + chunk)) return 1;
    length -= chunk;
    filled = 0;
  }
  return 0;
}

namespace {

// The split of a container opened (or not) by one of the two splitFcgFile forms.
int splitOpenedFile(HANDLE container, uint32_t start, MessageLog& log, Clock& clock) {
  if (container == INVALID_HANDLE_VALUE) {
    log.append(messages::kInputOpenFailed);
    return 1;
  }
  int result;
  {
    FcgSplit split(container, log, clock);
    result = split.run();
  }  // the table and the namer go before the container is closed
  CloseHandle(container);
  appendTiming(log, clock.tickCount() - start);  // modulo 2^32, as the tick count wraps
  return result;
}

constexpr DWORD kContainerShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

int splitFcgFile(const WCHAR* path, MessageLog& log, Clock& clock) {
  const uint32_t start = clock.tickCount();
  HANDLE container = CreateFileW(path, GENERIC_READ, kContainerShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return splitOpenedFile(container, start, log, clock);
}

int splitFcgFile(const char* path, MessageLog& log, Clock& clock) {
  const uint32_t start = clock.tickCount();
  HANDLE container = CreateFileA(path, GENERIC_READ, kContainerShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return splitOpenedFile(container, start, log, clock);
}

void convertInputFile(const WCHAR* path, MessageLog& log, Clock& clock) {
  static const WCHAR kNoName[] = {0};
  log.append(messages::kInputHeader);
  log.appendName(path ? path : kNoName);
  log.append(messages::kLineEnd);
  splitFcgFile(path, log, clock);
}

}  // namespace vantrel
