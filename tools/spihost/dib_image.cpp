#include "tools/spihost/dib_image.h"

#include <cstring>

#include "plugin_api/plugin_api.h"

#include "tools/spihost/png_writer.h"

namespace spihost {

namespace {

constexpr uint32_t kRgbCompression = 0;  // BI_RGB: no compression, no bit fields
constexpr uint32_t kPaletteEntrySize = 4;
constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBiClrUsedOffset = 32;

bool isSupportedDepth(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

std::string number(uint64_t value) { return std::to_string(value); }

// Checks the header fields; sizes are worked out afterwards.
bool checkHeader(const spi::BitmapInfoHeader& header, std::string& error) {
  if (header.biSize < kBitmapHeaderSize) {
    error = "bitmap header size " + number(header.biSize) + " is below 40";
  } else if (header.biPlanes != 1) {
    error = "bitmap has " + number(header.biPlanes) + " planes, not 1";
  } else if (!isSupportedDepth(header.biBitCount)) {
    error = "bitmap depth of " + number(header.biBitCount) + " bits per pixel is not supported";
  } else if (header.biCompression != kRgbCompression) {
    error = "bitmap compression " + number(header.biCompression) + " is not supported";
  } else if (header.biWidth <= 0 || header.biHeight == 0) {
    error = "bitmap of " + std::to_string(header.biWidth) + " x " + std::to_string(header.biHeight) +
            " pixels holds no picture";
  }
  return error.empty();
}

uint32_t magnitude(int32_t value) {
  return value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

bool checkDimensions(const DibLayout& layout, std::string& error) {
  if (layout.width > kMaxDimension || layout.height > kMaxDimension ||
      static_cast<uint64_t>(layout.width) * layout.height > kMaxPixels) {
    error = "bitmap of " + number(layout.width) + " x " + number(layout.height) + " pixels is too large";
    return false;
  }
  return true;
}

uint32_t paletteEntriesFor(const spi::BitmapInfoHeader& header, uint64_t infoLength, bool paletteFromLength) {
  if (header.biBitCount > 8) return 0;
  uint32_t most = 1u << header.biBitCount;
  if (header.biClrUsed != 0) return header.biClrUsed < most ? header.biClrUsed : most;
  if (!paletteFromLength) return most;
  uint64_t fit = (infoLength - header.biSize) / kPaletteEntrySize;
  return fit < most ? static_cast<uint32_t>(fit) : most;
}

// Colour index `index` of the table, as blue, green, red; black past the end of a short
// table.
void paletteColour(const DibLayout& layout, const uint8_t* info, uint32_t index, uint8_t* rgb) {
  if (index >= layout.paletteEntries) {
    rgb[0] = rgb[1] = rgb[2] = 0;
    return;
  }
  const uint8_t* entry = info + layout.headerSize + static_cast<uint64_t>(index) * kPaletteEntrySize;
  rgb[0] = entry[2];
  rgb[1] = entry[1];
  rgb[2] = entry[0];
}

uint8_t widen5(uint32_t value) { return static_cast<uint8_t>((value << 3) | (value >> 2)); }

// One row of the bitmap into `out`, `channels` bytes per pixel.
void convertRow(const DibLayout& layout, const uint8_t* info, const uint8_t* row, int channels, uint8_t* out) {
  for (uint32_t x = 0; x < layout.width; ++x, out += channels) {
    switch (layout.bitCount) {
      case 1: paletteColour(layout, info, (row[x / 8] >> (7 - x % 8)) & 1u, out); break;
      case 4: paletteColour(layout, info, (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xFu, out); break;
      case 8: paletteColour(layout, info, row[x], out); break;
      case 16: {
        uint32_t pixel = row[2 * x] | (static_cast<uint32_t>(row[2 * x + 1]) << 8);
        out[0] = widen5((pixel >> 10) & 0x1F);
        out[1] = widen5((pixel >> 5) & 0x1F);
        out[2] = widen5(pixel & 0x1F);
        break;
      }
      default: {  // 24 and 32: blue, green, red (, fourth byte)
        const uint8_t* pixel = row + static_cast<uint64_t>(x) * (layout.bitCount / 8);
        out[0] = pixel[2];
        out[1] = pixel[1];
        out[2] = pixel[0];
        if (channels == 4) out[3] = pixel[3];
      }
    }
  }
}

// The fourth bytes say nothing when they are all 0 (the usual unused byte) or all 255
// (fully opaque): the picture is then written without an alpha channel.
bool fourthBytesCarryAlpha(const DibLayout& layout, const uint8_t* bits) {
  const uint8_t first = bits[3];
  if (first != 0 && first != 0xFF) return true;
  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = bits + y * layout.stride;
    for (uint32_t x = 0; x < layout.width; ++x) {
      if (row[4 * static_cast<uint64_t>(x) + 3] != first) return true;
    }
  }
  return false;
}

void appendLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool readDibLayout(const uint8_t* info, uint64_t infoLength, bool paletteFromLength, DibLayout& layout,
                   std::string& error) {
  if (infoLength < kBitmapHeaderSize) {
    error = "information block of " + number(infoLength) + " bytes cannot hold a bitmap header";
    return false;
  }
  spi::BitmapInfoHeader header;
  std::memcpy(&header, info, sizeof header);
  if (!checkHeader(header, error)) return false;
  if (header.biSize > infoLength) {
    error = "bitmap header of " + number(header.biSize) + " bytes is longer than its block (" + number(infoLength) +
            " bytes)";
    return false;
  }
  layout = DibLayout();
  layout.width = static_cast<uint32_t>(header.biWidth);
  layout.height = magnitude(header.biHeight);
  layout.topDown = header.biHeight < 0;
  layout.bitCount = header.biBitCount;
  layout.headerSize = header.biSize;
  if (!checkDimensions(layout, error)) return false;
  layout.paletteEntries = paletteEntriesFor(header, infoLength, paletteFromLength);
  layout.stride = spi::bitmapStride(layout.width, layout.bitCount);
  layout.infoBytes = layout.headerSize + static_cast<uint64_t>(layout.paletteEntries) * kPaletteEntrySize;
  layout.bitsBytes = layout.stride * layout.height;
  if (layout.infoBytes > infoLength) {
    error = "information block of " + number(infoLength) + " bytes is too short for the header and " +
            number(layout.paletteEntries) + " colours (" + number(layout.infoBytes) + " bytes)";
    return false;
  }
  return true;
}

namespace {

bool holdsEveryRow(const DibLayout& layout, uint64_t bitsLength, std::string& error) {
  if (bitsLength >= layout.bitsBytes) return true;
  error = "bits block of " + number(bitsLength) + " bytes is too short for " + number(layout.height) + " rows of " +
          number(layout.stride) + " bytes";
  return false;
}

int channelsOf(const DibLayout& layout, const uint8_t* bits) {
  return layout.bitCount == 32 && fourthBytesCarryAlpha(layout, bits) ? 4 : 3;
}

// Row `y` of the picture in the bitmap: bottom-up bitmaps hold the top row last.
const uint8_t* bitmapRow(const DibLayout& layout, const uint8_t* bits, uint32_t y) {
  uint32_t source = layout.topDown ? y : layout.height - 1 - y;
  return bits + source * layout.stride;
}

}  // namespace

bool dibToImage(const DibLayout& layout, const uint8_t* info, const uint8_t* bits, uint64_t bitsLength, Image& image,
                std::string& error) {
  if (!holdsEveryRow(layout, bitsLength, error)) return false;
  image.width = layout.width;
  image.height = layout.height;
  image.channels = channelsOf(layout, bits);
  uint64_t outStride = static_cast<uint64_t>(layout.width) * image.channels;
  image.pixels.assign(static_cast<size_t>(outStride * layout.height), 0);
  for (uint32_t y = 0; y < layout.height; ++y) {
    convertRow(layout, info, bitmapRow(layout, bits, y), image.channels, image.pixels.data() + y * outStride);
  }
  return true;
}

std::vector<uint8_t> encodePng(const Image& image) {
  size_t rowBytes = static_cast<size_t>(image.width) * static_cast<size_t>(image.channels);
  return writePng(image.width, image.height, image.channels,
                  [&](uint32_t y, uint8_t*) { return image.pixels.data() + y * rowBytes; });
}

std::vector<uint8_t> dibToPng(const DibLayout& layout, const uint8_t* info, const uint8_t* bits, uint64_t bitsLength,
                              std::string& error) {
  if (!holdsEveryRow(layout, bitsLength, error)) return {};
  int channels = channelsOf(layout, bits);
  // Each row is converted as the writer asks for it: the picture is never held whole.
  std::vector<uint8_t> file = writePng(layout.width, layout.height, channels, [&](uint32_t y, uint8_t* room) {
    convertRow(layout, info, bitmapRow(layout, bits, y), channels, room);
    return const_cast<const uint8_t*>(room);
  });
  if (file.empty()) error = "PNG encoding failed: the picture does not fit in memory";
  return file;
}

std::vector<uint8_t> makeBmpFile(const DibLayout& layout, const uint8_t* info, const uint8_t* bits,
                                 uint64_t bitsLength) {
  uint64_t offBits = kBmpFileHeaderSize + layout.infoBytes;
  uint64_t fileSize = offBits + bitsLength;
  std::vector<uint8_t> out;
  if (bitsLength < layout.bitsBytes || fileSize > UINT32_MAX) return out;  // bfSize is 32 bits
  out.reserve(static_cast<size_t>(fileSize));
  out.push_back('B');
  out.push_back('M');
  appendLe(out, static_cast<uint32_t>(fileSize), 4);
  appendLe(out, 0, 4);  // two reserved words
  appendLe(out, static_cast<uint32_t>(offBits), 4);
  out.insert(out.end(), info, info + layout.infoBytes);
  // A colour table shorter than 2^bits must say its length, or readers look for the
  // pixels where the table would have ended.
  if (layout.bitCount <= 8 && layout.paletteEntries < (1u << layout.bitCount)) {
    for (int i = 0; i < 4; ++i) {
      out[kBmpFileHeaderSize + kBiClrUsedOffset + i] = static_cast<uint8_t>(layout.paletteEntries >> (8 * i));
    }
  }
  out.insert(out.end(), bits, bits + bitsLength);
  return out;
}

}  // namespace spihost
