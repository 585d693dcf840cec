// Replaces the global allocation functions of the test program with malloc/free plus a
// record of the largest request. All forms are replaced together, so every block is freed
// by the allocator that made it.
#include "tests/durnac/largest_allocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> largest{0};

void* allocate(size_t bytes) {
  size_t seen = largest.load();
  while (bytes > seen && !largest.compare_exchange_weak(seen, bytes)) {
  }
  return std::malloc(bytes == 0 ? 1 : bytes);
}

}  // namespace

namespace mgx_test {

void resetLargestAllocation() { largest.store(0); }
size_t largestAllocation() { return largest.load(); }

}  // namespace mgx_test

void* operator new(size_t bytes) {
  void* block = allocate(bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](size_t bytes) { return operator new(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return allocate(bytes); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return allocate(bytes); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
