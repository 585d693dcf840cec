// A block of memory at an address above 4 GiB whose bits 16-31 are all clear: a value that
// a test of the low 32 bits alone would take for a file handle. Only 64-bit builds have such
// addresses; elsewhere, or when none of the addresses tried is free, data() is null.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace mgx_test {

class HighAddressBlock {
 public:
  explicit HighAddressBlock(size_t bytes) : bytes_(bytes) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    // Multiples of 4 GiB just above the first one, then a few far up (sanitizer builds keep
    // the low ones for their shadow memory).
    for (uint64_t k = 1; k <= 16 && data_ == nullptr; ++k) place(static_cast<uintptr_t>(k << 32));
    for (uint64_t k : {0x2000u, 0x3000u, 0x5000u, 0x6000u}) {
      if (data_ == nullptr) place(static_cast<uintptr_t>(k << 32));
    }
#endif
  }
  ~HighAddressBlock() {
    if (data_ == nullptr) return;
#ifdef _WIN32
    VirtualFree(data_, 0, MEM_RELEASE);
#else
    munmap(data_, bytes_);
#endif
  }
  HighAddressBlock(const HighAddressBlock&) = delete;
  HighAddressBlock& operator=(const HighAddressBlock&) = delete;

  uint8_t* data() const { return data_; }

 private:
  // Maps the block at exactly `at`, or leaves data_ null.
  void place(uintptr_t at) {
    void* wanted = reinterpret_cast<void*>(at);
#ifdef _WIN32
    void* got = VirtualAlloc(wanted, bytes_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (got == nullptr) return;
    if (got != wanted) {
      VirtualFree(got, 0, MEM_RELEASE);
      return;
    }
#else
#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif
    void* got = mmap(wanted, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED) return;
    if (got != wanted) {  // an old kernel took the address as a hint only
      munmap(got, bytes_);
      return;
    }
#endif
    data_ = static_cast<uint8_t*>(got);
  }

  size_t bytes_;
  uint8_t* data_ = nullptr;
};

}  // namespace mgx_test
