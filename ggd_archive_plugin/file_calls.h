// The few file operations Felbrin makes, over the platform's calls, with 64-bit positions (a
// move to a position is platform::seekFileTo).
// A path is named in the family of the export that received it: an ANSI path goes to the
// ANSI call, a UTF-16 path to the wide one, so that a name the system code page cannot
// spell still opens.
#pragma once

#include <cstdint>

#include "platform/file_seek.h"
#include "platform/win32.h"
#include "plugin_api/plugin_api.h"

namespace felbrin {

// Opens an existing file for reading, others may read too; INVALID_HANDLE_VALUE on failure.
HANDLE OpenForReading(const char* path);
HANDLE OpenForReading(const spi::WideChar* path);

// Creates (or empties) a file for writing, shared with nobody.
HANDLE CreateForWriting(const char* path);
HANDLE CreateForWriting(const spi::WideChar* path);

// Deletes a file; false when it cannot be deleted.
bool DeleteNamedFile(const char* path);
bool DeleteNamedFile(const spi::WideChar* path);

// Reads up to `bytes` bytes; false when the read call fails. *got says how many came.
bool ReadUpTo(HANDLE file, void* buffer, uint32_t bytes, uint32_t* got);

// Reads exactly `bytes` bytes; false when the call fails or the file ends first.
bool ReadExactly(HANDLE file, void* buffer, uint32_t bytes);

// What tells one version of a file from another: its size and its last-write time (in the
// system's 100-nanosecond units).
struct FileStamp {
  uint64_t size = 0;
  uint64_t writeTime = 0;
};
inline bool operator==(const FileStamp& a, const FileStamp& b) {
  return a.size == b.size && a.writeTime == b.writeTime;
}

// The open file's stamp; false when the system cannot tell it.
bool ReadFileStamp(HANDLE file, FileStamp* stamp);

// The stamp of the file of that name, without opening it (one attribute query); false when
// there is no such file or it is a folder.
bool ReadPathStamp(const char* path, FileStamp* stamp);
bool ReadPathStamp(const spi::WideChar* path, FileStamp* stamp);

// Writes exactly `bytes` bytes; false when the call fails or writes fewer.
bool WriteExactly(HANDLE file, const void* buffer, uint32_t bytes);

}  // namespace felbrin
