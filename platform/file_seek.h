// Moving a file handle to a position from the start of the file, at 64-bit width on every
// build: a 32-bit build's files and archive offsets may lie past 4 GiB too.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace platform {

// Moves `file` to `position` bytes from its start. True only when the handle stands there
// afterwards. A negative position cannot be reached: reading from wherever the handle
// happened to stay would read the wrong bytes. A position past the end of a disk file is
// reached, as Windows allows; the read there finds nothing.
inline bool seekFileTo(HANDLE file, int64_t position) {
  if (position < 0) return false;
  LARGE_INTEGER distance;
  distance.QuadPart = position;
  LARGE_INTEGER now;
  now.QuadPart = -1;
  return SetFilePointerEx(file, distance, &now, FILE_BEGIN) != FALSE && now.QuadPart == position;
}

}  // namespace platform
