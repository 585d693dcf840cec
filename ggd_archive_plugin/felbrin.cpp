// Felbrin, the archive plug-in for GGD archives: the exports the host calls. Each export
// checks the host's pointers, runs the routines of entry_list and member_output, and is the
// one place where their outcome becomes the code the host sees.
#include <cstring>

#include "ggd_archive_plugin/entry_list.h"
#include "ggd_archive_plugin/file_calls.h"
#include "ggd_archive_plugin/ggd_format.h"
#include "ggd_archive_plugin/member_output.h"
#include "platform/win32.h"
#include "plugin_api/plugin_api.h"

namespace felbrin {
namespace {

ListSource SourceOf(unsigned flag) {
  return spi::inputKind(flag) == spi::kInputMemory ? ListSource::kMemory : ListSource::kFile;
}

// The first record of the list whose position is `position`, copied out.
int FindByPosition(HLOCAL list, int64_t position, spi::ArchiveEntryInfo* found) {
  const spi::ArchiveEntryInfo* entry = static_cast<const spi::ArchiveEntryInfo*>(LocalLock(list));
  if (entry == nullptr) return spi::kLockFailed;
  int result = spi::kNotSupported;  // no member starts there
  for (; entry->method[0] != '\0'; ++entry) {
    if (static_cast<int64_t>(entry->position) == position) {
      std::memcpy(found, entry, sizeof *found);
      result = spi::kSuccess;
      break;
    }
  }
  LocalUnlock(list);
  return result;
}

// The first record whose filename matches; the path field is never compared.
int FindByName(HLOCAL list, const char* name, bool ignoreCase, spi::ArchiveEntryInfo* found) {
  const spi::ArchiveEntryInfo* entry = static_cast<const spi::ArchiveEntryInfo*>(LocalLock(list));
  if (entry == nullptr) return spi::kLockFailed;
  int result = spi::kUnknownFormat;  // no member of that name
  for (; entry->method[0] != '\0'; ++entry) {
    const bool same = ignoreCase ? SameNameIgnoreCase(entry->filename, name)
                                 : std::strcmp(entry->filename, name) == 0;
    if (same) {
      std::memcpy(found, entry, sizeof *found);
      result = spi::kSuccess;
      break;
    }
  }
  LocalUnlock(list);
  return result;
}

}  // namespace
}  // namespace felbrin

using felbrin::BuildEntryList;
using felbrin::ListSource;

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
  return spi::answerPluginInfo(spi::kFelbrinInfo, spi::copyInfoPrefix, infono, buf, buflen);
}

SPI_EXPORT int SPI_CALL IsSupported(const char* filename, uintptr_t dw) {
  if (!spi::isProbeHandle(dw)) {
    // The host's buffer of the file's head, 2048 bytes by the interface's rule.
    const uint8_t* head = reinterpret_cast<const uint8_t*>(dw);
    return felbrin::CheckGgdArchive(head, felbrin::kHeadBytes, nullptr) == felbrin::kGgdOk ? 1 : 0;
  }
  // A handle: read from wherever it stands, and leave it open where the read left it.
  uint8_t head[felbrin::kHeadBytes] = {};
  uint32_t got = 0;
  if (!felbrin::ReadUpTo(reinterpret_cast<HANDLE>(dw), head, sizeof head, &got)) return 0;
  return felbrin::CheckGgdArchive(head, got, nullptr) == felbrin::kGgdOk ? 1 : 0;
}

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* buf, intptr_t len, unsigned int flag, void** lphInf) {
  if (lphInf == nullptr) return spi::kNotSupported;
  *lphInf = nullptr;  // hosts free whatever they find there, even after a failure
  if (buf == nullptr) return spi::kReadError;
  HLOCAL list = nullptr;
  const int result = BuildEntryList(buf, len, felbrin::SourceOf(flag), &list, nullptr);
  if (result == spi::kSuccess) *lphInf = list;
  return result;
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* buf, intptr_t len, const char* filename, unsigned int flag,
                                    spi::ArchiveEntryInfo* lpInfo) {
  if (lpInfo == nullptr) return spi::kNotSupported;
  if (buf == nullptr) return spi::kReadError;
  if (filename == nullptr) return spi::kUnknownFormat;
  HLOCAL list = nullptr;
  int result = BuildEntryList(buf, len, felbrin::SourceOf(flag), &list, nullptr);
  if (result != spi::kSuccess) return result;
  spi::ArchiveEntryInfo found;
  result = felbrin::FindByName(list, filename, (flag & spi::kIgnoreCase) != 0, &found);
  LocalFree(list);  // the cache keeps its own copy
  if (result == spi::kSuccess) std::memcpy(lpInfo, &found, sizeof found);
  return result;
}

SPI_EXPORT int SPI_CALL GetFile(const char* src, intptr_t len, char* dest, unsigned int flag,
                                spi::ProgressCallback progressCallback, intptr_t lData) {
  felbrin::SetProgressSlot(progressCallback, lData);
  if (spi::inputKind(flag) == spi::kInputMemory) return spi::kNotSupported;
  if (src == nullptr) return spi::kReadError;
  if (dest == nullptr) return spi::kNotSupported;

  // The directory is read at the start of the file, unless the cache already holds `src`.
  HLOCAL list = nullptr;
  int64_t archiveStart = 0;
  int result = BuildEntryList(src, 0, ListSource::kFile, &list, &archiveStart);
  if (result != spi::kSuccess) return result;
  spi::ArchiveEntryInfo member;
  result = felbrin::FindByPosition(list, len, &member);
  LocalFree(list);
  if (result != spi::kSuccess) return result;

  // Positions count from the archive's first byte; a cached list may come from an archive
  // that begins further into the file.
  HLOCAL block = nullptr;
  const int64_t position = archiveStart + static_cast<int64_t>(member.position);
  const uint32_t size = static_cast<uint32_t>(member.filesize);
  result = felbrin::ReadMember(src, position, size, &block);
  if (result != spi::kSuccess) return result;

  if (spi::outputKind(flag) == spi::kOutputMemory) {
    return felbrin::HandMemberOver(block, reinterpret_cast<HLOCAL*>(dest));
  }
  result = felbrin::WriteMemberFile(dest, member.filename, static_cast<const uint8_t*>(block), size);
  LocalFree(block);
  return result;
}

SPI_EXPORT int SPI_CALL ConfigurationDlg(void* parent, int fnc) { return spi::kNotSupported; }

// The cache lives until the library is unloaded.
#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH) felbrin::DropEntryListCache();
  return TRUE;
}
#else
__attribute__((destructor)) static void ReleaseEntryListCache() { felbrin::DropEntryListCache(); }
#endif
