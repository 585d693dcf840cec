// GGA probe, info and pixel decoding (the layout is drawn in gga_format.h).
//
// The codes are read out of a window of memory that is topped up from the stream whenever
// less than one whole code is left in it, so the hot loop reads plain bytes with its end
// checked, and a code's operands are either all there or the data has ended. The pixels go
// straight into the host's bottom-up rows: the codes see one top-down run of pixels, and
// the loop maps each back reference to its row in memory.
//
// Speed. A photograph is a dense mix of codes a few pixels long, so what a code costs
// besides its pixels decides the speed: the loop keeps its whole state in locals (stores
// into the bitmap may alias any memory, so state held in objects would be reloaded after
// every pixel), finds the row of a far source with a multiplication instead of a division,
// and moves pixels in fixed 16-byte blocks instead of calling the C runtime for a few
// bytes. A block may run past the end of a copy, never past the end of the destination
// row: the bytes beyond belong to pixels that the next codes write. When decoding stops
// early those bytes are cleared, so what no code wrote is still zero.
//
// Damaged data ends decoding and keeps what was decoded: the codes running out, operands
// cut off, code 8, and every back reference that does not reach a pixel already written
// (distance 0, a distance beyond the first pixel, a repeat before the first pixel, codes
// 9-11 before the row above exists). Nothing is ever read or written outside the bitmap.
#include "gga_plugin/gga_decoder.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "plugin_api/bitmap_pages.h"

namespace gga {
namespace {

// Oslin answers input that is not GGA with 4, as the registry does when no class accepts.
constexpr int32_t kNotGga = spi::kNoMemory;

// Pixels move in blocks of this many bytes wherever the destination row has room for a
// whole block; the code window keeps as many readable bytes after its data.
constexpr size_t kBlock = 16;
static_assert(kBlock % kBytesPerPixel == 0, "a block holds whole pixels");
constexpr uint32_t kShortPixels = kBlock / kBytesPerPixel;

inline void copyPixel(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, kBytesPerPixel); }

// Whole blocks covering `bytes` (at least one): up to kBlock - 4 bytes beyond the end are
// written as well. A source at least one block behind the destination may overlap it.
inline void copyBlocks(uint8_t* dst, const uint8_t* src, size_t bytes) {
  size_t done = 0;
  do {
    std::memcpy(dst + done, src + done, kBlock);
    done += kBlock;
  } while (done < bytes);
}

// The bytes of the whole blocks that cover `bytes`.
inline size_t blockBytes(size_t bytes) { return (bytes + kBlock - 1) & ~(kBlock - 1); }

// Front to back, one pixel at a time: right for any source behind the destination,
// overlapping or not.
inline void copyForward(uint8_t* dst, const uint8_t* src, size_t bytes) {
  for (size_t done = 0; done < bytes; done += kBytesPerPixel) copyPixel(dst + done, src + done);
}

// A run of the pixel just before dst, in whole blocks (see copyBlocks).
inline void fillBlocks(uint8_t* dst, size_t bytes) {
  uint8_t block[kBlock];
  for (size_t i = 0; i < kBlock; i += kBytesPerPixel) copyPixel(block + i, dst - kBytesPerPixel);
  size_t done = 0;
  do {
    std::memcpy(dst + done, block, kBlock);
    done += kBlock;
  } while (done < bytes);
}

// Copies at least this long go to the C runtime's memcpy, which moves long blocks faster
// than a loop of blocks does.
constexpr size_t kLongCopy = 256;

// Exactly `bytes` bytes, from a source anywhere behind the destination in the picture's
// order: a source that overlaps the destination is copied one period first and then by
// doubling what is written, always a whole number of periods.
inline void copyLong(uint8_t* dst, const uint8_t* src, size_t bytes) {
  if (src + bytes <= dst || dst + bytes <= src) {
    std::memcpy(dst, src, bytes);
    return;
  }
  const size_t period = static_cast<size_t>(dst - src);
  std::memcpy(dst, src, period);
  size_t filled = period;
  while (filled < bytes) {
    const size_t piece = std::min(filled, bytes - filled);
    std::memcpy(dst + filled, dst, piece);
    filled += piece;
  }
}

// Pixel codes pulled from the stream into memory.
class CodeWindow {
 public:
  explicit CodeWindow(support::Stream& input) : input_(input) {}

  // Zero-filled, so that a block read past the data never reads an unset byte.
  bool allocate() {
    buffer_.reset(new (std::nothrow) uint8_t[kCodeWindowBytes + kBlock]());
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

// How the operands of a copy code (0-11) give its distance and count: from the four bytes
// after the code byte, read as one little-endian value v, distance = (v & mask) + add (a
// distance always comes first), count = (v >> shift & mask) + add. Reading the operands
// this way costs no branch on the code. Code 8 has no meaning of its own: its shape is a
// copy from distance 0, which stops decoding as every back reference that reaches no pixel
// does.
struct CopyShape {
  uint32_t countShift;
  uint32_t distanceMask, countMask;
  uint32_t distanceAdd, countAdd;
};
// The bytes of operands after each copy code, four bits a code, code 0's lowest: 1, 2, 1, 2,
// 2, 3, 3, 4 for codes 0-7, none for 8-11. Where the next code starts is what every code
// waits for: from a shift of a constant it is ready a load sooner than from a table.
constexpr uint64_t kPackedOperandBytes = 0x43322121;
inline uint32_t operandBytes(uint32_t code) {
  if constexpr (sizeof(size_t) == 8) return static_cast<uint32_t>(kPackedOperandBytes >> (4 * code)) & 0xF;
  // A 32-bit processor shifts a 64-bit value in four instructions on the way to the next
  // code: shift the low half alone, and mask codes 8-11 out with (code - 8) >> 28, which is
  // 0xF below code 8 and 0 from it. That made the 32-bit decode loop 1.1x faster.
  return static_cast<uint32_t>(kPackedOperandBytes) >> (4 * code % 32) & (code - 8) >> 28;
}

void makeCopyShapes(uint32_t width, CopyShape (&shapes)[kFirstLiteral]) {
  const CopyShape table[kFirstLiteral] = {
      {0, 0, 0xFF, 1, 0},                // 0  count u8, distance 1
      {0, 0, 0xFFFF, 1, 0},              // 1  count u16
      {0, 0xFF, 0, 0, 1},                // 2  d u8, count 1
      {0, 0xFFFF, 0, 0, 1},              // 3  d u16
      {8, 0xFF, 0xFF, 0, 0},             // 4  d u8, count u8
      {8, 0xFF, 0xFFFF, 0, 0},           // 5  d u8, count u16
      {16, 0xFFFF, 0xFF, 0, 0},          // 6  d u16, count u8
      {16, 0xFFFF, 0xFFFF, 0, 0},        // 7  d u16, count u16
      {0, 0, 0, 0, 1},                   // 8  distance 0: stops
      {0, 0, 0, width, 1},               // 9  the pixel above
      {0, 0, 0, width + 1, 1},           // 10 above left
      {0, 0, 0, width - 1, 1},           // 11 above right
  };
  std::copy(std::begin(table), std::end(table), shapes);
}

inline uint32_t u32At(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// The picture in memory: `height` rows of `stride` bytes, the top row last.
struct Canvas {
  Canvas(uint8_t* bits, uint32_t width, uint32_t height, spi::BitmapPagesAhead& pages)
      : bits(bits),
        bitsEnd(bits + static_cast<size_t>(width) * kBytesPerPixel * height),
        stride(static_cast<size_t>(width) * kBytesPerPixel),
        width(width),
        reciprocal(((uint64_t{1} << 40) + width - 1) / width),
        pages(pages) {}

  uint8_t* const bits;
  uint8_t* const bitsEnd;
  const size_t stride;
  const uint32_t width;
  // n / width as (n x reciprocal) >> 40, exact for every n below 2^24 (what is divided
  // stays below 2^18): the reciprocal's rounding error stays below one part in 2^40 / n.
  const uint64_t reciprocal;
  spi::BitmapPagesAhead& pages;
};

// Where the next pixel goes: `op` in the row [rowStart, rowEnd). The picture's next row
// lies one stride lower in memory. The pixel d back from op lies k rows higher in the
// picture, k = (d + width - 1 - column) / width, which puts it in memory at
// op - 4d + 2k x stride, in a row that ends at rowEnd + k x stride. Passed by value, so
// that the hot loop keeps it in registers.
struct Cursor {
  uint8_t* op;
  uint8_t* rowStart;
  uint8_t* rowEnd;
};

inline size_t rowsBack(const Canvas& canvas, const Cursor& at, uint32_t distance) {
  // width - column, from the room left in the row: the row's start is not needed.
  const uint32_t pixelsToRowEnd = static_cast<uint32_t>(at.rowEnd - at.op) / kBytesPerPixel;
  return static_cast<size_t>(((distance + pixelsToRowEnd - 1) * canvas.reciprocal) >> 40);
}

inline ptrdiff_t sourceOffset(const Canvas& canvas, uint32_t distance, size_t rows) {
  return static_cast<ptrdiff_t>(2 * rows * canvas.stride) - static_cast<ptrdiff_t>(distance) * kBytesPerPixel;
}

// Moves to the next row when the current one is done; the last row stays put.
inline void rowDone(const Canvas& canvas, Cursor& at) {
  if (at.op == at.rowEnd && at.rowStart != canvas.bits) {
    at.rowEnd = at.rowStart;
    at.rowStart -= canvas.stride;
    at.op = at.rowStart;
    canvas.pages.reach(at.rowStart);
  }
}

// The pixels written from `from` on to `to`, a later place. Rows are crossed seldom, and
// only then is the division made.
inline uint32_t pixelsBetween(const Canvas& canvas, const Cursor& from, const Cursor& to) {
  const size_t rowBytes = static_cast<size_t>(from.rowStart - to.rowStart);  // the next row lies lower
  const uint32_t rows = rowBytes == 0 ? 0 : static_cast<uint32_t>(rowBytes / canvas.stride);
  const uint32_t fromColumn = static_cast<uint32_t>(from.op - from.rowStart) / kBytesPerPixel;
  const uint32_t toColumn = static_cast<uint32_t>(to.op - to.rowStart) / kBytesPerPixel;
  return rows * canvas.width + toColumn - fromColumn;
}

// `piece` bytes to `dst` from `src`, which lies `gap` bytes behind in the same row (k = 0)
// or in another row (k > 0); `room` bytes are left in the destination row. A source less
// than a block behind in the same row is copied pixel by pixel (or filled, for a run of one
// pixel), as its pixels are still being written.
inline void copyPiece(const Canvas& canvas, uint8_t* dst, const uint8_t* src, size_t piece, size_t room, size_t k,
                      size_t gap) {
  const size_t blocks = blockBytes(piece);
  if (piece == kBytesPerPixel) {
    copyPixel(dst, src);
  } else if (piece >= kLongCopy) {
    copyLong(dst, src, piece);
  } else if (k == 0 && gap < kBlock) {
    if (gap == kBytesPerPixel && room >= blocks) fillBlocks(dst, piece);
    else copyForward(dst, src, piece);
  } else if (room >= blocks && static_cast<size_t>(canvas.bitsEnd - src) >= blocks) {
    copyBlocks(dst, src, piece);
  } else {
    copyForward(dst, src, piece);
  }
}

// `piece` literal bytes to `dst` from `src` (which has a block of readable bytes after
// them), `room` bytes being left in the row.
inline void putLiteralPiece(uint8_t* dst, const uint8_t* src, size_t piece, size_t room) {
  if (piece >= kLongCopy) std::memcpy(dst, src, piece);
  else if (room >= blockBytes(piece)) copyBlocks(dst, src, piece);
  else copyForward(dst, src, piece);
}

// `count` pixels, each from `distance` back (reached; no more than the pixels left),
// front to back, in pieces that stay inside one row of the source and of the destination.
// Called for the copies that cross the end of a row; the others are copied in the loop.
[[gnu::noinline]] Cursor copyRun(const Canvas& canvas, Cursor at, uint32_t distance, uint32_t count) {
  size_t bytes = static_cast<size_t>(count) * kBytesPerPixel;
  do {
    const size_t k = rowsBack(canvas, at, distance);
    const uint8_t* src = at.op + sourceOffset(canvas, distance, k);
    const size_t room = static_cast<size_t>(at.rowEnd - at.op);
    size_t piece = std::min(bytes, room);
    if (k != 0) piece = std::min(piece, static_cast<size_t>(at.rowEnd + k * canvas.stride - src));
    copyPiece(canvas, at.op, src, piece, room, k, static_cast<size_t>(distance) * kBytesPerPixel);
    at.op += piece;
    bytes -= piece;
    rowDone(canvas, at);
  } while (bytes != 0);
  return at;
}

// `pixels` literal pixels (at least one, no more than the pixels left) from `src`, which
// has a block of readable bytes after them. Called for the literals that cross the end of
// a row; the others are copied in the loop.
[[gnu::noinline]] Cursor putLiterals(const Canvas& canvas, Cursor at, const uint8_t* src, uint32_t pixels) {
  size_t bytes = static_cast<size_t>(pixels) * kBytesPerPixel;
  do {
    const size_t room = static_cast<size_t>(at.rowEnd - at.op);
    const size_t piece = std::min(bytes, room);
    putLiteralPiece(at.op, src, piece, room);
    at.op += piece;
    src += piece;
    bytes -= piece;
    rowDone(canvas, at);
  } while (bytes != 0);
  return at;
}

// Decoding stopped early: what blocks wrote past the last pixel goes back to zero.
void clearAhead(const Cursor& at) {
  std::memset(at.op, 0, std::min(static_cast<size_t>(at.rowEnd - at.op), kBlock));
}

// The data ends inside a literal: its whole pixels, then the bytes of the last one.
void putCutLiteral(const Canvas& canvas, Cursor at, uint32_t left, const uint8_t* src, size_t bytes) {
  const uint32_t whole = static_cast<uint32_t>(bytes / kBytesPerPixel);
  if (whole != 0) at = putLiterals(canvas, at, src, whole);
  if (left == whole) return;
  clearAhead(at);
  std::memcpy(at.op, src + static_cast<size_t>(whole) * kBytesPerPixel, bytes % kBytesPerPixel);
}

// The decoder's place: the next code, where its pixels go, and the pixels still to come.
struct Place {
  const uint8_t* ip;
  Cursor at;
  uint32_t left;
};

// A copy of more than a block's pixels whose blocks fit in the destination's row, from a
// source row holding all its pixels: in whole blocks when the source lies a block or more
// behind and its blocks stay in the picture, or filled when it repeats the pixel just
// before (which then lies in this row: the row before holds one pixel of such a run at
// most). False for any other, which goes the general way.
inline bool copyLongInRow(const Canvas& canvas, const Cursor& at, const uint8_t* src, size_t bytes,
                          uint32_t distance) {
  const size_t blocks = blockBytes(bytes);
  if (static_cast<size_t>(at.rowEnd - at.op) < blocks) return false;
  if (distance >= kShortPixels && static_cast<size_t>(canvas.bitsEnd - src) >= blocks) {
    copyBlocks(at.op, src, bytes);
    return true;
  }
  if (distance == 1) {
    fillBlocks(at.op, bytes);
    return true;
  }
  return false;
}

// The short way: codes that lie whole before `fastEnd` in the window and whose whole blocks
// fit in the destination's row (literals; copies of up to four pixels from a source row with
// a block to spare; longer ones as copyLongInRow takes them), with nothing checked but what
// the data may get wrong. Returns at the first code that needs the general way. Its few
// values live in registers, so that the place of the next code is never kept in memory.
//
// The loop counts no pixels: a code's pixels all fit in the row, so the picture has them
// too, and a source lies at or after the first pixel exactly when its row exists. The
// pixels left are worked out once, on the way out.
Place runShortCodes(const Canvas& shared, const CopyShape (&shapes)[kFirstLiteral], Place p,
                    const uint8_t* fastEnd) {
  const Canvas canvas(shared);  // in registers, not reloaded after every pixel stored
  const uint8_t* ip = p.ip;
  Cursor at = p.at;
  // `next` moves past a code as soon as its length is known, so that the code after it can
  // be read early; a code left to the general way is handed back from `ip`.
  const uint8_t* next = ip;
  for (; ip < fastEnd; ip = next) {
    const uint32_t code = *ip;
    const ptrdiff_t room = at.rowEnd - at.op;
    if (room < static_cast<ptrdiff_t>(kBlock)) break;
    if (code >= kFirstLiteral) {
      const size_t bytes = static_cast<size_t>(code - kLiteralBias) * kBytesPerPixel;
      if (bytes <= kBlock) {
        std::memcpy(at.op, ip + 1, kBlock);
      } else {
        if (static_cast<size_t>(room) < blockBytes(bytes)) break;
        copyBlocks(at.op, ip + 1, bytes);
      }
      at.op += bytes;
      next = ip + 1 + bytes;
    } else {
      next = ip + 1 + operandBytes(code);
      const CopyShape& shape = shapes[code];
      const uint32_t operands = u32At(ip + 1);
      const uint32_t distance = (operands & shape.distanceMask) + shape.distanceAdd;
      const uint32_t count = (operands >> shape.countShift & shape.countMask) + shape.countAdd;
      // A count of 0 and a distance of 0 go the general way.
      if (count == 0 || distance == 0) break;
      const size_t k = rowsBack(canvas, at, distance);
      // A source row above the first one: the distance reaches before the first pixel.
      if (k * canvas.stride > static_cast<size_t>(canvas.bitsEnd - at.rowEnd)) break;
      const uint8_t* src = at.op + sourceOffset(canvas, distance, k);
      const size_t bytes = static_cast<size_t>(count) * kBytesPerPixel;
      const bool sourceInRow = static_cast<size_t>(at.rowEnd + k * canvas.stride - src) >= bytes;
      if (!sourceInRow || canvas.bitsEnd - src < static_cast<ptrdiff_t>(kBlock)) break;
      if (count <= kShortPixels) {
        copyPixel(at.op, src);
        copyPixel(at.op + 4, src + 4);
        copyPixel(at.op + 8, src + 8);
        copyPixel(at.op + 12, src + 12);
      } else if (!copyLongInRow(canvas, at, src, bytes, distance)) {
        break;
      }
      at.op += bytes;
    }
    rowDone(canvas, at);
  }
  return Place{ip, at, p.left - pixelsBetween(canvas, p.at, at)};
}

// Runs codes until the picture is full or the data ends or turns out damaged, writing the
// picture's rows bottom-up into `bits` (height rows of 4 x width bytes, zero-filled).
//
// Codes take the short way (runShortCodes) while the window holds the longest code after
// them and their whole blocks fit in the row: literals in blocks, four pixels copied front
// to back (right for every distance, as each pixel is written before a later one of the same
// code can read it), longer copies in blocks or filled. What they write beyond the code's
// pixels stays inside the row and is overwritten by the next codes. Every other code goes
// the general way here.
void runCodes(CodeWindow& codes, uint8_t* const bits, const uint32_t width, const uint32_t height) {
  spi::BitmapPagesAhead pages(bits, bits + static_cast<size_t>(width) * kBytesPerPixel * height);
  const Canvas canvas(bits, width, height, pages);
  const uint32_t total = width * height;  // at most 65535 x 65535: fits
  Cursor at{canvas.bitsEnd - canvas.stride, canvas.bitsEnd - canvas.stride, canvas.bitsEnd};
  pages.reach(at.rowStart);
  uint32_t left = total;
  CopyShape shapes[kFirstLiteral];
  makeCopyShapes(width, shapes);

  const uint8_t* ip = codes.next;
  const uint8_t* end = codes.end;
  for (;;) {
    if (left == 0) return;
    if (static_cast<size_t>(end - ip) < kLongestCodeBytes) {
      codes.next = ip;
      codes.topUp();
      ip = codes.next;
      end = codes.end;
      if (ip == end) return clearAhead(at);
    }
    if (static_cast<size_t>(end - ip) > kLongestCodeBytes) {
      const Place p = runShortCodes(canvas, shapes, Place{ip, at, left}, end - kLongestCodeBytes);
      ip = p.ip;
      at = p.at;
      left = p.left;
      if (left == 0) return;
      if (static_cast<size_t>(end - ip) < kLongestCodeBytes) continue;  // top up first
    }
    const size_t available = static_cast<size_t>(end - ip) - 1;  // after the code byte
    const uint32_t code = *ip++;

    if (code >= kFirstLiteral) {
      const uint32_t pixels = std::min(code - kLiteralBias, left);
      const size_t bytes = static_cast<size_t>(pixels) * kBytesPerPixel;
      if (available < bytes) return putCutLiteral(canvas, at, left, ip, available);
      const size_t room = static_cast<size_t>(at.rowEnd - at.op);
      if (bytes <= room) {
        putLiteralPiece(at.op, ip, bytes, room);
        at.op += bytes;
        rowDone(canvas, at);
      } else {
        at = putLiterals(canvas, at, ip, pixels);
      }
      ip += bytes;
      left -= pixels;
      continue;
    }

    const CopyShape& shape = shapes[code];
    if (available < operandBytes(code)) return clearAhead(at);  // operands cut off
    const uint32_t operands = u32At(ip);  // the window has readable bytes past its data
    const uint32_t distance = (operands & shape.distanceMask) + shape.distanceAdd;
    uint32_t count = (operands >> shape.countShift & shape.countMask) + shape.countAdd;
    ip += operandBytes(code);
    if (count == 0) continue;
    if (distance - 1 >= total - left) return clearAhead(at);  // distance 0, or before the first pixel
    count = std::min(count, left);
    left -= count;

    const size_t k = rowsBack(canvas, at, distance);
    const uint8_t* src = at.op + sourceOffset(canvas, distance, k);
    const size_t bytes = static_cast<size_t>(count) * kBytesPerPixel;
    const size_t room = static_cast<size_t>(at.rowEnd - at.op);
    const bool sourceInRow = static_cast<size_t>(at.rowEnd + k * canvas.stride - src) >= bytes;
    if (bytes <= room && sourceInRow) {
      copyPiece(canvas, at.op, src, bytes, room, k, static_cast<size_t>(distance) * kBytesPerPixel);
      at.op += bytes;
      rowDone(canvas, at);
    } else {
      at = copyRun(canvas, at, distance, count);
    }
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
  runCodes(codes, bits, header.width, header.height);
  return spi::kSuccess;
}

}  // namespace gga
