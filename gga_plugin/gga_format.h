// GGA: a 32-bit picture stored as a 48-byte header and a stream of pixel codes.
//
//   offset  size  field          rule for a picture we accept
//   ------  ----  -------------  -------------------------------------------------
//        0     8  magic          "GGA00000", no terminator
//        8   u16  width          pixels per row, not 0
//       10   u16  height         rows, not 0
//       12   u16  reserved       0
//       14    u8  bitsPerPixel   32
//       15    u8  (free)         any value
//       16   u32  codeOffset     position of the first pixel code = 48 + auxSize
//       20   u32  dataSize       bytes after the header; not 0, otherwise unused
//       24   u32  auxOffset      48: the aux region starts right after the header
//       28   u32  auxSize        bytes of the aux region, skipped unread
//       32    16  (free)         any values
//   48 + auxSize  pixel codes    until the picture is full or the data ends
//
// All numbers are little-endian. The picture is width x height pixels of 4 bytes (blue,
// green, red, and a fourth byte carried through), top row first, with no padding: the
// codes describe one continuous sequence of pixels and may run on from one row into the
// next. A distance d names the pixel d positions before the one about to be written.
//
//   code    operands               pixels written
//   ----    ---------------------  ------------------------------------------------
//   0       count u8               count copies of the previous pixel
//   1       count u16              count copies of the previous pixel
//   2       d u8                   one pixel from distance d
//   3       d u16                  one pixel from distance d
//   4       d u8,  count u8        count pixels, each from distance d
//   5       d u8,  count u16         (front to back, so d < count repeats a pattern)
//   6       d u16, count u8
//   7       d u16, count u16
//   8       -                      no meaning: this decoder stops at it
//   9       -                      one pixel from the row above (d = width)
//   10      -                      one pixel from above left     (d = width + 1)
//   11      -                      one pixel from above right    (d = width - 1)
//   12-255  (code - 11) pixels     1 to 244 literal pixels of 4 bytes each
#pragma once

#include <cstddef>
#include <cstdint>

namespace gga {

constexpr uint32_t kHeaderSize = 48;
constexpr char kMagic[8] = {'G', 'G', 'A', '0', '0', '0', '0', '0'};
constexpr uint32_t kBitsPerPixel = 32;
constexpr uint32_t kBytesPerPixel = 4;
// The aux region must begin right after the header.
constexpr uint32_t kAuxOffset = kHeaderSize;

#pragma pack(push, 1)
struct GgaHeader {
  char magic[8];
  uint16_t width;
  uint16_t height;
  uint16_t reserved;
  uint8_t bitsPerPixel;
  uint8_t unused15;
  uint32_t codeOffset;
  uint32_t dataSize;
  uint32_t auxOffset;
  uint32_t auxSize;
  uint8_t unused32[16];
};
#pragma pack(pop)

static_assert(sizeof(GgaHeader) == kHeaderSize, "the GGA header is 48 bytes");
static_assert(offsetof(GgaHeader, width) == 8, "width at 8");
static_assert(offsetof(GgaHeader, height) == 10, "height at 10");
static_assert(offsetof(GgaHeader, reserved) == 12, "reserved at 12");
static_assert(offsetof(GgaHeader, bitsPerPixel) == 14, "bitsPerPixel at 14");
static_assert(offsetof(GgaHeader, codeOffset) == 16, "codeOffset at 16");
static_assert(offsetof(GgaHeader, dataSize) == 20, "dataSize at 20");
static_assert(offsetof(GgaHeader, auxOffset) == 24, "auxOffset at 24");
static_assert(offsetof(GgaHeader, auxSize) == 28, "auxSize at 28");

// The pixel codes.
enum Code : uint8_t {
  kRepeatShort = 0,     // count u8
  kRepeatLong = 1,      // count u16
  kCopyOneNear = 2,     // d u8
  kCopyOneFar = 3,      // d u16
  kCopyNearShort = 4,   // d u8, count u8
  kCopyNearLong = 5,    // d u8, count u16
  kCopyFarShort = 6,    // d u16, count u8
  kCopyFarLong = 7,     // d u16, count u16
  kUndefined = 8,
  kCopyAbove = 9,
  kCopyAboveLeft = 10,
  kCopyAboveRight = 11,
  kFirstLiteral = 12,   // code - kLiteralBias literal pixels follow
};
constexpr uint32_t kLiteralBias = 11;
constexpr uint32_t kMaxLiteralPixels = 255 - kLiteralBias;  // 244
// The longest code: a code byte and 244 literal pixels.
constexpr uint32_t kLongestCodeBytes = 1 + kMaxLiteralPixels * kBytesPerPixel;

}  // namespace gga
