// Pictures written by the GGA writer come back pixel for pixel through Oslin's exports,
// from a file and from memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/common/temp_folder.h"
#include "tests/oslin/oslin_plugin.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/photographs.h"
#include "tools/gga_writer/test_pictures.h"

namespace {

using gga_writer::TestPattern;
using oslin_test::Bitmap;
using oslin_test::Oslin;

struct Picture {
  const char* what;
  TestPattern pattern;
  uint32_t width, height;
  uint32_t auxSize;
};

const Picture kPictures[] = {
    {"1 x 1", TestPattern::kNoise, 1, 1, 0},
    {"noise, odd width", TestPattern::kNoise, 17, 13, 0},
    {"gradient", TestPattern::kGradient, 300, 40, 0},
    {"flat areas", TestPattern::kFlat, 257, 100, 0},
    {"flat areas, aux region", TestPattern::kFlat, 31, 9, 16},
    {"repeated rows", TestPattern::kRepeatedRows, 64, 64, 0},
    {"every code", TestPattern::kMixed, 320, 70, 0},
    {"photo-like", TestPattern::kPhoto, 33, 7, 0},
    {"one column", TestPattern::kMixed, 1, 50, 0},
    {"one row", TestPattern::kMixed, 50, 1, 0},
    {"two columns", TestPattern::kRepeatedRows, 2, 40, 0},
    {"width 255", TestPattern::kRepeatedRows, 255, 3, 0},
    {"width 256", TestPattern::kRepeatedRows, 256, 3, 0},
    {"widest rows, copies 65535 back", TestPattern::kRepeatedRows, 65535, 2, 0},
    {"widest flat picture", TestPattern::kFlat, 65535, 3, 0},
};

// Writes the picture as a GGA file and decodes it through GetPicture from memory and from
// a file: both must give back exactly the pixels written.
void expectRoundTrip(const Oslin& plugin, const testing_support::TempFolder& folder, const std::vector<uint8_t>& pixels,
                     uint32_t width, uint32_t height, uint32_t auxSize = 0) {
  std::vector<uint8_t> file;
  gga_writer::WriterOptions options;
  options.auxSize = auxSize;
  ASSERT_TRUE(gga_writer::encodeGga(pixels.data(), width, height, file, options));
  folder.write("picture.gg0", std::string(file.begin(), file.end()));
  const std::string path = folder.path("picture.gg0");

  Bitmap fromMemory, fromFile;
  ASSERT_EQ(plugin.getPicture(oslin_test::bytesArg(file), static_cast<intptr_t>(file.size()), 1, &fromMemory.info,
                              &fromMemory.bits, nullptr, 0),
            0);
  ASSERT_EQ(plugin.getPicture(oslin_test::textArg(path), 0, 0, &fromFile.info, &fromFile.bits, nullptr, 0), 0);
  EXPECT_TRUE(fromMemory.topDown() == pixels);
  EXPECT_TRUE(fromFile.topDown() == pixels);
}

TEST(OslinRoundTrip, WrittenPicturesDecodeToTheSamePixels) {
  Oslin plugin;
  ASSERT_TRUE(plugin.complete());
  testing_support::TempFolder folder;
  for (const Picture& p : kPictures) {
    SCOPED_TRACE(p.what);
    expectRoundTrip(plugin, folder, gga_writer::makeTestPicture(p.pattern, p.width, p.height, p.width ^ p.height),
                    p.width, p.height, p.auxSize);
  }
}

// Photographs are dense mixes of codes a few pixels long, many of them copies from rows
// above and across row ends: each scene at widths where rows end at every offset of the
// decoder's 16-byte blocks, and one wide enough for copies from 65535 pixels back.
TEST(OslinRoundTrip, PhotographsDecodeToTheSamePixels) {
  Oslin plugin;
  ASSERT_TRUE(plugin.complete());
  testing_support::TempFolder folder;
  const struct {
    uint32_t width, height;
  } sizes[] = {{97, 61}, {250, 40}, {1023, 70}};
  for (uint32_t scene = 0; scene < gga_writer::kSceneCount; ++scene)
    for (const auto& size : sizes) {
      const auto kind = static_cast<gga_writer::Scene>(scene);
      SCOPED_TRACE(std::string(gga_writer::sceneName(kind)) + " " + std::to_string(size.width));
      const std::vector<uint32_t> photograph = gga_writer::makePhotograph(kind, size.width, size.height, scene + 1);
      std::vector<uint8_t> pixels(photograph.size() * 4);
      std::memcpy(pixels.data(), photograph.data(), pixels.size());
      expectRoundTrip(plugin, folder, pixels, size.width, size.height);
    }
}

TEST(GgaWriter, UsesEveryCodeButEight) {
  const uint32_t width = 320, height = 70;
  const std::vector<uint8_t> pixels = gga_writer::makeTestPicture(TestPattern::kMixed, width, height);
  gga_writer::CodeCounts counts;
  std::vector<uint8_t> codes = gga_writer::encodeCodes(pixels.data(), width, height, {}, &counts);
  ASSERT_FALSE(codes.empty());
  for (int code = 0; code <= 11; ++code) {
    if (code == 8) {
      EXPECT_EQ(counts.perCode[code], 0u);
    } else {
      EXPECT_GT(counts.perCode[code], 0u) << "code " << code;
    }
  }
  EXPECT_GT(counts.literals(), 0u);
}

// Flat pictures and repeated rows shrink to a small fraction; noise grows only by its
// code bytes (one per 244 pixels).
TEST(GgaWriter, CompressesWhatRepeats) {
  struct Case {
    TestPattern pattern;
    double most;  // at most this share of the pixel bytes
  };
  const uint32_t width = 512, height = 256;
  for (const Case& c : {Case{TestPattern::kFlat, 0.01}, Case{TestPattern::kRepeatedRows, 0.1},
                        Case{TestPattern::kNoise, 1.005}}) {
    const std::vector<uint8_t> pixels = gga_writer::makeTestPicture(c.pattern, width, height);
    std::vector<uint8_t> codes = gga_writer::encodeCodes(pixels.data(), width, height);
    EXPECT_LE(static_cast<double>(codes.size()), c.most * static_cast<double>(pixels.size()))
        << static_cast<int>(c.pattern);
  }
}

TEST(GgaWriter, RefusesSizesTheHeaderCannotHold) {
  const std::vector<uint8_t> pixel(4, 0);
  std::vector<uint8_t> file{1, 2, 3};
  struct Case {
    uint32_t width, height, auxSize;
  };
  for (const Case& c : {Case{0, 1, 0}, Case{1, 0, 0}, Case{65536, 1, 0}, Case{1, 65536, 0},
                        Case{1, 1, gga_writer::kMaxAuxSize + 1}}) {
    gga_writer::WriterOptions options;
    options.auxSize = c.auxSize;
    EXPECT_FALSE(gga_writer::encodeGga(pixel.data(), c.width, c.height, file, options));
    EXPECT_TRUE(file.empty());
  }
}

}  // namespace
