// Win32 file calls over POSIX file descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/win32.h"

namespace {

thread_local DWORD lastError = 0;

// A handle is the descriptor plus one, so that descriptor 0 never looks like a null handle.
HANDLE handleFromFd(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1); }

int fdFromHandle(HANDLE h) {
  intptr_t v = reinterpret_cast<intptr_t>(h);
  if (h == INVALID_HANDLE_VALUE || v <= 0 || v > INT_MAX) return -1;
  return static_cast<int>(v - 1);
}

// Calls `step` (a read or a write of `left` bytes, `done` bytes into the caller's buffer)
// until `count` bytes have moved, trying again when a signal interrupts it. A step that moves
// nothing ends a read (the end of the file) but fails a write. *moved says how many bytes
// moved, on failure too.
template <typename Step>
BOOL moveAll(HANDLE file, DWORD count, LPDWORD moved, bool nothingEnds, Step step) {
  if (moved) *moved = 0;
  int fd = fdFromHandle(file);
  if (fd < 0) return FALSE;
  DWORD total = 0;
  BOOL ok = TRUE;
  while (total < count) {
    ssize_t now = step(fd, total, count - total);
    if (now < 0 && errno == EINTR) continue;
    if (now == 0 && nothingEnds) break;
    if (now <= 0) {
      ok = FALSE;
      break;
    }
    total += static_cast<DWORD>(now);
  }
  if (moved) *moved = total;
  return ok;
}

int openFlags(DWORD access, DWORD disposition) {
  int flags = 0;
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE)) flags = O_RDWR;
  else if (access & GENERIC_WRITE) flags = O_WRONLY;
  else flags = O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: break;
  }
  return flags | O_CLOEXEC;
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochSeconds = 11644473600;

// A POSIX time as a FILETIME: 100-nanosecond units since 1601-01-01 (UTC). Null: nothing.
void toFileTime(const struct timespec& t, FILETIME* out) {
  if (out == nullptr) return;
  const uint64_t ticks = static_cast<uint64_t>((static_cast<int64_t>(t.tv_sec) + kEpochSeconds) * 10000000 +
                                               static_cast<int64_t>(t.tv_nsec) / 100);
  out->dwLowDateTime = static_cast<DWORD>(ticks);
  out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

}  // namespace

extern "C" {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD,
                   HANDLE) {
  if (name == nullptr || name[0] == '\0') return INVALID_HANDLE_VALUE;
  int fd = open(name, openFlags(access, disposition), 0666);
  if (fd < 0) {
    lastError = errno == EEXIST ? ERROR_FILE_EXISTS : 0;
    return INVALID_HANDLE_VALUE;
  }
  // Windows will not open a directory as a file.
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  return handleFromFd(fd);
}

DWORD GetLastError(void) { return lastError; }

HANDLE ReOpenFile(HANDLE original, DWORD access, DWORD, DWORD) {
  int fd = fdFromHandle(original);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  // The same file, even when its name now stands for another one, with a position of its own.
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  int reopened = open(path.c_str(), openFlags(access, OPEN_EXISTING));
  return reopened < 0 ? INVALID_HANDLE_VALUE : handleFromFd(reopened);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  return moveAll(file, toRead, read, true, [buffer](int fd, DWORD done, DWORD left) {
    return ::read(fd, static_cast<char*>(buffer) + done, left);
  });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  return moveAll(file, toWrite, written, false, [buffer](int fd, DWORD done, DWORD left) {
    return ::write(fd, static_cast<const char*>(buffer) + done, left);
  });
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  int fd = fdFromHandle(file);
  if (fd < 0) return INVALID_SET_FILE_POINTER;
  // Without a high part the distance is a signed 32-bit value, as on Windows.
  int64_t offset = distanceHigh ? (static_cast<int64_t>(*distanceHigh) << 32) |
                                      static_cast<uint32_t>(distance)
                                : static_cast<int64_t>(distance);
  int whence = method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : SEEK_SET;
  off_t result = lseek(fd, static_cast<off_t>(offset), whence);
  if (result < 0) return INVALID_SET_FILE_POINTER;
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(result) >> 32);
  return static_cast<DWORD>(result);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  int fd = fdFromHandle(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return INVALID_FILE_SIZE;
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method) {
  int fd = fdFromHandle(file);
  if (fd < 0) return FALSE;
  int whence = method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : SEEK_SET;
  off_t result = lseek(fd, static_cast<off_t>(distance.QuadPart), whence);
  if (result < 0) return FALSE;
  if (newPosition) newPosition->QuadPart = static_cast<LONGLONG>(result);
  return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
  int fd = fdFromHandle(file);
  struct stat st;
  if (fd < 0 || size == nullptr || fstat(fd, &st) != 0) return FALSE;
  size->QuadPart = static_cast<LONGLONG>(st.st_size);
  return TRUE;
}

// POSIX keeps no creation time: the change time stands in for it.
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  int fd = fdFromHandle(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return FALSE;
  toFileTime(st.st_ctim, creation);
  toFileTime(st.st_atim, lastAccess);
  toFileTime(st.st_mtim, lastWrite);
  return TRUE;
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
  struct stat st;
  if (name == nullptr || information == nullptr || level != GetFileExInfoStandard || stat(name, &st) != 0) {
    return FALSE;
  }
  WIN32_FILE_ATTRIBUTE_DATA* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
  data->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  toFileTime(st.st_ctim, &data->ftCreationTime);
  toFileTime(st.st_atim, &data->ftLastAccessTime);
  toFileTime(st.st_mtim, &data->ftLastWriteTime);
  const uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  return TRUE;
}

BOOL CloseHandle(HANDLE object) {
  int fd = fdFromHandle(object);
  return fd >= 0 && close(fd) == 0 ? TRUE : FALSE;
}

BOOL DeleteFileA(LPCSTR name) { return name != nullptr && unlink(name) == 0 ? TRUE : FALSE; }

}  // extern "C"
