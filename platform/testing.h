// Hooks for native tests into the platform layer's memory: how many blocks are alive, and
// making allocations fail on purpose. They exist only off Windows.
#pragma once

#ifndef _WIN32
#include <cstddef>

#include "platform/win32.h"

extern "C" {
// Blocks made by LocalAlloc / GlobalAlloc and not yet freed, across every library.
PLATFORM_API long platformLiveLocalBlocks(void);
PLATFORM_API long platformLiveGlobalBlocks(void);
// The next `after` allocations succeed, every later one fails, until reset with -1.
PLATFORM_API void platformFailAllocationsAfter(long after);
// Every allocation of more than `bytes` fails, until reset with SIZE_MAX (the start state):
// shows that a call asks for no more memory than its input can need.
PLATFORM_API void platformFailAllocationsAbove(size_t bytes);
}
#endif
