// The GGD picture header check and pixel decoder; the format is drawn in ggd_picture.h.
#include "ggd_image_plugin/ggd_picture.h"

#include <algorithm>
#include <cstring>

namespace gorsel {

namespace {

uint16_t readU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t readU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Bytes of operands after each of the operation bytes 00..04.
constexpr int64_t kOperandBytes[kFirstLiteralOp] = {1, 2, 3, 1, 2};

// Short operations are copied in whole 16-byte pieces that may write up to 15 bytes past
// the operation's end, where later operations write anyway. That is done only while at
// least kSlack bytes of room (and of input, for literals) lie beyond the operation. Nothing
// ahead of the output position is read: a copy from distance 0 writes the zeros that a
// fresh block holds, and decoding clears whatever the stream did not produce.
constexpr size_t kPiece = 16;
constexpr size_t kSlack = kPiece;

inline void copyPiece(uint8_t* to, const uint8_t* from) {
  uint8_t piece[kPiece];
  std::memcpy(piece, from, kPiece);  // all loaded before anything is stored
  std::memcpy(to, piece, kPiece);
}

// `bytes` bytes in pieces, writing up to 15 more. Correct when the source lies at least a
// piece behind the destination, or when one piece covers `bytes` and the source's first
// `bytes` bytes lie behind the destination.
inline void copyInPieces(uint8_t* to, const uint8_t* from, size_t bytes) {
  for (size_t done = 0; done < bytes; done += kPiece) copyPiece(to + done, from + done);
}

// Exactly `bytes` bytes at `out`, as a forward byte-by-byte copy from `back` bytes behind.
inline void copyBackExact(uint8_t* out, size_t back, size_t bytes) {
  // Each byte onto itself gives the zero that a fresh block holds there.
  if (back == 0) {
    std::memset(out, 0, bytes);
    return;
  }
  if (back >= bytes) {
    std::memcpy(out, out - back, bytes);
    return;
  }
  // The output repeats its last `back` bytes. Copy that pattern in doubling spans: each span
  // is a whole number of periods and its source ends where its destination starts.
  size_t done = 0;
  size_t span = back;
  while (done < bytes) {
    size_t chunk = std::min(span, bytes - done);
    std::memcpy(out + done, out + done - span, chunk);
    done += chunk;
    span = back + done;
  }
}

// The smallest multiple of `back` that is also a multiple of a piece.
inline size_t wholePeriodsInPieces(size_t back) {
  size_t period = back;
  while (period % kPiece != 0) period += back;
  return period;
}

// The same with kSlack bytes of room past the end. A piece loaded from bytes that recent
// pieces stored only in part waits for those stores to finish, so copies from close behind
// are made in ways that avoid such loads.
inline void copyBackWithSlack(uint8_t* out, size_t back, size_t bytes) {
  if (back == 0) {
    std::memset(out, 0, bytes);
  } else if (bytes == kBytesPerPixel) {
    // One pixel, byte by byte: each byte was stored by a single earlier operation.
    const uint8_t* from = out - back;
    out[0] = from[0];
    out[1] = from[1];
    out[2] = from[2];
  } else if (back >= 2 * kPiece) {
    copyInPieces(out, out - back, bytes);
  } else if (bytes <= back) {
    std::memcpy(out, out - back, bytes);
  } else {
    // A short period: lay down whole periods byte by byte up to a multiple of the piece size
    // (a handful of bytes, cheaper so than calls), then copy on from that far back, each
    // piece loaded from exactly one earlier piece.
    const size_t period = wholePeriodsInPieces(back);
    const size_t exact = std::min(bytes, period);
    const uint8_t* from = out - back;
    for (size_t i = 0; i < exact; ++i) out[i] = from[i];
    if (bytes > period) copyInPieces(out + period, out, bytes - period);
  }
}

// The stream fills the block top row first; the bitmap wants the top row last. Swaps rows
// end for end and zeroes the bytes past each row's pixels, which the stream may have set.
void turnRowsBottomUp(uint8_t* bits, uint32_t stride, int height, uint32_t rowBytes) {
  uint8_t spare[4096];
  const size_t padding = stride - rowBytes;
  for (int top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
    uint8_t* upper = bits + static_cast<size_t>(top) * stride;
    uint8_t* lower = bits + static_cast<size_t>(bottom) * stride;
    for (size_t at = 0; top != bottom && at < rowBytes; at += sizeof spare) {
      size_t chunk = std::min(sizeof spare, rowBytes - at);
      std::memcpy(spare, upper + at, chunk);
      std::memcpy(upper + at, lower + at, chunk);
      std::memcpy(lower + at, spare, chunk);
    }
    std::memset(upper + rowBytes, 0, padding);
    std::memset(lower + rowBytes, 0, padding);
  }
}

// Runs the operations of the stream into the flat output [start, end). Returns 0 when the
// stream is used up, when an operation is cut off (not an error: the rest stays black) or
// once the last pixel of the last row is complete, kAborted or kDamaged. Whatever follows the
// last pixel is never read: hosts hand small files over in zero-filled buffers longer than
// the file, and only the last row's padding bytes would be left for such bytes to fill.
int runPixelStream(const uint8_t* stream, int64_t length, uint8_t* const start, uint8_t* const pixelsEnd,
                   uint8_t* const end, const Progress& progress) {
  const uint8_t* in = stream;
  const uint8_t* const inEnd = stream + length;
  uint8_t* out = start;
  // Reports come each time the unconsumed input falls below the threshold, about every tenth.
  const int64_t tenth = length / 10;
  int64_t threshold = length - tenth;

  while (in < inEnd) {
    const int64_t remaining = inEnd - in;
    if (remaining < threshold) {
      if (ReportProgress(progress, static_cast<int>(length - remaining), static_cast<int>(length))) return spi::kAborted;
      threshold = remaining - tenth;
    }
    if (out >= pixelsEnd) break;
    const size_t room = static_cast<size_t>(end - out);
    const uint8_t op = *in++;

    if (op >= kFirstLiteralOp) {
      const size_t bytes = static_cast<size_t>(op - 4) * kBytesPerPixel;
      if (static_cast<size_t>(inEnd - in) >= bytes + kSlack && room >= bytes + kSlack) {
        copyInPieces(out, in, bytes);
        out += bytes;
        in += bytes;
        continue;
      }
      if (static_cast<size_t>(inEnd - in) < bytes) break;  // literal pixels cut off
      // An operation that does not fit is dropped, except that the last one or two bytes of an
      // output whose size is no multiple of 3 can only be filled by an operation cut short.
      if (bytes > room && room >= kBytesPerPixel) break;
      std::memcpy(out, in, std::min(bytes, room));
      out += std::min(bytes, room);
      in += bytes;
      continue;
    }

    if (inEnd - in < kOperandBytes[op]) break;  // operands cut off
    const uint8_t* operands = in;
    in += kOperandBytes[op];
    unsigned count = 1;
    unsigned distance = 0;
    switch (op) {
      case 0: count = operands[0]; distance = 1; break;
      case 1: count = operands[0]; distance = operands[1]; break;
      case 2: count = operands[0]; distance = readU16(operands + 1); break;
      case 3: distance = operands[0]; break;
      default: distance = readU16(operands); break;
    }
    if (count == 0) return spi::kDamaged;
    size_t bytes = static_cast<size_t>(count) * kBytesPerPixel;
    const bool cutShort = bytes > room;
    if (cutShort) {
      if (room >= kBytesPerPixel) break;
      bytes = room;
    }
    const size_t back = static_cast<size_t>(distance) * kBytesPerPixel;
    if (back > static_cast<size_t>(out - start)) {
      // An operation that is dropped anyway is never judged damaged.
      if (cutShort) break;
      return spi::kDamaged;
    }
    if (room >= bytes + kSlack) {
      copyBackWithSlack(out, back, bytes);
    } else {
      copyBackExact(out, back, bytes);
    }
    out += bytes;
  }
  // What the stream did not produce is black, whatever the block held before.
  std::memset(out, 0, static_cast<size_t>(end - out));

  if (ReportProgress(progress, static_cast<int>(length), static_cast<int>(length))) return spi::kAborted;
  return spi::kSuccess;
}

}  // namespace

int CheckGgdPicture(const uint8_t** cursor, int64_t* available, GgdPictureHeader* header) {
  const uint8_t* p = *cursor;
  if (*available < static_cast<int64_t>(kHeaderBytes)) return spi::kUnknownFormat;
  const uint32_t tag = readU32(p + kTagOffset);
  if (~tag != kModeTags[kFullColourMode]) return spi::kUnknownFormat;
  const int16_t width = static_cast<int16_t>(readU16(p + kWidthOffset));
  const int16_t height = static_cast<int16_t>(readU16(p + kHeightOffset));
  if (width <= 0 || height <= 0) return spi::kUnknownFormat;
  if (*available < static_cast<int64_t>(kMinPictureBytes)) return spi::kUnknownFormat;
  if (p[kHeaderBytes] < kFirstLiteralOp) return spi::kUnknownFormat;

  if (header != nullptr) *header = GgdPictureHeader{tag, width, height};
  *cursor = p + kHeaderBytes;
  *available -= static_cast<int64_t>(kHeaderBytes);
  return spi::kSuccess;
}

uint32_t GgdStride(const GgdPictureHeader& header) {
  return static_cast<uint32_t>(spi::bitmapStride(static_cast<uint32_t>(std::max<int>(header.width, 0)),
                                                 kBitsPerPixel));
}

bool GgdBitmapBytes(const GgdPictureHeader& header, uint64_t* bytes) {
  *bytes = static_cast<uint64_t>(GgdStride(header)) * static_cast<uint64_t>(std::max<int>(header.height, 0));
  return *bytes <= kMaxBitmapBytes;
}

int DecodeGgdPixels(const GgdPictureHeader& header, uint32_t stride, const uint8_t* stream, int64_t length,
                    uint8_t* bits, const Progress& progress) {
  if (header.width <= 0 || header.height <= 0) return spi::kInternalError;
  if (stride != GgdStride(header)) return spi::kInternalError;
  const uint32_t rowBytes = static_cast<uint32_t>(header.width) * kBytesPerPixel;
  const uint64_t size = static_cast<uint64_t>(stride) * static_cast<uint64_t>(header.height);
  if (size > kMaxBitmapBytes) return spi::kNoMemory;
  length = std::clamp<int64_t>(length, 0, kMaxStreamBytes);

  // The stream is decoded flat straight into the caller's block, then turned bottom-up in
  // place: no second picture-sized area is needed.
  uint8_t* const pixelsEnd = bits + (size - (stride - rowBytes));
  int result = runPixelStream(stream, length, bits, pixelsEnd, bits + size, progress);
  if (result != spi::kSuccess) return result;
  turnRowsBottomUp(bits, stride, header.height, rowBytes);
  return spi::kSuccess;
}

int ReportProgress(const Progress& progress, int done, int total) {
  if (progress.callback == nullptr) return 0;
  // Hosts divide by the total: an empty stream reports (0, 1), never (0, 0).
  if (total <= 0) {
    done = 0;
    total = 1;
  }
  return progress.callback(done, total, progress.user) != 0 ? 1 : 0;
}

}  // namespace gorsel
