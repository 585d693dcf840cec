// Blocks handed to the host, as every plug-in makes them. (Member names are compared and
// widened by one routine too; the archive plug-ins' tests hold its cases.)
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/win32.h"
#include "plugin_api/host_block.h"
#include "tests/common/live_blocks.h"

namespace {

TEST(HostBlocks, FixedZeroFilledExactOrRefusedWithoutAllocating) {
  struct Case {
    uint64_t bytes;
    bool made;
  } cases[] = {
      {1, true},
      {40, true},     // a bitmap header
      {65537, true},  // larger than any one piece of a copy
      {UINT64_MAX, false},
      // One past a 32-bit build's limit: narrowed, it would be a block of 0 bytes.
      {spi::kMaxHostBlockBytes < UINT64_MAX ? spi::kMaxHostBlockBytes + 1 : UINT64_MAX, false},
  };
  for (const Case& c : cases) {
    const long before = testing_support::liveLocalBlocks();
    HLOCAL block = spi::newHostBlock(c.bytes);
    ASSERT_EQ(block != nullptr, c.made) << c.bytes;
    if (block == nullptr) {
      EXPECT_EQ(testing_support::liveLocalBlocks(), before) << c.bytes;
      continue;
    }
    EXPECT_EQ(LocalSize(block), c.bytes);
    const auto* bytes = static_cast<const uint8_t*>(LocalLock(block));
    EXPECT_EQ(static_cast<const void*>(bytes), block) << "a fixed block locks to its own address";
    bool zero = true;
    for (uint64_t i = 0; i < c.bytes; ++i) zero = zero && bytes[i] == 0;
    EXPECT_TRUE(zero) << c.bytes;
    LocalUnlock(block);
    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_EQ(testing_support::liveLocalBlocks(), before);
  }
}

}  // namespace
