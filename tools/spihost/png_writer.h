// PNG files as the host writes them, on every core.
//
// File:   signature, IHDR, one IDAT, IEND; each chunk is length (big-endian), type, data,
//         CRC-32 of type and data.
// IHDR:   width, height (big-endian), bit depth 8, colour type 2 (RGB) or 6 (RGBA),
//         compression 0, filter 0, no interlace.
// IDAT:   a zlib stream of the rows, each row one filter type byte and then the row's
//         bytes filtered by it.
//
// Each row takes the filter whose bytes, read as signed, sum smallest in magnitude (what
// common encoders do). Those bytes are then deflated with run-length matches only: on
// filtered photographs this packs a little tighter than zlib's level 7 with full matching
// (the default of common tools), in a third of the time of level 4, because what filtering
// leaves is mostly small differences that Huffman codes pack well and long matches seldom
// find. Rows are filtered, and the stream deflated, in pieces at once (as pigz does): each
// piece ends on a byte boundary so that the next can follow it, and their checksums are
// combined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace spihost {

// The zlib level of the PNG stream, deflated with the run-length strategy.
constexpr int kPngDeflateLevel = 1;

// Row `y` of the picture (0 is the top): a pointer to its bytes, which may be `room` (space
// for one row) filled in. Called from several threads at once.
using PngRowSource = std::function<const uint8_t*(uint32_t y, uint8_t* room)>;

// The PNG file of a picture of `channels` (3: RGB, 4: RGBA) bytes per pixel; empty when it is
// too large for the writer or memory runs out.
std::vector<uint8_t> writePng(uint32_t width, uint32_t height, int channels, const PngRowSource& rowAt);

// A zlib stream of `data`, in a block from malloc, its length in `outLength`; null on
// failure.
unsigned char* deflateInPieces(const unsigned char* data, size_t length, int level, int* outLength);

}  // namespace spihost
