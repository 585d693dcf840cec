#include "ggd_archive_plugin/member_output.h"

#include <cstring>

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

int ReadMember(const char* path, int64_t position, uint32_t size, HLOCAL* block) {
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

bool JoinOutputPath(const char* folder, const char* name, char (&path)[kOutputPathBytes]) {
  const size_t folderLength = std::strlen(folder);
  const size_t nameLength = std::strlen(name);
  // Each length alone is checked first, so the sum cannot wrap.
  if (folderLength >= kOutputPathBytes || nameLength >= kOutputPathBytes ||
      folderLength + nameLength + 1 > kOutputPathBytes) {
    return false;
  }
  std::memcpy(path, folder, folderLength);
  std::memcpy(path + folderLength, name, nameLength + 1);
  return true;
}

int WriteMemberFile(const char* folder, const char* name, const uint8_t* bytes, uint32_t size) {
  // A path that does not fit is refused before anything is created, rather than cut to a
  // name that the host never asked for.
  char path[kOutputPathBytes];
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
      DeleteFileA(path);
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

}  // namespace felbrin
