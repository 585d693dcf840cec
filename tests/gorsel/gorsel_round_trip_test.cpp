// Pictures encoded by the GGD picture writer come back pixel for pixel through Gorsel's
// exports (Gorsel.so natively, Gorsel.spi and Gorsel.sph under wine).
#include <gtest/gtest.h>

#include "ggd_image_plugin/ggd_picture.h"
#include "platform/win32.h"
#include "tests/common/temp_folder.h"
#include "tests/gorsel/gorsel_test_support.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace gorsel_test;
using ggd_picture_writer::SamplePattern;

static_assert(ggd_picture_writer::kMaxBitmapBytes == gorsel::kMaxBitmapBytes,
              "the writer makes exactly the pictures Gorsel builds");

namespace {

// Decodes `file` through GetPicture, from memory or from a file at an offset, and returns
// the bits block (empty on failure).
Bytes decodeThroughGorsel(const Gorsel& gorsel, const Bytes& file, bool fromFile, int& code) {
  void* info = nullptr;
  void* bits = nullptr;
  if (fromFile) {
    testing_support::TempFolder folder;
    const Bytes junk = bytes({0xB9, 0xAA, 0xB3});
    folder.write("picture.bin", asString(junk + file));
    code = gorsel.getPicture(folder.path("picture.bin").c_str(), static_cast<intptr_t>(junk.size()), 0, &info, &bits,
                             nullptr, 0);
  } else {
    code = gorsel.getPicture(reinterpret_cast<const char*>(file.data()), static_cast<intptr_t>(file.size()), 1, &info,
                             &bits, nullptr, 0);
  }
  if (code != 0) return {};
  LocalFree(info);
  return takeBlock(bits);
}

struct Sample {
  SamplePattern pattern;
  int width, height;
  uint32_t seed;
};

void expectRoundTrip(const Gorsel& gorsel, const Sample& s, bool alsoFromFile) {
  SCOPED_TRACE(::testing::Message() << "pattern " << static_cast<int>(s.pattern) << ", " << s.width << " x "
                                    << s.height << ", seed " << s.seed);
  const Bytes pixels = ggd_picture_writer::makeSamplePicture(s.pattern, s.width, s.height, s.seed);
  const Bytes file = ggd_picture_writer::encodeGgdPicture(s.width, s.height, pixels.data());
  ASSERT_FALSE(file.empty());
  const Bytes expected = bottomUp(s.width, s.height, pixels.data());
  for (int fromFile = 0; fromFile <= (alsoFromFile ? 1 : 0); ++fromFile) {
    int code = -99;
    const Bytes bits = decodeThroughGorsel(gorsel, file, fromFile == 1, code);
    EXPECT_EQ(code, 0) << (fromFile ? "from a file" : "from memory");
    // Compare sizes first: a failing comparison of megabytes would print them all.
    ASSERT_EQ(bits.size(), expected.size());
    EXPECT_TRUE(bits == expected) << (fromFile ? "from a file" : "from memory");
  }
}

class GorselRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(gorsel.complete()); }
  Gorsel gorsel;
};

}  // namespace

TEST_F(GorselRoundTrip, SamplePictures) {
  const Sample samples[] = {
      {SamplePattern::kNoise, 37, 23, 1},     {SamplePattern::kGradient, 256, 64, 1},
      {SamplePattern::kFlat, 100, 100, 7},    {SamplePattern::kPhoto, 320, 240, 3},
      {SamplePattern::kMixed, 640, 70, 1},    {SamplePattern::kNoise, 1, 1, 5},
      {SamplePattern::kFlat, 1, 1, 5},        {SamplePattern::kGradient, 1, 300, 1},
      {SamplePattern::kFlat, 300, 1, 2},      {SamplePattern::kFlat, 1001, 37, 4},
      {SamplePattern::kMixed, 333, 21, 9},    {SamplePattern::kPhoto, 255, 17, 6},
      {SamplePattern::kLandscape, 240, 160, 1}, {SamplePattern::kPortrait, 161, 97, 2},
      {SamplePattern::kStreet, 333, 120, 3},
  };
  for (const Sample& s : samples) expectRoundTrip(gorsel, s, true);
}

TEST_F(GorselRoundTrip, EveryRowPaddingAndPartialLastPixel) {
  // Widths 1..9 cover the paddings 0..3 and heights 1..7 every place of the output's end
  // in a three-byte unit, including the last pixel's red byte in a partial unit (widths
  // 1, 5, 9 with heights 2 and 5).
  for (int width = 1; width <= 9; ++width) {
    for (int height = 1; height <= 7; ++height) {
      expectRoundTrip(gorsel, {SamplePattern::kNoise, width, height, static_cast<uint32_t>(width * 8 + height)}, true);
      expectRoundTrip(gorsel, {SamplePattern::kFlat, width, height, 3}, false);
    }
  }
}

TEST_F(GorselRoundTrip, LargePictures) {
  expectRoundTrip(gorsel, {SamplePattern::kPhoto, 1024, 768, 11}, false);
  expectRoundTrip(gorsel, {SamplePattern::kFlat, 2048, 1536, 12}, false);
  expectRoundTrip(gorsel, {SamplePattern::kNoise, 4093, 61, 13}, false);
}

TEST(GgdPictureWriter, UsesEveryOperation) {
  const Bytes pixels = ggd_picture_writer::makeSamplePicture(SamplePattern::kMixed, 640, 70, 1);
  ggd_picture_writer::EncodeStats stats;
  const Bytes file = ggd_picture_writer::encodeGgdPicture(640, 70, pixels.data(), &stats);
  ASSERT_FALSE(file.empty());
  for (int kind = 0; kind < ggd_picture_writer::kOpKinds; ++kind) EXPECT_GT(stats.operations[kind], 0u) << kind;
  EXPECT_GT(stats.blackCopies, 0u);
  uint64_t pixelsMade = 0;
  for (uint64_t p : stats.pixels) pixelsMade += p;
  EXPECT_EQ(pixelsMade, 640u * 70u);  // stride 1920: no padding, no partial unit
}

TEST(GgdPictureWriter, CompressesWhatRepeats) {
  struct Case {
    SamplePattern pattern;
    int width, height;
    double atMost;  // file size over bitmap size
  } cases[] = {
      {SamplePattern::kFlat, 1000, 1000, 0.01},
      {SamplePattern::kGradient, 512, 512, 0.9},
      {SamplePattern::kPhoto, 512, 512, 0.8},
      // Noise cannot shrink: one operation byte per 251 pixels and the header.
      {SamplePattern::kNoise, 512, 512, 1.0 + 1.0 / 700},
  };
  for (const Case& c : cases) {
    const Bytes pixels = ggd_picture_writer::makeSamplePicture(c.pattern, c.width, c.height, 1);
    const Bytes file = ggd_picture_writer::encodeGgdPicture(c.width, c.height, pixels.data());
    const double ratio = double(file.size()) / double(ggd_picture_writer::bitmapBytes(c.width, c.height));
    EXPECT_LE(ratio, c.atMost) << "pattern " << static_cast<int>(c.pattern);
  }
}

TEST(GgdPictureWriter, RefusesWhatGorselWouldNot) {
  const Bytes pixel = bytes({1, 2, 3});
  struct Case {
    int width, height;
  } cases[] = {{0, 1}, {1, 0}, {-1, 5}, {32768, 1}, {1, 32768}, {32767, 10923}};
  for (const Case& c : cases) {
    EXPECT_TRUE(ggd_picture_writer::encodeGgdPicture(c.width, c.height, pixel.data()).empty())
        << c.width << " x " << c.height;
  }
  EXPECT_TRUE(ggd_picture_writer::encodeGgdPicture(1, 1, nullptr).empty());
}
