// Large files that cost almost nothing: a few pieces of bytes at chosen offsets, the gaps
// left as holes that read as zeros. Written through the Win32 calls, so the same helper
// serves the native tests and the Windows build under wine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace testing_support {

struct SparsePiece {
  uint64_t offset;
  std::string bytes;
};

// Creates (or empties) the file and writes each piece at its offset. The file ends where
// the piece that reaches furthest ends. False when any step fails.
inline bool writeSparseFile(const std::string& path, const std::vector<SparsePiece>& pieces) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = true;
  for (const SparsePiece& piece : pieces) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(piece.offset);
    DWORD count = 0;
    written = written && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
              WriteFile(file, piece.bytes.data(), static_cast<DWORD>(piece.bytes.size()), &count, nullptr) &&
              count == piece.bytes.size();
  }
  return CloseHandle(file) && written;
}

}  // namespace testing_support
