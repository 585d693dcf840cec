#include "ggd_archive_plugin/file_calls.h"

namespace felbrin {

namespace {

uint64_t TicksOf(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool StampOf(BOOL found, const WIN32_FILE_ATTRIBUTE_DATA& data, FileStamp* stamp) {
  if (!found || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  stamp->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp->writeTime = TicksOf(data.ftLastWriteTime);
  return true;
}

}  // namespace

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
  stamp->writeTime = TicksOf(written);
  return true;
}

bool ReadPathStamp(const char* path, FileStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return StampOf(GetFileAttributesExA(path, GetFileExInfoStandard, &data), data, stamp);
}

bool ReadPathStamp(const spi::WideChar* path, FileStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return StampOf(GetFileAttributesExW(path, GetFileExInfoStandard, &data), data, stamp);
}

bool WriteExactly(HANDLE file, const void* buffer, uint32_t bytes) {
  DWORD written = 0;
  return WriteFile(file, buffer, bytes, &written, nullptr) != FALSE && written == bytes;
}

}  // namespace felbrin
