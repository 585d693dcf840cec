// Writes 32-bit pictures as GGA files (.gg0), the format Oslin reads.
//
//   header (48 bytes)  "GGA00000", width u16, height u16, 0 u16, 32 u8, 0 u8,
//                      codeOffset u32 = 48 + auxSize, dataSize u32 = auxSize + code bytes,
//                      auxOffset u32 = 48, auxSize u32, 16 zero bytes
//   aux region         auxSize bytes (zero), skipped by readers
//   pixel codes        the picture as one top-down run of 4-byte pixels
//
// The codes (a distance d names the pixel d positions back):
//   0 n8 / 1 n16             n copies of the previous pixel
//   2 d8 / 3 d16             one pixel from distance d
//   4 d8 n8 / 5 d8 n16       n pixels, each from distance d (d < n repeats a pattern)
//   6 d16 n8 / 7 d16 n16
//   9 / 10 / 11              one pixel from above, above left, above right
//                            (d = width, width + 1, width - 1)
//   12..255                  code - 11 literal pixels follow (1 to 244)
//
// The writer keeps to what Oslin decodes completely: no code 8, no count of 0, every
// distance at least 1 and never reaching before the first pixel, no code 11 in a picture
// one pixel wide, and codes end exactly at the last pixel.
#pragma once

#include <cstdint>
#include <vector>

namespace gga_writer {

constexpr uint32_t kHeaderSize = 48;
constexpr uint32_t kMaxDimension = 0xFFFF;   // width and height are u16
constexpr uint32_t kMaxAuxSize = 1u << 20;   // we write small aux regions, for tests
constexpr uint32_t kMaxDistance = 0xFFFF;    // codes 2-7 hold a 16-bit distance
constexpr uint32_t kMaxCount = 0xFFFF;       // and a 16-bit count
constexpr uint32_t kMaxLiteralPixels = 244;  // code 255

struct WriterOptions {
  uint32_t auxSize = 0;     // bytes of aux region between the header and the codes
  uint32_t searchDepth = 32;  // earlier positions tried per pixel for a long copy
};

// How often each code byte value was written (literals under their own code).
struct CodeCounts {
  uint64_t perCode[256] = {};
  uint64_t literals() const;
};

// The pixel codes for width x height pixels of 4 bytes (top row first). Empty when a
// dimension is 0 or above kMaxDimension.
std::vector<uint8_t> encodeCodes(const uint8_t* pixels, uint32_t width, uint32_t height,
                                 const WriterOptions& options = {}, CodeCounts* counts = nullptr);

// A whole GGA file. False (and `file` empty) for a dimension of 0 or above kMaxDimension,
// or an aux region above kMaxAuxSize.
bool encodeGga(const uint8_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& file,
               const WriterOptions& options = {}, CodeCounts* counts = nullptr);

}  // namespace gga_writer
