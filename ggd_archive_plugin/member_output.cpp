#include "ggd_archive_plugin/member_output.h"

#include <string>

#include "ggd_archive_plugin/file_calls.h"

namespace felbrin {
namespace {

struct ProgressSlot {
  spi::ProgressCallback callback = nullptr;
  spi::UserData user = 0;
};
ProgressSlot gProgress;

// Hosts divide by the denominator, so an empty amount of work is reported as 0 of 1.
int NonZeroTotal(int total) { return total == 0 ? 1 : total; }

}  // namespace

void SetProgressSlot(spi::ProgressCallback callback, spi::UserData user) {
  gProgress.callback = callback;
  gProgress.user = user;
}

int ReportProgress(int done, int total) {
  if (gProgress.callback == nullptr) return 0;
  return gProgress.callback(done, total, gProgress.user) != 0 ? 1 : 0;
}

template <typename Char>
int ReadMember(const Char* path, int64_t position, uint32_t size, HLOCAL* block) {
  HLOCAL member = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, size);
  if (member == nullptr) return spi::kNoMemory;
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    LocalFree(member);
    return spi::kReadError;
  }
  // A stale cached list or a cut file ends the read early: the member is not there whole.
  const bool whole = SeekTo(file, position) && ReadExactly(file, member, size);
  CloseHandle(file);
  if (!whole) {
    LocalFree(member);
    return spi::kReadError;
  }
  *block = member;
  return spi::kSuccess;
}

int HandMemberOver(HLOCAL block, HLOCAL* handle) {
  if (ReportProgress(0, NonZeroTotal(0)) != 0) {
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
  if (folderLength >= kOutputPathChars || nameLength >= kOutputPathChars ||
      folderLength + nameLength + 1 > kOutputPathChars) {
    return false;
  }
  std::char_traits<Char>::copy(path, folder, folderLength);
  std::char_traits<Char>::copy(path + folderLength, name, nameLength + 1);
  return true;
}

template <typename Char>
int WriteMemberFile(const Char* folder, const Char* name, const uint8_t* bytes, uint32_t size) {
  // A path that does not fit is refused before anything is created, rather than cut to a
  // name that the host never asked for.
  Char path[kOutputPathChars];
  if (!JoinOutputPath(folder, name, path)) return spi::kNotSupported;
  HANDLE out = CreateForWriting(path);
  if (out == INVALID_HANDLE_VALUE) return spi::kNotSupported;

  const int total = static_cast<int>(size);  // members are at most INT32_MAX bytes
  if (ReportProgress(0, NonZeroTotal(total)) != 0) {
    CloseHandle(out);
    return spi::kAborted;
  }
  uint32_t written = 0;
  for (;;) {
    const uint32_t left = size - written;
    const uint32_t piece = left < kWritePieceBytes ? left : kWritePieceBytes;
    if (piece > 0 && !WriteExactly(out, bytes + written, piece)) {
      CloseHandle(out);
      DeleteNamedFile(path);
      return spi::kNotSupported;
    }
    written += piece;
    if (written == size) break;
    if (ReportProgress(static_cast<int>(written), total) != 0) {
      CloseHandle(out);
      return spi::kAborted;
    }
  }
  CloseHandle(out);
  return spi::kSuccess;
}

template int ReadMember(const char*, int64_t, uint32_t, HLOCAL*);
template int ReadMember(const spi::WideChar*, int64_t, uint32_t, HLOCAL*);
template bool JoinOutputPath(const char*, const char*, char (&)[kOutputPathChars]);
template bool JoinOutputPath(const spi::WideChar*, const spi::WideChar*, spi::WideChar (&)[kOutputPathChars]);
template int WriteMemberFile(const char*, const char*, const uint8_t*, uint32_t);
template int WriteMemberFile(const spi::WideChar*, const spi::WideChar*, const uint8_t*, uint32_t);

}  // namespace felbrin
