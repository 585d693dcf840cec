// Blocks handed to the host: the bitmap and its header, an entry list, a member read to
// memory. The host frees them with LocalFree and may lock them or use the handle as the
// address, so every one is LMEM_FIXED (a lock returns the address itself), zero-filled and
// exactly as large as its contents.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace spi {

// The largest block one allocation of this build's address space can hold. A larger size,
// computed in 64 bits from the input, is refused before any allocation is tried, so that it
// is never narrowed into a small block on a 32-bit build.
constexpr uint64_t kMaxHostBlockBytes = SIZE_MAX;

// A new fixed, zero-filled local block of exactly `bytes` bytes, or null when `bytes` is above
// kMaxHostBlockBytes or the memory is not there.
HLOCAL newHostBlock(uint64_t bytes);

}  // namespace spi
