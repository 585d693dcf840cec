#include "ggd_archive_plugin/file_calls.h"

namespace felbrin {

HANDLE OpenForReading(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

HANDLE OpenForReading(const spi::WideChar* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

HANDLE CreateForWriting(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE CreateForWriting(const spi::WideChar* path) {
  return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool DeleteNamedFile(const char* path) { return DeleteFileA(path) != FALSE; }
bool DeleteNamedFile(const spi::WideChar* path) { return DeleteFileW(path) != FALSE; }

bool SeekTo(HANDLE file, int64_t position) {
  if (position < 0) return false;
  const uint64_t wanted = static_cast<uint64_t>(position);
  LONG high = static_cast<LONG>(wanted >> 32);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(static_cast<uint32_t>(wanted)), &high, FILE_BEGIN);
  // A non-negative target never fails on a disk file; comparing both halves with the target
  // tells success apart without the thread's last-error value.
  return low == static_cast<uint32_t>(wanted) && static_cast<uint32_t>(high) == static_cast<uint32_t>(wanted >> 32);
}

bool ReadUpTo(HANDLE file, void* buffer, uint32_t bytes, uint32_t* got) {
  DWORD read = 0;
  const BOOL ok = ReadFile(file, buffer, bytes, &read, nullptr);
  *got = read;
  return ok != FALSE;
}

bool ReadExactly(HANDLE file, void* buffer, uint32_t bytes) {
  uint32_t got = 0;
  return ReadUpTo(file, buffer, bytes, &got) && got == bytes;
}

bool ReadFileStamp(HANDLE file, FileStamp* stamp) {
  LARGE_INTEGER size;
  FILETIME written;
  if (!GetFileSizeEx(file, &size) || !GetFileTime(file, nullptr, nullptr, &written) || size.QuadPart < 0) {
    return false;
  }
  stamp->size = static_cast<uint64_t>(size.QuadPart);
  stamp->writeTime = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  return true;
}

bool WriteExactly(HANDLE file, const void* buffer, uint32_t bytes) {
  DWORD written = 0;
  return WriteFile(file, buffer, bytes, &written, nullptr) != FALSE && written == bytes;
}

}  // namespace felbrin
