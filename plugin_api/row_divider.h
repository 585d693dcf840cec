// Division by a picture's row length, which a decoder makes for nearly every copy.
#pragma once

#include <cstddef>
#include <cstdint>

namespace spi {

// x / divisor for x < 2^dividendBits (at most 30) and divisor > 1 by one 32 x 32-bit
// multiplication, which a 32-bit processor makes as cheaply as a 64-bit one, and whose high
// half it finds in a register of its own: (x x multiplier) >> (32 + shift), with multiplier =
// ceil(2^(32 + shift) / divisor). The multiplier's excess e < divisor adds x x e / 2^(32 +
// shift) / divisor to the quotient, less than the 1 / divisor that separates it from the next
// whole number once 2^dividendBits x divisor <= 2^(32 + shift). With the smallest such shift
// the multiplier stays below 2^32: it is at most 2^31 for shift 0, and below 2^(dividendBits
// + 1) for any other.
class RowDivider {
 public:
  RowDivider(uint32_t divisor, unsigned dividendBits)
      : shift_(ShiftFor(divisor, dividendBits)), multiplier_(MultiplierFor(divisor, shift_)) {}

  size_t quotient(size_t x) const {
    const uint64_t product = static_cast<uint64_t>(x) * multiplier_;
    // One shift where registers are 64 bits wide; where they are 32, one of the high half.
    if constexpr (sizeof(size_t) == sizeof(uint64_t)) return static_cast<size_t>(product >> (32 + shift_));
    return static_cast<uint32_t>(product >> 32) >> shift_;
  }

 private:
  static unsigned ShiftFor(uint32_t divisor, unsigned dividendBits) {
    unsigned shift = 0;
    while ((uint64_t{divisor} << dividendBits) > (uint64_t{1} << (32 + shift))) ++shift;
    return shift;
  }
  static uint32_t MultiplierFor(uint32_t divisor, unsigned shift) {
    return static_cast<uint32_t>(((uint64_t{1} << (32 + shift)) + divisor - 1) / divisor);
  }

  unsigned shift_;
  uint32_t multiplier_;
};

}  // namespace spi
