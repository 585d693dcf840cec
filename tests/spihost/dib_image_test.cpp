// Bitmaps into pictures: row order, row padding, each depth, colour tables, and the
// headers the host refuses. PNG output is read back with stb_image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/spihost/fake_files.h"
#include "tools/spihost/dib_image.h"
#include "tools/spihost/png_writer.h"

#include <zlib.h>
#include <cstdlib>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include "stb_image.h"

namespace {

using fake_files::bitmapHeader;
using spihost::DibLayout;
using spihost::Image;

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

const uint8_t* u8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A colour table of n entries: entry i is blue i, green 2i, red 255 - i.
std::string palette(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += bytes({i, 2 * i & 0xFF, 255 - i, 0});
  return out;
}

struct PictureCase {
  const char* what;
  std::string info;
  std::string bits;
  uint32_t width, height;
  int channels;
  std::vector<uint8_t> pixels;  // top row first
};

std::vector<PictureCase> pictureCases() {
  std::vector<PictureCase> cases;
  cases.push_back({"24 bpp, 3 x 2: rows of 9 bytes padded to 12, bottom row first",
                   bitmapHeader(3, 2, 24),
                   bytes({/* bottom row */ 1, 2, 3, 4, 5, 6, 7, 8, 9, /* padding */ 0xEE, 0xEE, 0xEE,
                          /* top row */ 10, 11, 12, 13, 14, 15, 16, 17, 18, 0xEE, 0xEE, 0xEE}),
                   3, 2, 3,
                   {12, 11, 10, 15, 14, 13, 18, 17, 16, /* bottom */ 3, 2, 1, 6, 5, 4, 9, 8, 7}});
  cases.push_back({"24 bpp, 1 x 2, negative height: top row first",
                   bitmapHeader(1, -2, 24),
                   bytes({1, 2, 3, 0, /* second row */ 4, 5, 6, 0}),
                   1, 2, 3, {3, 2, 1, 6, 5, 4}});
  cases.push_back({"32 bpp whose fourth bytes are all 0: opaque RGB",
                   bitmapHeader(2, 2, 32),
                   bytes({1, 2, 3, 0, 4, 5, 6, 0, /* top */ 7, 8, 9, 0, 10, 11, 12, 0}),
                   2, 2, 3, {9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}});
  cases.push_back({"32 bpp whose fourth bytes are all 255: opaque RGB",
                   bitmapHeader(1, 2, 32),
                   bytes({1, 2, 3, 0xFF, /* top */ 4, 5, 6, 0xFF}),
                   1, 2, 3, {6, 5, 4, 3, 2, 1}});
  cases.push_back({"32 bpp with fourth bytes 255 and 0: RGBA",
                   bitmapHeader(2, 1, 32),
                   bytes({1, 2, 3, 0xFF, 4, 5, 6, 0}),
                   2, 1, 4, {3, 2, 1, 0xFF, 6, 5, 4, 0}});
  cases.push_back({"32 bpp with a fourth byte in use: RGBA",
                   bitmapHeader(2, 1, 32),
                   bytes({1, 2, 3, 0x80, 4, 5, 6, 0}),
                   2, 1, 4, {3, 2, 1, 0x80, 6, 5, 4, 0}});
  cases.push_back({"8 bpp, 3 x 2, four colours: rows of 3 bytes padded to 4",
                   bitmapHeader(3, 2, 8, 4) + palette(4),
                   bytes({/* bottom */ 0, 1, 2, 0xEE, /* top */ 3, 3, 0, 0xEE}),
                   3, 2, 3,
                   {252, 6, 3, 252, 6, 3, 255, 0, 0, /* bottom */ 255, 0, 0, 254, 2, 1, 253, 4, 2}});
  cases.push_back({"8 bpp with a full table of 256 colours (biClrUsed 0)",
                   bitmapHeader(2, 1, 8) + palette(256),
                   bytes({200, 255, 0, 0}),
                   2, 1, 3, {55, 144, 200, 0, 254, 255}});
  cases.push_back({"8 bpp index past a short table: black",
                   bitmapHeader(2, 1, 8, 2) + palette(2),
                   bytes({1, 9, 0, 0}),
                   2, 1, 3, {254, 2, 1, 0, 0, 0}});
  cases.push_back({"4 bpp, 3 x 1: high nibble first",
                   bitmapHeader(3, 1, 4, 3) + palette(3),
                   bytes({0x12, 0x00, 0, 0}),
                   3, 1, 3, {254, 2, 1, 253, 4, 2, 255, 0, 0}});
  cases.push_back({"1 bpp, 9 x 1: most significant bit first, across a byte",
                   bitmapHeader(9, 1, 1, 2) + palette(2),
                   bytes({0xA0, 0x80, 0, 0}),
                   9, 1, 3,
                   {254, 2, 1, 255, 0, 0, 254, 2, 1, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 254, 2, 1}});
  cases.push_back({"16 bpp 5-5-5: red, green, blue at full strength",
                   bitmapHeader(3, 1, 16),
                   bytes({0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0}),
                   3, 1, 3, {255, 0, 0, 0, 255, 0, 0, 0, 255}});
  return cases;
}

TEST(SpihostDibImage, PixelsOfEachDepthAndRowOrder) {
  for (const PictureCase& test : pictureCases()) {
    DibLayout layout;
    std::string error;
    ASSERT_TRUE(spihost::readDibLayout(u8(test.info), test.info.size(), false, layout, error)) << test.what << error;
    Image image;
    ASSERT_TRUE(spihost::dibToImage(layout, u8(test.info), u8(test.bits), test.bits.size(), image, error))
        << test.what << error;
    EXPECT_EQ(image.width, test.width) << test.what;
    EXPECT_EQ(image.height, test.height) << test.what;
    EXPECT_EQ(image.channels, test.channels) << test.what;
    EXPECT_EQ(image.pixels, test.pixels) << test.what;
  }
}

TEST(SpihostDibImage, PngReadsBackAsThePixels) {
  for (const PictureCase& test : pictureCases()) {
    DibLayout layout;
    std::string error;
    Image image;
    ASSERT_TRUE(spihost::readDibLayout(u8(test.info), test.info.size(), false, layout, error));
    ASSERT_TRUE(spihost::dibToImage(layout, u8(test.info), u8(test.bits), test.bits.size(), image, error));
    std::vector<uint8_t> png = spihost::encodePng(image);
    ASSERT_FALSE(png.empty()) << test.what;
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels =
        stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height, &channels, 0);
    ASSERT_NE(pixels, nullptr) << test.what;
    EXPECT_EQ(width, static_cast<int>(test.width)) << test.what;
    EXPECT_EQ(height, static_cast<int>(test.height)) << test.what;
    EXPECT_EQ(channels, test.channels) << test.what;
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + width * height * channels), test.pixels) << test.what;
    stbi_image_free(pixels);
    // Straight from the bitmap, row by row, the file is the same.
    EXPECT_EQ(spihost::dibToPng(layout, u8(test.info), u8(test.bits), test.bits.size(), error), png) << test.what;
  }
}

// The filter type bytes of a PNG file's rows, from its one IDAT chunk.
std::vector<int> filterTypesOf(const std::vector<uint8_t>& png, uint32_t height, size_t rowBytes) {
  std::vector<int> types;
  size_t at = 8 + 12 + 13;  // signature, IHDR
  if (png.size() < at + 8 || std::memcmp(&png[at + 4], "IDAT", 4) != 0) return types;
  uLong length = (uLong{png[at]} << 24) | (uLong{png[at + 1]} << 16) | (uLong{png[at + 2]} << 8) | png[at + 3];
  std::vector<uint8_t> rows((rowBytes + 1) * height);
  uLongf rowsLength = static_cast<uLongf>(rows.size());
  if (uncompress(rows.data(), &rowsLength, &png[at + 8], length) != Z_OK || rowsLength != rows.size()) return types;
  for (uint32_t y = 0; y < height; ++y) types.push_back(rows[y * (rowBytes + 1)]);
  return types;
}

// Every filter type is chosen by some row and undone exactly by a reader, for RGB and
// RGBA, one pixel wide (no left neighbour at all) and tall enough to be written in pieces.
TEST(SpihostDibImage, PngFiltersReadBackInEveryShape) {
  struct Case {
    const char* what;
    uint32_t width, height;
    int channels;
  };
  const Case cases[] = {
      {"RGB, 1 x 1", 1, 1, 3},       {"RGBA, 1 pixel wide", 1, 300, 4}, {"RGB, 7 x 50", 7, 50, 3},
      {"RGBA, 7 x 50", 7, 50, 4},    {"RGB in pieces", 1000, 1200, 3},  {"RGBA in pieces", 1000, 700, 4},
  };
  for (const Case& test : cases) {
    Image image;
    image.width = test.width;
    image.height = test.height;
    image.channels = test.channels;
    size_t rowBytes = size_t{test.width} * static_cast<size_t>(test.channels);
    image.pixels.resize(rowBytes * test.height);
    uint32_t noise = 99;
    for (uint32_t y = 0; y < test.height; ++y) {
      for (size_t i = 0; i < rowBytes; ++i) {
        noise = noise * 1103515245u + 12345u;
        uint32_t x = static_cast<uint32_t>(i) / static_cast<uint32_t>(test.channels);
        uint32_t value = 0;
        // Bands of rows that suit each filter: noise (none), across (sub), down (up), a
        // slope that averages, and edges at mixed angles (Paeth).
        switch (y / 5 % 5) {
          case 0: value = noise >> 24; break;
          case 1: value = x * 3 + i % 3; break;
          case 2: value = y * 11 + i % 7 * 40; break;
          case 3: value = (x + y) * 2; break;
          default: value = (x * 7 > y * 3 ? 200 : 30) + (x + 2 * y) % 4 * 9;
        }
        image.pixels[y * rowBytes + i] = static_cast<uint8_t>(value);
      }
    }
    std::vector<uint8_t> png = spihost::encodePng(image);
    ASSERT_FALSE(png.empty()) << test.what;
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height, &channels, 0);
    ASSERT_NE(pixels, nullptr) << test.what << ": " << stbi_failure_reason();
    EXPECT_EQ(channels, test.channels) << test.what;
    EXPECT_TRUE(std::vector<uint8_t>(pixels, pixels + rowBytes * test.height) == image.pixels) << test.what;
    stbi_image_free(pixels);
    if (test.height >= 50 && test.width > 1) {
      std::vector<int> types = filterTypesOf(png, test.height, rowBytes);
      for (int type = 0; type < 5; ++type) {
        EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << test.what << ": filter " << type;
      }
    }
  }
}

// The stream deflated in pieces at once inflates to the data, across every cut: empty,
// one piece, several pieces of data that repeats across their cuts, and of noise.
TEST(SpihostDibImage, DeflateInPiecesInflatesToTheData) {
  struct Case {
    const char* what;
    size_t length;
    uint32_t period;  // bytes repeat with this period; 0 = noise
  };
  const Case cases[] = {
      {"empty", 0, 1}, {"one byte", 1, 1}, {"just under a piece", (1u << 20) - 1, 7},
      {"several pieces repeating across the cuts", 5u * (1u << 20) + 3, 40000}, {"noise", 3u << 20, 0},
  };
  for (const Case& test : cases) {
    std::vector<uint8_t> data(test.length);
    uint32_t state = 12345;
    for (size_t i = 0; i < data.size(); ++i) {
      state = state * 1103515245u + 12345u;
      data[i] = test.period ? static_cast<uint8_t>((i % test.period) * 31 / 7) : static_cast<uint8_t>(state >> 24);
    }
    int length = 0;
    unsigned char* stream = spihost::deflateInPieces(data.data(), data.size(), spihost::kPngDeflateLevel, &length);
    ASSERT_NE(stream, nullptr) << test.what;
    std::vector<uint8_t> back(data.size() + 1);
    uLongf backLength = static_cast<uLongf>(back.size());
    EXPECT_EQ(uncompress(back.data(), &backLength, stream, static_cast<uLong>(length)), Z_OK) << test.what;
    back.resize(backLength);
    EXPECT_TRUE(back == data) << test.what;
    std::free(stream);
  }
}

TEST(SpihostDibImage, BmpFileIsHeaderThenBlocksAsHandedOver) {
  std::string info = bitmapHeader(3, 1, 8, 2) + palette(2);
  std::string bits = bytes({0, 1, 0, 0xEE, /* beyond the picture */ 9, 9});
  DibLayout layout;
  std::string error;
  ASSERT_TRUE(spihost::readDibLayout(u8(info), info.size(), false, layout, error));
  struct Case {
    uint64_t bitsLength;
    std::string expected;
  };
  const Case cases[] = {
      // "BM", file size 14 + 48 + 4, reserved, offset of the bits 14 + 40 + 2 x 4.
      {4, bytes({'B', 'M', 66, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0}) + info + bits.substr(0, 4)},
      // A host that goes by the block's size copies all of it.
      {6, bytes({'B', 'M', 68, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0}) + info + bits},
  };
  for (const Case& test : cases) {
    std::vector<uint8_t> file = spihost::makeBmpFile(layout, u8(info), u8(bits), test.bitsLength);
    EXPECT_EQ(std::string(file.begin(), file.end()), test.expected) << test.bitsLength;
  }
  EXPECT_TRUE(spihost::makeBmpFile(layout, u8(info), u8(bits), 3).empty());  // fewer bits than the rows need
}

TEST(SpihostDibImage, BmpOfAShortTableStatesItsLength) {
  // A table of 2 colours found from the block's size, with biClrUsed 0 in the header.
  std::string info = bitmapHeader(1, 1, 8) + palette(2);
  std::string bits = bytes({1, 0, 0, 0});
  DibLayout layout;
  std::string error;
  ASSERT_TRUE(spihost::readDibLayout(u8(info), info.size(), true, layout, error)) << error;
  EXPECT_EQ(layout.paletteEntries, 2u);
  std::vector<uint8_t> file = spihost::makeBmpFile(layout, u8(info), u8(bits), bits.size());
  ASSERT_EQ(file.size(), 14u + 48u + 4u);
  EXPECT_EQ(file[14 + 32], 2);  // biClrUsed
}

TEST(SpihostDibImage, RefusedHeaders) {
  auto withField = [](std::string header, size_t offset, std::string value) {
    header.replace(offset, value.size(), value);
    return header;
  };
  struct Case {
    const char* what;
    std::string info;
    bool paletteFromLength;
    const char* reason;
  };
  const Case cases[] = {
      {"block shorter than a header", bitmapHeader(1, 1, 24).substr(0, 39), false, "cannot hold"},
      {"biSize 39", withField(bitmapHeader(1, 1, 24), 0, fake_files::le(39)), false, "below 40"},
      {"biSize past the block", withField(bitmapHeader(1, 1, 24), 0, fake_files::le(60)), false, "longer than"},
      {"two planes", withField(bitmapHeader(1, 1, 24), 12, fake_files::le(2, 2)), false, "planes"},
      {"7 bits per pixel", bitmapHeader(1, 1, 7), false, "not supported"},
      {"bit fields", withField(bitmapHeader(1, 1, 32), 16, fake_files::le(3)), false, "compression 3"},
      {"width 0", bitmapHeader(0, 1, 24), false, "holds no picture"},
      {"negative width", bitmapHeader(-4, 1, 24), false, "holds no picture"},
      {"height 0", bitmapHeader(4, 0, 24), false, "holds no picture"},
      {"too wide", bitmapHeader(40000, 1, 24), false, "too large"},
      {"too many pixels", bitmapHeader(30000, 30000, 24), false, "too large"},
      {"height -2^31", bitmapHeader(1, INT32_MIN, 24), false, "too large"},
      {"8 bpp with 2 of 256 colours", bitmapHeader(1, 1, 8) + palette(2), false, "too short for the header and 256"},
      {"8 bpp with 3 of 4 stated colours", bitmapHeader(1, 1, 8, 4) + palette(3), true, "and 4 colours"},
  };
  for (const Case& test : cases) {
    DibLayout layout;
    std::string error;
    EXPECT_FALSE(spihost::readDibLayout(u8(test.info), test.info.size(), test.paletteFromLength, layout, error))
        << test.what;
    EXPECT_NE(error.find(test.reason), std::string::npos) << test.what << ": " << error;
  }
}

TEST(SpihostDibImage, ShortBitsAreRefusedBeforeAnyRead) {
  std::string info = bitmapHeader(3, 2, 24);
  DibLayout layout;
  std::string error;
  ASSERT_TRUE(spihost::readDibLayout(u8(info), info.size(), false, layout, error));
  EXPECT_EQ(layout.stride, 12u);
  EXPECT_EQ(layout.bitsBytes, 24u);
  std::string bits(23, '\0');
  Image image;
  EXPECT_FALSE(spihost::dibToImage(layout, u8(info), u8(bits), bits.size(), image, error));
  EXPECT_NE(error.find("too short for 2 rows of 12 bytes"), std::string::npos) << error;
}

}  // namespace
