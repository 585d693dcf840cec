// GGA probe, info and pixel decoding (the layout is drawn in gga_format.h).
//
// The codes are read out of a window of memory that is topped up from the stream whenever
// less than one whole code is left in it, so the hot loop reads plain bytes with its end
// checked, and a code's operands are either all there or the data has ended. The pixels go
// straight into the host's bottom-up rows: the codes see one top-down run of pixels, and
// the canvas below maps each position to its place in memory.
//
// Damaged data ends decoding and keeps what was decoded: the codes running out, operands
// cut off, code 8, and every back reference that does not reach a pixel already written
// (distance 0, a distance beyond the first pixel, a repeat before the first pixel, codes
// 9-11 before the row above exists). Nothing is ever read or written outside the bitmap.
#include "gga_plugin/gga_decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace gga {
namespace {

// Oslin answers input that is not GGA with 4, as the registry does when no class accepts.
constexpr int32_t kNotGga = spi::kNoMemory;

// Operand bytes after each code below kFirstLiteral.
constexpr uint8_t kOperandBytes[kFirstLiteral] = {1, 2, 1, 2, 2, 3, 3, 4, 0, 0, 0, 0};

inline uint32_t u16At(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }

// Pixel codes pulled from the stream into memory.
class CodeWindow {
 public:
  explicit CodeWindow(support::Stream& input) : input_(input) {}

  bool allocate() {
    buffer_.reset(new (std::nothrow) uint8_t[kCodeWindowBytes]);
    next = end = buffer_.get();
    return buffer_ != nullptr;
  }

  size_t available() const { return static_cast<size_t>(end - next); }

  // Makes room for one whole code unless the stream has ended.
  void topUp() {
    size_t kept = available();
    if (kept >= kLongestCodeBytes || exhausted_) return;
    uint8_t* start = buffer_.get();
    std::memmove(start, next, kept);
    uint8_t* fill = start + kept;
    uint8_t* const limit = start + kCodeWindowBytes;
    while (fill < limit) {
      uint32_t room = static_cast<uint32_t>(limit - fill);
      int32_t got = input_.read(fill, room);
      if (got <= 0) {
        exhausted_ = true;
        break;
      }
      fill += std::min(static_cast<uint32_t>(got), room);
    }
    next = start;
    end = fill;
  }

  const uint8_t* next = nullptr;
  const uint8_t* end = nullptr;

 private:
  support::Stream& input_;
  std::unique_ptr<uint8_t[]> buffer_;
  bool exhausted_ = false;
};

// The bitmap as the codes see it: one run of width x height pixels, top row first, while
// in memory the rows lie bottom-up. Callers never pass more pixels than are left, and
// copy only from distances that `reaches` accepted.
class BottomUpCanvas {
 public:
  BottomUpCanvas(uint8_t* bits, uint32_t width, uint32_t height)
      : width_(width),
        stride_(static_cast<size_t>(width) * kBytesPerPixel),
        total_(static_cast<uint64_t>(width) * height),
        row_(bits + stride_ * (height - 1)) {}

  uint64_t left() const { return total_ - written_; }
  bool full() const { return written_ == total_; }
  // True when the pixel `distance` positions back has been written.
  bool reaches(uint64_t distance) const { return distance != 0 && distance <= written_; }

  void putLiterals(const uint8_t* src, uint32_t pixels) {
    while (pixels != 0) {
      uint32_t piece = std::min(pixels, width_ - column_);
      std::memcpy(cursor(), src, static_cast<size_t>(piece) * kBytesPerPixel);
      src += static_cast<size_t>(piece) * kBytesPerPixel;
      advance(piece);
      pixels -= piece;
    }
  }

  // The first bytes of a pixel whose rest the data does not hold.
  void putPartial(const uint8_t* src, size_t bytes) {
    if (!full()) std::memcpy(cursor(), src, bytes);
  }

  // `count` pixels, each from `distance` back, front to back. Pieces never cross the end of
  // a row on either side; a piece within one row that overlaps its source repeats the
  // pattern, as copying pixel by pixel would.
  void copy(uint32_t distance, uint32_t count) {
    while (count != 0) {
      uint8_t* dst = cursor();
      uint32_t piece = std::min(count, width_ - column_);
      if (distance <= column_) {
        const uint8_t* src = dst - static_cast<size_t>(distance) * kBytesPerPixel;
        if (distance >= piece) std::memcpy(dst, src, static_cast<size_t>(piece) * kBytesPerPixel);
        else repeatPattern(dst, distance, piece);
      } else {
        uint32_t beyond = distance - column_ - 1;  // pixels back from the end of the row above
        uint32_t rowsBack = 1 + beyond / width_;
        uint32_t sourceColumn = width_ - 1 - beyond % width_;
        const uint8_t* src = row_ + stride_ * rowsBack + static_cast<size_t>(sourceColumn) * kBytesPerPixel;
        piece = std::min(piece, width_ - sourceColumn);
        std::memcpy(dst, src, static_cast<size_t>(piece) * kBytesPerPixel);
      }
      advance(piece);
      count -= piece;
    }
  }

 private:
  uint8_t* cursor() const { return row_ + static_cast<size_t>(column_) * kBytesPerPixel; }

  void advance(uint32_t pixels) {
    written_ += pixels;
    column_ += pixels;
    if (column_ == width_) {
      column_ = 0;
      if (!full()) row_ -= stride_;  // the next row of the picture lies below in memory
    }
  }

  // dst[i] = dst[i - distance] for i < count, with distance < count: the first period is
  // copied from before dst, then the written part is doubled, always a whole number of
  // periods long.
  static void repeatPattern(uint8_t* dst, uint32_t distance, uint32_t count) {
    size_t period = static_cast<size_t>(distance) * kBytesPerPixel;
    size_t total = static_cast<size_t>(count) * kBytesPerPixel;
    std::memcpy(dst, dst - period, period);
    size_t filled = period;
    while (filled < total) {
      size_t piece = std::min(filled, total - filled);
      std::memcpy(dst + filled, dst, piece);
      filled += piece;
    }
  }

  const uint32_t width_;
  const size_t stride_;
  const uint64_t total_;
  uint8_t* row_;  // start of the current row in memory
  uint32_t column_ = 0;
  uint64_t written_ = 0;
};

// Runs codes until the picture is full or the data ends or turns out damaged.
void runCodes(CodeWindow& codes, BottomUpCanvas& canvas, uint32_t width) {
  while (!canvas.full()) {
    codes.topUp();
    if (codes.available() == 0) return;
    uint32_t code = *codes.next++;

    if (code >= kFirstLiteral) {
      uint32_t pixels = static_cast<uint32_t>(std::min<uint64_t>(code - kLiteralBias, canvas.left()));
      size_t bytes = static_cast<size_t>(pixels) * kBytesPerPixel;
      if (codes.available() < bytes) {  // the data ends inside the literal
        uint32_t whole = static_cast<uint32_t>(codes.available() / kBytesPerPixel);
        canvas.putLiterals(codes.next, whole);
        canvas.putPartial(codes.next + static_cast<size_t>(whole) * kBytesPerPixel,
                          codes.available() % kBytesPerPixel);
        return;
      }
      canvas.putLiterals(codes.next, pixels);
      codes.next += bytes;
      continue;
    }

    if (codes.available() < kOperandBytes[code]) return;  // operands cut off
    const uint8_t* op = codes.next;
    uint32_t distance = 1;
    uint32_t count = 1;
    switch (code) {
      case kRepeatShort: count = op[0]; break;
      case kRepeatLong: count = u16At(op); break;
      case kCopyOneNear: distance = op[0]; break;
      case kCopyOneFar: distance = u16At(op); break;
      case kCopyNearShort: distance = op[0]; count = op[1]; break;
      case kCopyNearLong: distance = op[0]; count = u16At(op + 1); break;
      case kCopyFarShort: distance = u16At(op); count = op[2]; break;
      case kCopyFarLong: distance = u16At(op); count = u16At(op + 2); break;
      case kCopyAbove: distance = width; break;
      case kCopyAboveLeft: distance = width + 1; break;
      case kCopyAboveRight: distance = width - 1; break;
      default: return;  // code 8 has no meaning of its own
    }
    codes.next += kOperandBytes[code];
    if (count == 0) continue;
    if (!canvas.reaches(distance)) return;
    canvas.copy(distance, static_cast<uint32_t>(std::min<uint64_t>(count, canvas.left())));
  }
}

}  // namespace

bool readHeader(support::Stream& input, GgaHeader& header) {
  input.seek(0);
  return input.read(reinterpret_cast<uint8_t*>(&header), kHeaderSize) == static_cast<int32_t>(kHeaderSize);
}

bool isAcceptedHeader(const GgaHeader& header) {
  return std::memcmp(header.magic, kMagic, sizeof kMagic) == 0 && header.width != 0 && header.height != 0 &&
         header.reserved == 0 && header.bitsPerPixel == kBitsPerPixel && header.codeOffset >= kHeaderSize &&
         header.dataSize != 0 && static_cast<uint64_t>(header.auxSize) + kHeaderSize == header.codeOffset &&
         header.auxOffset == kAuxOffset;
}

int32_t GgaDecoder::probe(support::Stream& input) {
  GgaHeader header;
  return readHeader(input, header) && isAcceptedHeader(header) ? 1 : 0;
}

int32_t GgaDecoder::getInfo(spi::PictureInfo* info) {
  GgaHeader header;
  if (info == nullptr) return spi::kNotSupported;
  // The header is checked again: the bitmap is sized from these values, and decode must
  // agree with them whatever the stream held when it was probed.
  if (stream == nullptr || !readHeader(*stream, header) || !isAcceptedHeader(header)) return kNotGga;
  std::memset(info, 0, sizeof *info);
  info->width = header.width;
  info->height = header.height;
  info->colorDepth = header.bitsPerPixel;
  reportedWidth_ = header.width;
  reportedHeight_ = header.height;
  return spi::kSuccess;
}

int32_t GgaDecoder::getPalette(uint8_t*) { return spi::kSuccess; }

int32_t GgaDecoder::decode(uint8_t* bits, support::ProgressNotifier&) {
  GgaHeader header;
  if (bits == nullptr) return spi::kNotSupported;
  if (stream == nullptr || !readHeader(*stream, header) || !isAcceptedHeader(header)) return kNotGga;
  const bool reported = reportedWidth_ != 0;
  if (reported && (header.width != reportedWidth_ || header.height != reportedHeight_)) return spi::kReadError;
  CodeWindow codes(*stream);
  if (!codes.allocate()) return spi::kNoMemory;
  // Stream positions are signed 32-bit. A code offset they cannot reach, or a seek that
  // did not land there, means the picture has no codes: it stays all zero.
  if (header.codeOffset > static_cast<uint32_t>(INT32_MAX)) return spi::kSuccess;
  const int32_t codeOffset = static_cast<int32_t>(header.codeOffset);
  stream->seek(codeOffset);
  if (stream->tell() != codeOffset) return spi::kSuccess;
  BottomUpCanvas canvas(bits, header.width, header.height);
  runCodes(codes, canvas, header.width);
  return spi::kSuccess;
}

}  // namespace gga
