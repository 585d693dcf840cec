// The FCG writer that the fixtures rely on: container layout and GGA pictures.
#include <gtest/gtest.h>

#include <string>

#include "tools/fcg_writer/fcg_writer.h"

namespace {

using fcg_writer::getU32;

TEST(FcgWriter, ContainerHoldsTheTableAndEachRecordWithItsData) {
  fcg_writer::Image a{fcg_writer::ggaHeader(1, 1, 3), "abc"};
  fcg_writer::Image b{fcg_writer::ggaHeader(2, 2, 0), ""};
  std::string bytes = fcg_writer::buildContainer({a, b});
  ASSERT_EQ(bytes.size(), 32u + 2 * 8 + (52 + 3) + 52);
  EXPECT_EQ(getU32(bytes, 8), 2u);
  const uint32_t records[] = {48, 48 + 55};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(getU32(bytes, 32 + 8 * i), records[i]);
    EXPECT_EQ(getU32(bytes, 36 + 8 * i), records[i] + 52);
  }
  EXPECT_EQ(bytes.substr(52, 48), a.header);
  EXPECT_EQ(bytes.substr(100, 3), "abc");
  EXPECT_EQ(bytes.substr(107, 48), b.header);
}

TEST(FcgWriter, SyntheticPictureIsAWellFormedGgaImage) {
  struct Case {
    uint16_t width, height;
  };
  for (Case c : {Case{1, 1}, Case{3, 2}, Case{244, 1}, Case{245, 3}, Case{64, 48}}) {
    std::string gga = fcg_writer::syntheticGga(c.width, c.height, 7);
    fcg_writer::Image image;
    ASSERT_TRUE(fcg_writer::imageFromGga(gga, &image));
    EXPECT_EQ(image.header.substr(0, 8), "GGA00000");
    EXPECT_EQ(static_cast<uint8_t>(image.header[14]), 32);
    EXPECT_EQ(getU32(image.header, 16), 48u);
    EXPECT_EQ(getU32(image.header, 24), 48u);
    EXPECT_EQ(getU32(image.header, 20), gga.size() - 48);
    // Literal codes only, ending exactly at the last pixel.
    uint64_t pixels = 0;
    size_t at = 0;
    while (at < image.data.size()) {
      int code = static_cast<uint8_t>(image.data[at]);
      ASSERT_GE(code, 12);
      pixels += static_cast<uint64_t>(code - 11);
      at += 1 + 4 * static_cast<size_t>(code - 11);
    }
    EXPECT_EQ(at, image.data.size());
    EXPECT_EQ(pixels, uint64_t{c.width} * c.height);
  }
  fcg_writer::Image none;
  EXPECT_FALSE(fcg_writer::imageFromGga(std::string(47, '\0'), &none));
  EXPECT_FALSE(fcg_writer::imageFromGga(fcg_writer::ggaHeader(1, 1, 5) + "abcd", &none));  // one byte short
}

}  // namespace
