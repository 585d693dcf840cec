// The native platform layer's hooks on its own memory, callable from every build: how many
// LocalAlloc / GlobalAlloc blocks are alive, and allocations made to fail on purpose. On
// Windows nothing counts the blocks (the counts read 0, so before-and-after checks hold
// trivially) and no allocation can be made to fail.
#pragma once

#ifndef _WIN32
#include "platform/testing.h"
#endif

namespace testing_support {

inline long liveLocalBlocks() {
#ifdef _WIN32
  return 0;
#else
  return platformLiveLocalBlocks();
#endif
}

inline long liveGlobalBlocks() {
#ifdef _WIN32
  return 0;
#else
  return platformLiveGlobalBlocks();
#endif
}

// Makes the next `after` allocations succeed and every later one fail, until called with -1;
// false where the platform cannot do that (Windows).
inline bool failAllocationsAfter(long after) {
#ifdef _WIN32
  (void)after;
  return false;
#else
  platformFailAllocationsAfter(after);
  return true;
#endif
}

}  // namespace testing_support
