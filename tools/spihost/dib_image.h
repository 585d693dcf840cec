// Device-independent bitmaps as image plug-ins hand them over, turned into image files.
//
// Information block:  BITMAPINFOHEADER (biSize bytes, at least 40)
//                     colour table: entries of blue, green, red, 0 (only for 8 bits per
//                     pixel or less; biClrUsed entries, or 2^bits when that is 0)
// Bits block:         rows of `stride` = ((bits x width + 31) / 32) x 4 bytes, the last
//                     row of the picture first (a negative biHeight means top row first)
//
// Pure functions over bytes: the verbs hand in what they read from the handles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace spihost {

// Bounds on what the host converts: a 32-bit host must hold the bitmap, the decoded
// picture and the encoded file at once.
constexpr uint32_t kMaxDimension = 32768;
constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;
constexpr uint32_t kBitmapHeaderSize = 40;

struct DibLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool topDown = false;
  uint32_t bitCount = 0;
  uint32_t headerSize = 0;      // biSize: where the colour table begins
  uint32_t paletteEntries = 0;  // 0 above 8 bits per pixel
  uint64_t stride = 0;
  uint64_t infoBytes = 0;  // header and colour table
  uint64_t bitsBytes = 0;  // stride x height
};

// Reads and checks the header at the start of the information block, of which the host
// may read `infoLength` bytes. With `paletteFromLength` (hosts that trust the block's size)
// a colour table of unstated length holds as many entries as fit instead of 2^bits.
bool readDibLayout(const uint8_t* info, uint64_t infoLength, bool paletteFromLength, DibLayout& layout,
                   std::string& error);

// A picture, top row first, 3 (RGB) or 4 (RGBA) bytes per pixel.
struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  int channels = 3;
  std::vector<uint8_t> pixels;
};

// The pixels of the bitmap; `bitsLength` bytes of `bits` may be read. 32-bit pixels keep
// their fourth byte as alpha unless it is the same 0 (the usual unused byte) or 255 (opaque)
// throughout.
bool dibToImage(const DibLayout& layout, const uint8_t* info, const uint8_t* bits, uint64_t bitsLength, Image& image,
                std::string& error);

// The PNG file of the picture; empty on failure.
std::vector<uint8_t> encodePng(const Image& image);

// The PNG file of the bitmap (what dibToImage and encodePng make, without the picture in
// between); empty with `error` on failure.
std::vector<uint8_t> dibToPng(const DibLayout& layout, const uint8_t* info, const uint8_t* bits, uint64_t bitsLength,
                              std::string& error);

// A BMP file: file header, the header and colour table, then `bitsLength` bytes of bits
// exactly as handed over. Empty when `bitsLength` is below layout.bitsBytes or the file
// would pass 4 GiB.
std::vector<uint8_t> makeBmpFile(const DibLayout& layout, const uint8_t* info, const uint8_t* bits,
                                 uint64_t bitsLength);

}  // namespace spihost
