// The GGD picture header check and pixel decoder; the format is drawn in ggd_picture.h.
#include "ggd_image_plugin/ggd_picture.h"

#include <algorithm>
#include <cstring>

#include "platform/win32.h"
#include "plugin_api/bitmap_pages.h"
#include "plugin_api/row_divider.h"

namespace gorsel {

namespace {

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Bytes of operands after each of the operation bytes 00..04, four bits each, 00's lowest:
// 1, 2, 3, 1, 2. Where the next operation starts is what every operation waits for: found
// by a shift of a constant it is ready a load sooner than from a table.
constexpr uint32_t kPackedOperandBytes = 0x21321;
inline size_t OperandBytes(unsigned op) { return (kPackedOperandBytes >> (4 * op)) & 0xF; }

// The operands of 00..04 read from the bytes after the operation byte: count = (the first &
// countMask) + countAdd, distance = (the 16 bits at distanceAt bytes from the operation byte &
// distanceMask) + distanceAdd. The distance is read by a load of its own rather than shifted
// out of the operands: a shift by a varying count ties up the one register that holds such
// counts in 32-bit builds.
struct OperandForm {
  uint32_t countMask, countAdd, distanceAt, distanceMask, distanceAdd;
};
constexpr OperandForm kOperandForms[kFirstLiteralOp] = {
    {0xFF, 0, 1, 0, 1},       // 00 n: distance 1
    {0xFF, 0, 2, 0xFF, 0},    // 01 n d8
    {0xFF, 0, 2, 0xFFFF, 0},  // 02 n d16
    {0, 1, 1, 0xFF, 0},       // 03 d8: one pixel
    {0, 1, 1, 0xFFFF, 0},     // 04 d16: one pixel
};

// Short operations are copied in whole 16-byte pieces that may write up to 15 bytes past
// the operation's end, where later operations write anyway. That is done only while at
// least kSlack bytes of room in the same bitmap row (and of input, for literals) lie beyond
// the operation. Pieces may read up to 15 bytes past an operation's source: those bytes land
// only in the slack. A copy from distance 0 writes the zeros that a fresh block holds, and
// decoding clears whatever the stream did not produce.
constexpr size_t kPiece = 16;
constexpr size_t kSlack = kPiece;

// The most input one operation reads, pieces included: a literal run of 251 pixels.
constexpr int64_t kLongestOperationInput = 1 + kMaxLiteralPixels * kBytesPerPixel + kSlack;

// A piece is all loaded before anything of it is stored. Where the processor has 16-byte
// registers (64-bit builds, and the SSE2 way of 32-bit ones) that is a moving copy: one load
// and one store. Built without them, a moving copy would be a call into the C runtime, so
// the piece passes through a local array; with them, that array cost a store more a piece.
template <bool kWholePieceRegisters>
inline void CopyPiece(uint8_t* to, const uint8_t* from) {
  if constexpr (kWholePieceRegisters) {
    std::memmove(to, from, kPiece);
  } else {
    uint8_t piece[kPiece];
    std::memcpy(piece, from, kPiece);
    std::memcpy(to, piece, kPiece);
  }
}

// `bytes` bytes in pieces, writing up to 15 more, and one piece at least. Correct when the
// source lies at least a piece behind the destination, or when its first `bytes` bytes all
// lie behind it.
template <bool kWholePieceRegisters>
inline void CopyInPieces(uint8_t* to, const uint8_t* from, size_t bytes) {
  size_t done = 0;
  do {
    CopyPiece<kWholePieceRegisters>(to + done, from + done);
    done += kPiece;
  } while (done < bytes);
}

// Exactly `bytes` bytes at `out`, as a forward byte-by-byte copy from `back` bytes behind.
inline void CopyBackExact(uint8_t* out, size_t back, size_t bytes) {
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
inline size_t WholePeriodsInPieces(size_t back) {
  size_t period = back;
  while (period % kPiece != 0) period += back;
  return period;
}

// The same for 0 < back, with kSlack bytes of room past the end. A piece loaded from bytes
// that recent pieces stored only in part waits for those stores to finish, so copies from
// close behind are made in ways that avoid such loads.
template <bool kWholePieceRegisters>
inline void CopyBackWithSlack(uint8_t* out, size_t back, size_t bytes) {
  if (bytes == kBytesPerPixel) {
    // One pixel, byte by byte: each byte was stored by a single earlier operation.
    const uint8_t* from = out - back;
    out[0] = from[0];
    out[1] = from[1];
    out[2] = from[2];
  } else if (back >= 2 * kPiece || (back >= kPiece && bytes <= back)) {
    CopyInPieces<kWholePieceRegisters>(out, out - back, bytes);
  } else {
    // A short period: lay down whole periods byte by byte up to a multiple of the piece size
    // (a handful of bytes, cheaper so than calls), then copy on from that far back, each
    // piece loaded from exactly one earlier piece.
    const size_t period = WholePeriodsInPieces(back);
    const size_t exact = std::min(bytes, period);
    const uint8_t* from = out - back;
    for (size_t i = 0; i < exact; ++i) out[i] = from[i];
    if (bytes > period) CopyInPieces<kWholePieceRegisters>(out + period, out, bytes - period);
  }
}

// A copy's source lies at most this far behind, and rows are at most this long; the rows
// between them are found by division, for dividends below 2^kDividendBits.
constexpr size_t kMaxDistanceBytes = 0xFFFF * kBytesPerPixel;
constexpr size_t kMaxStride = (0x7FFF * kBytesPerPixel + 3) / 4 * 4;  // 32767 pixels, rounded up to 4 bytes
constexpr unsigned kDividendBits = 19;
static_assert(kMaxDistanceBytes + kMaxStride <= size_t{1} << kDividendBits, "a copy's rows must stay divisible");

// The flat output laid straight into the bottom-up bitmap: flat row r (the picture's row r
// from the top) is bitmap row height - 1 - r, so the picture needs no turning afterwards.
// A flat offset f lies at last + f - 2 x (f / stride) x stride, where `last` is the start of
// the bitmap's last row; flat rows follow each other downwards in memory.
class BottomUpOutput {
 public:
  BottomUpOutput(uint8_t* bits, uint32_t stride, int height, spi::BitmapPagesAhead& pages)
      : bits_(bits), stride_(stride), height_(height), pages_(pages),
        rowStart_(bits + static_cast<size_t>(height - 1) * stride),
        rowEnd_(rowStart_ + stride), out_(rowStart_), rows_(stride, kDividendBits) {
    pages_.reach(rowStart_);
  }

  uint8_t* out() const { return out_; }
  uint8_t* rowStart() const { return rowStart_; }
  uint8_t* rowEnd() const { return rowEnd_; }
  bool lastRow() const { return row_ == height_ - 1; }
  // Bytes produced so far, and bytes of the flat output still free.
  uint64_t produced() const { return static_cast<uint64_t>(row_) * stride_ + static_cast<uint64_t>(out_ - rowStart_); }
  uint64_t room() const {
    return static_cast<uint64_t>(height_ - 1 - row_) * stride_ + static_cast<uint64_t>(rowEnd_ - out_);
  }

  void advance(size_t bytes) { out_ += bytes; }

  // The source of a copy from `back` bytes behind the output (0 < back): where it starts,
  // the bytes from there to the end of its row, and the bytes of whole rows between its row
  // and the output's (more than wholeRowsBefore when it would start before the first pixel).
  struct Source {
    const uint8_t* from;
    size_t rowLeft;
    size_t rowsBack;
  };
  // The output's place in its row, by value: a loop that keeps it in locals needs not reload
  // it after every byte it stores (a byte store may alias anything, members included).
  struct Place {
    uint8_t* out;
    const uint8_t* rowEnd;
    size_t stride;
    spi::RowDivider rows;
    size_t wholeRowsBefore;  // bytes produced before the row

    // Each row crossed puts the source two strides further up in memory; no branch decides
    // whether it lies in the output's row. The source starts back + room bytes before the end
    // of the output's row, so (back + room - 1) / stride rows up.
    Source source(size_t back) const {
      const size_t room = static_cast<size_t>(rowEnd - out);
      const size_t toRowEnd = back + room;  // from the source to the end of the output's row
      const size_t rowsBack = rows.quotient(toRowEnd - 1) * stride;
      const uint8_t* const from = out + static_cast<ptrdiff_t>(2 * rowsBack - back);
      return Source{from, toRowEnd - rowsBack, rowsBack};
    }
    void advance(size_t bytes) { out += bytes; }
  };
  Place place() const { return Place{out_, rowEnd_, stride_, rows_, static_cast<size_t>(row_) * stride_}; }

  // Exactly `bytes` bytes, as the byte-by-byte forward copy from `back` bytes behind (0 <
  // back <= produced(), or back 0 for black), over row ends: in pieces that stay within
  // one row of the source and one of the output.
  void copyBack(size_t back, size_t bytes) {
    while (bytes > 0) {
      size_t chunk = std::min(bytes, static_cast<size_t>(rowEnd_ - out_));
      if (back == 0 || back <= static_cast<size_t>(out_ - rowStart_)) {
        CopyBackExact(out_, back, chunk);
      } else {
        // The source row ends before the output position, so the two never overlap.
        const Source source = place().source(back);
        chunk = std::min(chunk, source.rowLeft);
        std::memcpy(out_, source.from, chunk);
      }
      bytes -= chunk;
      moveOn(chunk);
    }
  }

  // Exactly `bytes` bytes from the input, over row ends.
  void copyFrom(const uint8_t* from, size_t bytes) {
    while (bytes > 0) {
      const size_t chunk = std::min(bytes, static_cast<size_t>(rowEnd_ - out_));
      std::memcpy(out_, from, chunk);
      from += chunk;
      bytes -= chunk;
      moveOn(chunk);
    }
  }

  // What the stream did not produce is black, whatever the block held before, and so are
  // the bytes past each row's pixels, which the stream may have set.
  void finish(uint32_t rowBytes) {
    pages_.finish();
    std::memset(out_, 0, static_cast<size_t>(rowEnd_ - out_));
    std::memset(bits_, 0, static_cast<size_t>(rowStart_ - bits_));
    if (rowBytes == stride_) return;
    for (int r = 0; r < height_; ++r) std::memset(bits_ + static_cast<size_t>(r) * stride_ + rowBytes, 0, stride_ - rowBytes);
  }

 private:
  // Moves the output position on; a full row continues at the start of the next one.
  void moveOn(size_t bytes) {
    out_ += bytes;
    if (out_ == rowEnd_ && row_ + 1 < height_) {
      ++row_;
      rowEnd_ = rowStart_;
      rowStart_ -= stride_;
      out_ = rowStart_;
      pages_.reach(rowStart_);
    }
  }

  uint8_t* const bits_;
  const uint32_t stride_;
  const int height_;
  spi::BitmapPagesAhead& pages_;
  uint8_t* rowStart_;
  uint8_t* rowEnd_;
  uint8_t* out_;
  int64_t row_ = 0;
  const spi::RowDivider rows_;
};

// The part of the stream at hand: all of it when it is in memory, or a buffer's worth read
// from a file. A file is read in large pieces as decoding goes, so that no block the size of
// the input is needed. A read that stores fewer bytes than asked ends the input: the rest of
// the stream reads as zeros.
class InputWindow {
 public:
  InputWindow(const uint8_t* stream, int64_t length)
      : begin_(stream), end_(stream + length), length_(length) {}
  InputWindow(StreamReader& reader, int64_t length, uint8_t* buffer, size_t capacity, size_t filled)
      : begin_(buffer), end_(buffer + std::min<int64_t>(length, static_cast<int64_t>(filled))), length_(length),
        reader_(&reader), buffer_(buffer), capacity_(capacity) {}

  const uint8_t* begin() const { return begin_; }
  const uint8_t* end() const { return end_; }
  // The stream offset of a place in the window.
  int64_t offsetOf(const uint8_t* at) const { return offset_ + (at - begin_); }
  // The window reaches the end of the stream.
  bool complete() const { return offset_ + (end_ - begin_) == length_; }

  // Keeps the bytes from `in` on, at the front of the buffer, and reads more after them.
  // Returns where `in` now lies, or nullptr when a read failed.
  const uint8_t* refill(const uint8_t* in) {
    const size_t kept = static_cast<size_t>(end_ - in);
    offset_ = offsetOf(in);
    std::memmove(buffer_, in, kept);
    const size_t wanted =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(capacity_ - kept), length_ - offset_ - kept));
    size_t got = 0;
    if (!exhausted_) {
      const int64_t read = reader_->read(buffer_ + kept, wanted);
      if (read < 0) return nullptr;
      got = static_cast<size_t>(std::min<int64_t>(read, static_cast<int64_t>(wanted)));
      exhausted_ = got < wanted;
    }
    std::memset(buffer_ + kept + got, 0, wanted - got);
    begin_ = buffer_;
    end_ = buffer_ + kept + wanted;
    return begin_;
  }

 private:
  const uint8_t* begin_;
  const uint8_t* end_;
  const int64_t length_;
  int64_t offset_ = 0;
  StreamReader* reader_ = nullptr;
  uint8_t* buffer_ = nullptr;
  size_t capacity_ = 0;
  bool exhausted_ = false;
};

// The fast way: operations that lie well inside the input (before `inEnd`) and whose pieces
// fit into the output's row (before `rowLimit`), with no check but the damage checks. Returns
// where it stopped: at the first operation that needs the careful way, or at `inEnd`.
//
// Photographs are millions of short operations of every kind in random order, so the loop
// is kept short and free of branches on the kind: the output's state lives in locals, where
// a byte store cannot force it to be reloaded, and where the next operation starts is found
// from one load and a shift.
template <bool kWholePieceRegisters>
[[gnu::always_inline]] inline const uint8_t* RunInRow(const uint8_t* in, const uint8_t* inEnd, BottomUpOutput& output,
                                                      const uint8_t* rowLimit) {
  BottomUpOutput::Place at = output.place();
  // The last place an operation may end at and still have a piece's slack in the row.
  const uintptr_t lastEnd = reinterpret_cast<uintptr_t>(rowLimit) - kSlack;
  // `in` moves past an operation as soon as its length is known, so that the next one's
  // place is ready early; an operation left to the careful way is handed back from `start`.
  const uint8_t* start = in;
  for (; start < inEnd; start = in) {
    const uint32_t word = ReadU32(start);  // the operation byte and its operands
    const unsigned op = static_cast<unsigned>(word & 0xFF);
    if (op >= kFirstLiteralOp) {
      const size_t bytes = static_cast<size_t>(op - 4) * kBytesPerPixel;
      in = start + 1 + bytes;
      if (reinterpret_cast<uintptr_t>(at.out) + bytes > lastEnd) break;
      CopyInPieces<kWholePieceRegisters>(at.out, start + 1, bytes);
      at.advance(bytes);
      continue;
    }
    const OperandForm& form = kOperandForms[op];
    const size_t count = ((word >> 8) & form.countMask) + form.countAdd;
    const size_t distance = (ReadU16(start + form.distanceAt) & form.distanceMask) + form.distanceAdd;
    const size_t bytes = count * kBytesPerPixel;
    const size_t back = distance * kBytesPerPixel;
    in = start + 1 + OperandBytes(op);
    if (reinterpret_cast<uintptr_t>(at.out) + bytes > lastEnd) break;
    const BottomUpOutput::Source source = at.source(back);
    if (bytes - 1 < back && bytes + kSlack <= source.rowLeft && source.rowsBack <= at.wholeRowsBefore) {
      // Whole pieces: every byte the operation needs lies before the output (so its count
      // and distance are not 0) and after the first pixel, and the source's row has room
      // for the last piece.
      CopyInPieces<kWholePieceRegisters>(at.out, source.from, bytes);
    } else {
      // A count of 0, black pixels, a source before the first pixel or across a row end.
      if (bytes == 0 || back == 0 || source.rowsBack != 0) break;
      CopyBackWithSlack<kWholePieceRegisters>(at.out, back, bytes);
    }
    at.advance(bytes);
  }
  output.advance(static_cast<size_t>(at.out - output.out()));
  return start;
}

#if defined(__i386__)
// 32-bit builds are made for processors without SSE2, where a 16-byte piece moves as four
// 4-byte loads and stores. Where the processor and the system have SSE2, the same loop built
// for it moves a piece in one load and one store: photographs decode about 1.14x and flat
// pictures nearly 2x faster. Hosts may call with a stack aligned to 4 bytes only.
[[gnu::target("sse2"), gnu::force_align_arg_pointer]] const uint8_t* RunInRowWithSse2(
    const uint8_t* in, const uint8_t* inEnd, BottomUpOutput& output, const uint8_t* rowLimit) {
  return RunInRow<true>(in, inEnd, output, rowLimit);
}
#endif

// The fast way as built for this processor; 64-bit builds have SSE2 throughout.
class FastWay {
 public:
  const uint8_t* run(const uint8_t* in, const uint8_t* inEnd, BottomUpOutput& output, const uint8_t* rowLimit) const {
#if defined(__i386__)
    if (sse2_) return RunInRowWithSse2(in, inEnd, output, rowLimit);
    return RunInRow<false>(in, inEnd, output, rowLimit);
#elif defined(GORSEL_PIECES_THROUGH_AN_ARRAY)
    // A test build: the way of 32-bit processors without SSE2, where the tests run.
    return RunInRow<false>(in, inEnd, output, rowLimit);
#else
    return RunInRow<true>(in, inEnd, output, rowLimit);
#endif
  }

#if defined(__i386__)
 private:
  const bool sse2_ = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != FALSE;
#endif
};

// Runs the operations of the stream into the bitmap, flat row after flat row. Returns 0 when
// the stream is used up, when an operation is cut off (not an error: the rest stays black)
// or once the last pixel of the last row is complete, kAborted or kDamaged. Whatever follows
// the last pixel is never read: hosts hand small files over in zero-filled buffers longer
// than the file, and only the last row's padding bytes would be left for such bytes to fill.
//
// Each operation takes the fast way while it lies well inside the input and inside one row
// of the output, with no progress report due: then no check but the damage checks is needed.
// Otherwise it goes the careful way, which makes every check in order and copies exactly.
int RunPixelStream(InputWindow& input, int64_t length, BottomUpOutput& output, uint32_t rowBytes,
                   const Progress& progress) {
  const FastWay fastWay;
  const uint8_t* in = input.begin();
  const uint64_t pixelsEnd = output.room() - (output.rowEnd() - output.rowStart() - rowBytes);
  // Reports come each time the unconsumed input falls below the threshold, about every tenth.
  const int64_t tenth = length / 10;
  int64_t threshold = length - tenth;

  for (;;) {
    // The fast way: up to where the input runs short or the next report falls due.
    const int64_t fastInput = std::min(length - kLongestOperationInput, length - threshold) - input.offsetOf(in);
    const int64_t fastInWindow = (input.end() - in) - kLongestOperationInput;
    const uint8_t* const fastEnd = in + std::max<int64_t>(std::min(fastInput, fastInWindow), -1) + 1;
    // In the last row operations stop at the last pixel, so that none starts after it (the
    // output may already lie past it, in the padding: then nothing goes the fast way).
    uint8_t* const rowLimit = output.lastRow() ? output.rowStart() + rowBytes : output.rowEnd();
    in = fastWay.run(in, fastEnd, output, rowLimit);

    // The careful way, one operation, with all of it in the window.
    if (!input.complete() && input.end() - in < kLongestOperationInput) {
      in = input.refill(in);
      if (in == nullptr) return spi::kReadError;
      continue;
    }
    const uint8_t* const inEnd = input.end();
    if (in >= inEnd) break;
    const int64_t remaining = length - input.offsetOf(in);
    if (remaining < threshold) {
      if (ReportProgress(progress, static_cast<int>(length - remaining), static_cast<int>(length))) {
        return spi::kAborted;
      }
      threshold = remaining - tenth;
    }
    const uint64_t produced = output.produced();
    if (produced >= pixelsEnd) break;
    const size_t room = static_cast<size_t>(output.room());
    const uint8_t op = *in++;

    if (op >= kFirstLiteralOp) {
      const size_t bytes = static_cast<size_t>(op - 4) * kBytesPerPixel;
      if (static_cast<size_t>(inEnd - in) < bytes) break;  // literal pixels cut off
      // An operation that does not fit is dropped, except that the last one or two bytes of an
      // output whose size is no multiple of 3 can only be filled by an operation cut short.
      if (bytes > room && room >= kBytesPerPixel) break;
      output.copyFrom(in, std::min(bytes, room));
      in += bytes;
      continue;
    }

    if (static_cast<size_t>(inEnd - in) < OperandBytes(op)) break;  // operands cut off
    const uint8_t* operands = in;
    in += OperandBytes(op);
    unsigned count = 1;
    unsigned distance = 0;
    switch (op) {
      case 0: count = operands[0]; distance = 1; break;
      case 1: count = operands[0]; distance = operands[1]; break;
      case 2: count = operands[0]; distance = ReadU16(operands + 1); break;
      case 3: distance = operands[0]; break;
      default: distance = ReadU16(operands); break;
    }
    if (count == 0) return spi::kDamaged;
    size_t bytes = static_cast<size_t>(count) * kBytesPerPixel;
    const bool cutShort = bytes > room;
    if (cutShort) {
      if (room >= kBytesPerPixel) break;
      bytes = room;
    }
    const size_t back = static_cast<size_t>(distance) * kBytesPerPixel;
    if (back > produced) {
      // An operation that is dropped anyway is never judged damaged.
      if (cutShort) break;
      return spi::kDamaged;
    }
    output.copyBack(back, bytes);
  }
  output.finish(rowBytes);

  if (ReportProgress(progress, static_cast<int>(length), static_cast<int>(length))) return spi::kAborted;
  return spi::kSuccess;
}

}  // namespace

int CheckGgdPicture(const uint8_t** cursor, int64_t* available, GgdPictureHeader* header) {
  const uint8_t* p = *cursor;
  if (*available < static_cast<int64_t>(kHeaderBytes)) return spi::kUnknownFormat;
  const uint32_t tag = ReadU32(p + kTagOffset);
  if (~tag != kModeTags[kFullColourMode]) return spi::kUnknownFormat;
  const int16_t width = static_cast<int16_t>(ReadU16(p + kWidthOffset));
  const int16_t height = static_cast<int16_t>(ReadU16(p + kHeightOffset));
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

namespace {

// The checks and the decoding that both ways in share.
int DecodeFromWindow(const GgdPictureHeader& header, uint32_t stride, InputWindow& input, int64_t length,
                     uint8_t* bits, const Progress& progress) {
  if (header.width <= 0 || header.height <= 0) return spi::kInternalError;
  if (stride != GgdStride(header)) return spi::kInternalError;
  const uint32_t rowBytes = static_cast<uint32_t>(header.width) * kBytesPerPixel;
  const uint64_t size = static_cast<uint64_t>(stride) * static_cast<uint64_t>(header.height);
  if (size > kMaxBitmapBytes) return spi::kNoMemory;

  // The stream is decoded straight into the caller's block, each row where the bottom-up
  // bitmap wants it: no second picture-sized area and no second pass are needed.
  spi::BitmapPagesAhead pages(bits, bits + size);
  BottomUpOutput output(bits, stride, header.height, pages);
  return RunPixelStream(input, length, output, rowBytes, progress);
}

}  // namespace

int DecodeGgdPixels(const GgdPictureHeader& header, uint32_t stride, const uint8_t* stream, int64_t length,
                    uint8_t* bits, const Progress& progress) {
  length = std::clamp<int64_t>(length, 0, kMaxStreamBytes);
  InputWindow input(stream, length);
  return DecodeFromWindow(header, stride, input, length, bits, progress);
}

int DecodeGgdPixels(const GgdPictureHeader& header, uint32_t stride, StreamReader& reader, int64_t length,
                    uint8_t* buffer, size_t capacity, size_t filled, uint8_t* bits, const Progress& progress) {
  if (capacity < kMinStreamBuffer || filled > capacity) return spi::kInternalError;
  length = std::clamp<int64_t>(length, 0, kMaxStreamBytes);
  InputWindow input(reader, length, buffer, capacity, filled);
  return DecodeFromWindow(header, stride, input, length, bits, progress);
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
