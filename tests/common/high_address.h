// A 64 KiB block of memory at an address of the test's choosing, chiefly one above 4 GiB
// whose low 32 bits (so bits 16-31 among them) are all clear: cut to 32 bits, that value
// would read as a file handle, so it tests that IsSupported tells handles from addresses at
// full pointer width. A 32-bit process has no such address (kAbove4GiBExists says so); where
// none of the addresses tried is free, or the one asked for is taken, data() is null and the
// test decides whether to skip or fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace testing_support {

class PlacedBlock {
 public:
  static constexpr size_t kBytes = 0x10000;

  // Whether this process has addresses above 4 GiB at all.
  static constexpr bool kAbove4GiBExists = UINTPTR_MAX > 0xFFFFFFFFu;

  // Asks for the first free one of the candidate multiples of 4 GiB.
  struct Above4GiB {};
  static constexpr Above4GiB kAbove4GiB{};

  // The block at exactly `at`, or none.
  explicit PlacedBlock(uint64_t at) { place(at); }

  // The block at the first candidate that the system maps, or none. The lowest candidates
  // suit Windows and a plain native build; sanitizer builds keep those for their shadow
  // memory (0x100000000 and up on x86_64), hence the far ones.
  explicit PlacedBlock(Above4GiB) {
    for (uint64_t k = 1; k <= 16 && data_ == nullptr; ++k) place(k << 32);
    for (uint64_t k : {0x2000u, 0x3000u, 0x5000u, 0x6000u}) {
      if (data_ == nullptr) place(k << 32);
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
  // Maps the block at exactly `at`, or leaves data_ null.
  void place(uint64_t at) {
    if (at == 0 || static_cast<uintptr_t>(at) != at) return;  // null, or beyond a 32-bit process
    void* wanted = reinterpret_cast<void*>(static_cast<uintptr_t>(at));
#ifdef _WIN32
    void* got = VirtualAlloc(wanted, kBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (got == nullptr) return;
    if (got != wanted) {
      VirtualFree(got, 0, MEM_RELEASE);
      return;
    }
#else
#ifdef MAP_FIXED_NOREPLACE
    const int exactly = MAP_FIXED_NOREPLACE;
#else
    const int exactly = 0x100000;  // the kernel's value, for C libraries that lack the name
#endif
    void* got = mmap(wanted, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | exactly, -1, 0);
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

}  // namespace testing_support
