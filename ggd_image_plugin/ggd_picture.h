// GGD pictures: the header check and the pixel decoder behind Gorsel's exports.
//
//   offset  size  field
//   0       4     mode tag: the four ASCII characters, each stored complemented (NOT)
//                 "FULL" = B9 AA B3 B3 is the only mode decoded here; "256G" (CD CA C9 B8)
//                 and "HIGH" (B7 B6 B8 B7) exist but are refused as "not this format"
//   4       i16   width  in pixels, 1..32767
//   6       i16   height in pixels, 1..32767
//   8       ...   pixel stream to the end of the input; its first byte is 5 or more
//
// The pixel stream is a run of operations over three-byte pixels (blue, green, red) that
// fill one flat output of height x stride bytes (stride = width x 3 rounded up to a
// multiple of 4); row r of the picture, top row first, is slice r of that output and the
// bytes past width x 3 in each slice are produced but never shown. Counts n are 1..255,
// distances d in pixels back from the output position:
//
//   00 n        the last pixel repeated n times (a copy from 1 pixel back)
//   01 n d8     n pixels copied from d pixels back
//   02 n d16    n pixels copied from d pixels back (d little-endian)
//   03 d8       1 pixel copied from d pixels back
//   04 d16      1 pixel copied from d pixels back
//   05..FF      b - 4 literal pixels (1..251) follow in the stream, 3 bytes each
//
// Copies run forwards byte by byte, so a distance shorter than the count repeats the last
// d pixels, and a distance of 0 copies each byte onto itself, yielding black pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin_api/plugin_api.h"

namespace gorsel {

// The mode tags, complemented back into plain characters and read as little-endian words.
// The table order (256G, HIGH, FULL) is the order the format numbers its modes in.
constexpr uint32_t TagWord(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}
constexpr uint32_t kModeTags[3] = {TagWord("256G"), TagWord("HIGH"), TagWord("FULL")};
constexpr int kFullColourMode = 2;  // the only mode Gorsel decodes

// Header layout.
constexpr size_t kTagOffset = 0;
constexpr size_t kWidthOffset = 4;
constexpr size_t kHeightOffset = 6;
constexpr size_t kHeaderBytes = 8;
// The header check also wants the first operation byte and room for one literal pixel.
constexpr size_t kMinPictureBytes = 12;
constexpr uint8_t kFirstLiteralOp = 5;

constexpr int kBytesPerPixel = 3;
constexpr int kBitsPerPixel = 24;
constexpr int kMaxLiteralPixels = 0xFF - 4;  // 251

// The largest bitmap Gorsel builds. Both the bits block and the host's copy of it must fit
// into the 2 GiB of a 32-bit process, so a larger picture (a full 32767 x 32767 header asks
// for 3 GiB, more than a 32-bit size can even hold signed) is refused before anything is
// allocated, the same way in every build.
constexpr uint64_t kMaxBitmapBytes = uint64_t{1} << 30;

// The most stream bytes a picture of `bitmapBytes` bytes of output can consume. No operation
// spends more than 4 stream bytes per whole pixel it produces: a 1-pixel literal run takes
// 1 + 3 bytes, "02 n d16" with n = 1 takes 4, every other form less per pixel. The output
// holds bitmapBytes / 3 whole pixels; one operation more may be cut short by the end of an
// output whose size is no multiple of 3, and the longest of those is a literal run of 251
// pixels, 1 + 753 bytes. Decoding ends with the last pixel, so nothing past this is read, and
// the exports read no more of their input than this (plus the header).
constexpr uint64_t kMaxCutShortOperationBytes = 1 + kMaxLiteralPixels * kBytesPerPixel;
constexpr uint64_t GgdLongestStream(uint64_t bitmapBytes) {
  return bitmapBytes / kBytesPerPixel * 4 + kMaxCutShortOperationBytes;
}

// The longest stream the decoder reads; its progress reports count bytes in 32 bits.
constexpr int64_t kMaxStreamBytes = INT32_MAX;
static_assert(GgdLongestStream(kMaxBitmapBytes) + kHeaderBytes < static_cast<uint64_t>(kMaxStreamBytes),
              "every picture Gorsel builds fits a stream it reads");

// The header as the routines pass it around.
struct GgdPictureHeader {
  uint32_t modeTag;  // as stored, complemented
  int16_t width;
  int16_t height;
};

// Checks the header at *cursor, of which *available bytes may be read. Returns 0 and moves
// the cursor past the header (and copies it to *header when asked), or kUnknownFormat and
// leaves cursor and count as they were.
int CheckGgdPicture(const uint8_t** cursor, int64_t* available, GgdPictureHeader* header);

// Row stride of the 24-bit bitmap, and height x stride computed in 64 bits. False when the
// bitmap is larger than kMaxBitmapBytes.
uint32_t GgdStride(const GgdPictureHeader& header);
bool GgdBitmapBytes(const GgdPictureHeader& header, uint64_t* bytes);

// The host's progress callback and user value, which belong to one GetPicture call: every
// call carries its own, so calls on several threads at once each report to their own host.
struct Progress {
  spi::ProgressCallback callback;
  spi::UserData user;
};
constexpr Progress kNoProgress = {nullptr, 0};

// Decodes `length` bytes of pixel stream into `bits`, a block of height x stride bytes,
// leaving the picture there bottom-up (what the block held before does not matter). Returns
// 0, kAborted when the progress callback asked to stop, kDamaged for a zero count or a
// distance before the first pixel, or kInternalError when the stride does not fit the
// header. Running out of stream or of picture is no error: decoding ends and what was not
// produced stays black. Decoding also ends as soon as every pixel is complete, so bytes
// after a picture (a host's zero-filled buffer, text) change nothing.
// Reports go to `progress`.
int DecodeGgdPixels(const GgdPictureHeader& header, uint32_t stride, const uint8_t* stream, int64_t length,
                    uint8_t* bits, const Progress& progress);

// The pixel stream of a file, read in pieces as decoding goes.
class StreamReader {
 public:
  // Stores up to `bytes` of the stream's next bytes at `to`; the count stored, or -1 when the
  // read failed.
  virtual int64_t read(uint8_t* to, size_t bytes) = 0;

 protected:
  ~StreamReader() = default;
};

// The smallest buffer the reading decoder takes: room for the longest operation twice.
constexpr size_t kMinStreamBuffer = 2048;

// The same decoding over a stream of `length` bytes that arrives through `reader`, in pieces
// as large as `buffer` (`capacity` bytes, of which the first `filled` already hold the
// stream's start). A read that stores fewer bytes than asked ends the input (the rest of the
// stream reads as zeros); kReadError when a read fails.
int DecodeGgdPixels(const GgdPictureHeader& header, uint32_t stride, StreamReader& reader, int64_t length,
                    uint8_t* buffer, size_t capacity, size_t filled, uint8_t* bits, const Progress& progress);

// Calls the call's callback with (done, total); 1 when it asks to stop, else 0, and 0 without
// a call when there is no callback.
int ReportProgress(const Progress& progress, int done, int total);

}  // namespace gorsel
