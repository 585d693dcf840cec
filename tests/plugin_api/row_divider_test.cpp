// The row divider against plain division, where an approximate quotient would first go wrong:
// at the last dividend below each multiple of the divisor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "plugin_api/row_divider.h"

namespace {

TEST(RowDivider, IsExactBelowEveryMultipleOfEveryRowLength) {
  for (const unsigned dividendBits : {18u, 19u}) {
    const uint64_t dividends = uint64_t{1} << dividendBits;
    for (uint32_t divisor = 2; divisor < (1u << 17); ++divisor) {
      const spi::RowDivider rows(divisor, dividendBits);
      size_t wrong = 0;
      for (uint64_t multiple = divisor; multiple < dividends + divisor; multiple += divisor) {
        const uint64_t below = std::min(multiple, dividends) - 1;
        wrong += rows.quotient(below) != below / divisor;
        if (multiple < dividends) wrong += rows.quotient(multiple) != multiple / divisor;
      }
      ASSERT_EQ(wrong, 0u) << "divisor " << divisor << ", dividends below 2^" << dividendBits;
    }
  }
}

}  // namespace
