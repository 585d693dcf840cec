#include "ggd_archive_plugin/member_output.h"

#include <string>

#include "ggd_archive_plugin/file_calls.h"
#include "ggd_archive_plugin/names.h"
#include "plugin_api/host_block.h"

namespace felbrin {

int Progress::Report(int done, int total) const {
  if (callback == nullptr) return 0;
  return callback(done, total == 0 ? 1 : total, user) != 0 ? 1 : 0;
}

int ReadMember(HANDLE archive, int64_t position, uint32_t size, HLOCAL* block) {
  HLOCAL member = spi::newHostBlock(size);
  if (member == nullptr) return spi::kNoMemory;
  // A file cut after the caller looked at its size ends the read early.
  if (!platform::seekFileTo(archive, position) || !ReadExactly(archive, member, size)) {
    LocalFree(member);
    return spi::kReadError;
  }
  *block = member;
  return spi::kSuccess;
}

int HandMemberOver(HLOCAL block, HLOCAL* handle, const Progress& progress) {
  if (progress.Report(0, 0) != 0) {
    LocalFree(block);
    return spi::kAborted;
  }
  *handle = block;
  return spi::kSuccess;
}

template <typename Char>
bool JoinOutputPath(const Char* folder, const Char* name, Char (&path)[kOutputPathChars]) {
  const size_t folderLength = std::char_traits<Char>::length(folder);
  const size_t nameLength = std::char_traits<Char>::length(name);
  // Each length alone is checked first, so the sum cannot wrap.
  if (folderLength >= kOutputPathChars || nameLength >= kOutputPathChars) return false;
  const size_t separator = folderLength == 0 || EndsWithSeparator(folder) ? 0 : 1;
  if (folderLength + separator + nameLength + 1 > kOutputPathChars) return false;
  std::char_traits<Char>::copy(path, folder, folderLength);
  if (separator != 0) path[folderLength] = static_cast<Char>(kFolderSeparator);
  std::char_traits<Char>::copy(path + folderLength + separator, name, nameLength + 1);
  return true;
}

namespace {

// Copies the member's bytes in pieces; the output file is open and empty. 0, -1 (a write
// failed), 6 (a read failed) or 1 (stopped).
int CopyPieces(HANDLE archive, HANDLE out, uint8_t* buffer, uint32_t size, const Progress& progress) {
  const int total = static_cast<int>(size);  // members are at most INT32_MAX bytes
  if (progress.Report(0, total) != 0) return spi::kAborted;
  uint32_t copied = 0;
  for (;;) {
    const uint32_t left = size - copied;
    const uint32_t piece = left < kCopyPieceBytes ? left : kCopyPieceBytes;
    if (piece > 0) {
      if (!ReadExactly(archive, buffer, piece)) return spi::kReadError;
      if (!WriteExactly(out, buffer, piece)) return spi::kNotSupported;
    }
    copied += piece;
    if (copied == size) return spi::kSuccess;
    if (progress.Report(static_cast<int>(copied), total) != 0) return spi::kAborted;
  }
}

}  // namespace

template <typename Char>
int CopyMemberToFolder(HANDLE archive, int64_t position, uint32_t size, const Char* folder, const Char* name,
                       const Progress& progress) {
  // A name that would leave the folder, name a device or be changed by the system, and a path
  // that does not fit, are refused before anything is created.
  Char path[kOutputPathChars];
  if (!IsPlainFileName(name) || !JoinOutputPath(folder, name, path)) return spi::kNotSupported;
  if (!platform::seekFileTo(archive, position)) return spi::kReadError;
  HLOCAL buffer = nullptr;
  if (size > 0) {
    buffer = LocalAlloc(LMEM_FIXED, size < kCopyPieceBytes ? size : kCopyPieceBytes);
    if (buffer == nullptr) return spi::kNoMemory;
  }
  HANDLE out = CreateForWriting(path);
  if (out == INVALID_HANDLE_VALUE) {
    if (buffer != nullptr) LocalFree(buffer);
    return spi::kNotSupported;
  }
  const int result = CopyPieces(archive, out, static_cast<uint8_t*>(buffer), size, progress);
  CloseHandle(out);
  if (buffer != nullptr) LocalFree(buffer);
  // A stop keeps what was written; a failed piece leaves no file that looks complete.
  if (result == spi::kReadError || result == spi::kNotSupported) DeleteNamedFile(path);
  return result;
}

template bool JoinOutputPath(const char*, const char*, char (&)[kOutputPathChars]);
template bool JoinOutputPath(const spi::WideChar*, const spi::WideChar*, spi::WideChar (&)[kOutputPathChars]);
template int CopyMemberToFolder(HANDLE, int64_t, uint32_t, const char*, const char*, const Progress&);
template int CopyMemberToFolder(HANDLE, int64_t, uint32_t, const spi::WideChar*, const spi::WideChar*,
                                const Progress&);

}  // namespace felbrin
