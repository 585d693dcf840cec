// The helper that touches a new bitmap's pages ahead of its decoder: the decoder's rows keep
// what it wrote, wherever the two meet, whether decoding runs to the end or stops early.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "plugin_api/bitmap_pages.h"

namespace {

// Keeps the processor busy for a while, as decoding a row would.
void decodeFor(std::chrono::microseconds time) {
  const auto until = std::chrono::steady_clock::now() + time;
  while (std::chrono::steady_clock::now() < until) {
  }
}

// Decoders slower than the helper (it stays ahead) and quicker (they catch it up, and it
// turns to the far end of the block to meet them).
TEST(BitmapPagesAhead, DecodersRowsKeepTheirBytesWhereverTheHelperMeetsThem) {
  constexpr size_t kBand = spi::BitmapPagesAhead::kBandBytes;
  struct Case {
    size_t stride;
    size_t height;
    size_t decodedRows;  // then finish, and the rest is written as an early stop clears it
    int microsecondsPerRow;
  } cases[] = {
      {12288, 400, 400, 0},       // rows in whole pages, many to a band
      {12288, 400, 400, 20},      //   decoded slowly
      {6147, 1000, 1000, 0},      // rows that end inside pages and bands
      {kBand + 4100, 18, 18, 0},  // rows longer than a band
      {6147, 1000, 3, 0},         // stops at once: the helper is still ahead
      {6147, 1000, 700, 2},       // stops late
      {4096, 3000, 3000, 0},      // quick enough to send the helper to the far end
      {4096, 3000, 2000, 0},      //   and stops in the bands it took there
      {4096, 100, 100, 0},        // too small for a helper
  };
  for (const Case& c : cases) {
    // A fresh block, whose pages are first touched here, as a new bitmap's are.
    const size_t size = c.stride * c.height;
    const std::unique_ptr<uint8_t, decltype(&std::free)> block(static_cast<uint8_t*>(std::calloc(size, 1)), &std::free);
    ASSERT_NE(block, nullptr);
    uint8_t* const end = block.get() + size;
    const std::vector<uint8_t> zeros(c.stride, 0);
    auto rowStart = [&](size_t row) { return end - (row + 1) * c.stride; };
    auto value = [](size_t row) { return static_cast<uint8_t>(row % 251 + 1); };
    bool zeroBeforeWritten = true;
    {
      spi::BitmapPagesAhead pages(block.get(), end);
      for (size_t row = 0; row < c.decodedRows; ++row) {
        uint8_t* at = rowStart(row);
        decodeFor(std::chrono::microseconds(c.microsecondsPerRow));
        pages.reach(at);
        zeroBeforeWritten = zeroBeforeWritten && std::memcmp(at, zeros.data(), c.stride) == 0;
        std::fill(at, at + c.stride, value(row));
      }
      pages.finish();
      for (size_t row = c.decodedRows; row < c.height; ++row) std::fill(rowStart(row), rowStart(row) + c.stride, 0xEE);
    }
    size_t wrong = 0;
    for (size_t row = 0; row < c.height; ++row) {
      const uint8_t want = row < c.decodedRows ? value(row) : 0xEE;
      for (size_t i = 0; i < c.stride; ++i) wrong += rowStart(row)[i] != want;
    }
    EXPECT_TRUE(zeroBeforeWritten) << c.stride << " x " << c.height;
    EXPECT_EQ(wrong, 0u) << c.stride << " x " << c.height << ", " << c.decodedRows << " rows decoded";
  }
}

}  // namespace
