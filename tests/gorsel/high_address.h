// Memory at an address of the test's choosing: 0x10000 (the lowest value that is no file
// handle), or above 4 GiB with bits 16-31 clear, a value that a test of the low 32 bits alone
// would take for a handle. Where the system will not map the address, data() is null.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif
#endif

namespace gorsel_test {

class PlacedBlock {
 public:
  static constexpr size_t kBytes = 0x10000;

  // Multiples of 4 GiB, none of which exists in a 32-bit process. Sanitizer builds keep the
  // lowest ones for their shadow memory, hence the far ones.
  static constexpr uint64_t kAbove4GiB[] = {uint64_t{1} << 32, uint64_t{2} << 32, uint64_t{3} << 32,
                                            uint64_t{0x2000} << 32, uint64_t{0x5000} << 32};

  // The block at exactly `at`, or none.
  explicit PlacedBlock(uint64_t at) {
    if (static_cast<uintptr_t>(at) == at) place(static_cast<uintptr_t>(at));
  }

  // The block at the first of the addresses that the system maps there, or none.
  template <size_t N>
  explicit PlacedBlock(const uint64_t (&candidates)[N]) {
    for (uint64_t at : candidates) {
      if (data_ == nullptr && static_cast<uintptr_t>(at) == at) place(static_cast<uintptr_t>(at));
    }
  }

  ~PlacedBlock() {
    if (data_ == nullptr) return;
#ifdef _WIN32
    VirtualFree(data_, 0, MEM_RELEASE);
#else
    munmap(data_, kBytes);
#endif
  }
  PlacedBlock(const PlacedBlock&) = delete;
  PlacedBlock& operator=(const PlacedBlock&) = delete;

  uint8_t* data() const { return data_; }

 private:
  void place(uintptr_t at) {
    void* wanted = reinterpret_cast<void*>(at);
    if (wanted == nullptr) return;
#ifdef _WIN32
    void* got = VirtualAlloc(wanted, kBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (got == nullptr) return;
    if (got != wanted) {
      VirtualFree(got, 0, MEM_RELEASE);
      return;
    }
#else
    void* got = mmap(wanted, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED) return;
    if (got != wanted) {  // an old kernel took the address as a hint only
      munmap(got, kBytes);
      return;
    }
#endif
    data_ = static_cast<uint8_t*>(got);
  }

  uint8_t* data_ = nullptr;
};

}  // namespace gorsel_test
