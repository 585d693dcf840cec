// Local and global memory blocks over malloc. A small header in front of each block keeps
// its size and a tag, so LocalSize works and a handle of the wrong family is refused.
// The handle is the address of the data, as for a fixed block on Windows.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/testing.h"
#include "platform/win32.h"

namespace {

constexpr uint32_t kLocalTag = 0x4C4F4341;   // "LOCA"
constexpr uint32_t kGlobalTag = 0x474C4F42;  // "GLOB"
constexpr uint32_t kFreedTag = 0x46524545;   // "FREE"

struct alignas(16) BlockHeader {
  uint32_t tag;
  uint32_t locks;
  size_t size;
};

std::atomic<long> liveLocal{0};
std::atomic<long> liveGlobal{0};
std::atomic<long> allocationsLeft{-1};
std::atomic<size_t> largestAllowed{SIZE_MAX};

bool allocationAllowed() {
  long left = allocationsLeft.load();
  while (left >= 0) {
    if (left == 0) return false;
    if (allocationsLeft.compare_exchange_weak(left, left - 1)) return true;
  }
  return true;
}

BlockHeader* headerOf(void* block, uint32_t tag) {
  if (block == nullptr) return nullptr;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  return header->tag == tag ? header : nullptr;
}

void* allocate(UINT flags, size_t bytes, uint32_t tag, std::atomic<long>& live) {
  if (bytes > largestAllowed.load() || !allocationAllowed() || bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  BlockHeader* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
  if (header == nullptr) return nullptr;
  header->tag = tag;
  header->locks = 0;
  header->size = bytes;
  // Fresh blocks that are not zero-filled get a pattern, so reads of bytes never written
  // stand out in tests as they would on Windows.
  std::memset(header + 1, (flags & LMEM_ZEROINIT) ? 0 : 0xCD, bytes);
  ++live;
  return header + 1;
}

void* release(void* block, uint32_t tag, std::atomic<long>& live) {
  BlockHeader* header = headerOf(block, tag);
  if (header == nullptr) return block;  // not ours: failure, as Windows returns the handle
  header->tag = kFreedTag;
  std::free(header);
  --live;
  return nullptr;
}

// Local and global blocks lock, unlock and report their size alike; only their tags differ.
LPVOID lock(void* block, uint32_t tag) {
  BlockHeader* header = headerOf(block, tag);
  if (header == nullptr) return nullptr;
  ++header->locks;
  return block;
}

BOOL unlock(void* block, uint32_t tag) {
  BlockHeader* header = headerOf(block, tag);
  if (header == nullptr || header->locks == 0) return FALSE;
  return --header->locks != 0;
}

size_t sizeOf(void* block, uint32_t tag) {
  BlockHeader* header = headerOf(block, tag);
  return header ? header->size : 0;
}

}  // namespace

extern "C" {

HLOCAL LocalAlloc(UINT flags, size_t bytes) { return allocate(flags, bytes, kLocalTag, liveLocal); }

LPVOID LocalLock(HLOCAL block) { return lock(block, kLocalTag); }
BOOL LocalUnlock(HLOCAL block) { return unlock(block, kLocalTag); }

HLOCAL LocalFree(HLOCAL block) { return release(block, kLocalTag, liveLocal); }

size_t LocalSize(HLOCAL block) { return sizeOf(block, kLocalTag); }

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) { return allocate(flags, bytes, kGlobalTag, liveGlobal); }

LPVOID GlobalLock(HGLOBAL block) { return lock(block, kGlobalTag); }
BOOL GlobalUnlock(HGLOBAL block) { return unlock(block, kGlobalTag); }

HGLOBAL GlobalFree(HGLOBAL block) { return release(block, kGlobalTag, liveGlobal); }

size_t GlobalSize(HGLOBAL block) { return sizeOf(block, kGlobalTag); }

long platformLiveLocalBlocks(void) { return liveLocal.load(); }
long platformLiveGlobalBlocks(void) { return liveGlobal.load(); }
void platformFailAllocationsAfter(long after) { allocationsLeft.store(after); }
void platformFailAllocationsAbove(size_t bytes) { largestAllowed.store(bytes); }

}  // extern "C"
