// Watches the largest single request made through operator new in this test program, so a
// test can show that a damaged count is refused before anything of its size is allocated.
#pragma once

#include <cstddef>

namespace mgx_test {

void resetLargestAllocation();
size_t largestAllocation();

}  // namespace mgx_test
