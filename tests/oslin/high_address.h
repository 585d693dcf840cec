// A 64 KiB block mapped above 4 GiB at a multiple of 4 GiB, so that bits 16-31 (indeed all
// of the low 32) of its address are clear: cut to 32 bits, IsSupported would take it for a
// file handle. Only a 64-bit process has such addresses; elsewhere, or when none of the
// candidates is free, data() is null.
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

namespace oslin_test {

class HighAddressBlock {
 public:
  static constexpr size_t kBytes = 0x10000;

  HighAddressBlock() {
#if UINTPTR_MAX > 0xFFFFFFFFu
    // The lowest candidates suit Windows; the far ones a sanitizer's layout, which keeps the
    // low ones for its shadow memory.
    for (uint64_t k : {1u, 2u, 3u, 4u, 0x2000u, 0x3000u, 0x5000u, 0x6000u}) {
      if (data_ == nullptr) place(static_cast<uintptr_t>(k << 32));
    }
#endif
  }
  ~HighAddressBlock() {
    if (data_ == nullptr) return;
#ifdef _WIN32
    VirtualFree(data_, 0, MEM_RELEASE);
#else
    munmap(data_, kBytes);
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
    void* got = VirtualAlloc(wanted, kBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (got != nullptr && got != wanted) VirtualFree(got, 0, MEM_RELEASE);
#else
    void* got = mmap(wanted, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED) got = nullptr;
    if (got != nullptr && got != wanted) munmap(got, kBytes);  // an old kernel took it as a hint
#endif
    if (got == wanted) data_ = static_cast<uint8_t*>(got);
  }

  uint8_t* data_ = nullptr;
};

}  // namespace oslin_test
