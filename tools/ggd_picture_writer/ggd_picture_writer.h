// Writes full-colour GGD pictures: an 8-byte header and a pixel stream of operations on
// three-byte pixels (blue, green, red).
//
//   0  "FULL", each byte complemented: B9 AA B3 B3
//   4  width  i16, 1..32767           8  pixel stream, opening with a literal run
//   6  height i16, 1..32767
//
//   00 n        repeat the last pixel n times          n = 1..255 everywhere
//   01 n d8     copy n pixels from d pixels back        d = 0..255
//   02 n d16    copy n pixels from d pixels back        d = 0..65535, little-endian
//   03 d8       copy 1 pixel from d pixels back
//   04 d16      copy 1 pixel from d pixels back
//   05..FF      b - 4 literal pixels follow (1..251)
//
// The stream fills one flat output of height x stride bytes (stride = width x 3 rounded up
// to a multiple of 4), top row first; the bytes past width x 3 in each row are produced but
// not shown, and the writer makes them 0. Copies run forwards byte by byte, so a short
// distance repeats a pattern and a distance of 0 yields black pixels.
//
// The writer keeps to the decoder's exact rules: every operation fits the output whole, the
// first one is a literal run, counts are never 0 and no copy reaches before the first pixel.
// When the output's size is no multiple of 3 and its last one or two bytes belong to a
// pixel, one final 1-pixel literal carries them (the decoder writes what fits of it).
#pragma once

#include <cstdint>
#include <vector>

namespace ggd_picture_writer {

constexpr int kMaxDimension = 32767;
// Gorsel refuses bitmaps larger than this, so the writer does not make them.
constexpr uint64_t kMaxBitmapBytes = uint64_t{1} << 30;

// Operations of the stream, for statistics.
enum OpKind { kOpRepeat, kOpCopyNear, kOpCopyFar, kOpCopyOneNear, kOpCopyOneFar, kOpLiteral, kOpKinds };

struct EncodeStats {
  uint64_t operations[kOpKinds] = {};
  uint64_t pixels[kOpKinds] = {};  // pixels produced by each kind of operation
  uint64_t blackCopies = 0;        // copies from distance 0
};

// The output size of a picture: height x stride bytes.
uint64_t bitmapBytes(int width, int height);

// Encodes `bgr` (top row first, width x 3 bytes a row, no padding) into a whole GGD file.
// Returns an empty vector for sizes outside 1..32767 or bitmaps above kMaxBitmapBytes.
std::vector<uint8_t> encodeGgdPicture(int width, int height, const uint8_t* bgr, EncodeStats* stats = nullptr);

}  // namespace ggd_picture_writer
