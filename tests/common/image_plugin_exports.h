// For programs that compile an image plug-in's export file in (the export-level fuzz targets):
// the exports' declarations, and what such a program needs to take the blocks a call hands
// over as a host does.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/export_declarations.h"
#ifndef _WIN32
#include "platform/testing.h"
#endif

namespace testing_support {

// What the host's handle variables hold before a call: a failure must leave it there.
inline void* untouchedHandle() { return reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A)); }

// The platform layer counts the live local blocks natively; on Windows nothing counts them.
#ifdef _WIN32
constexpr bool kCountsLocalBlocks = false;
inline long liveLocalBlocks() { return 0; }
#else
constexpr bool kCountsLocalBlocks = true;
inline long liveLocalBlocks() { return platformLiveLocalBlocks(); }
#endif

// A handed-over block's bytes, the block freed as a host frees it; false when the block
// does not lock or does not free.
inline bool takeLocalBlock(void* block, std::vector<uint8_t>& bytes) {
  const uint8_t* at = static_cast<const uint8_t*>(LocalLock(block));
  if (at == nullptr) return false;
  bytes.assign(at, at + LocalSize(block));
  LocalUnlock(block);
  return LocalFree(block) == nullptr;
}

}  // namespace testing_support
