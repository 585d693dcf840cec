// Felbrin, the archive plug-in for GGD archives: the exports the host calls, in two families.
// The ANSI exports take 8-bit paths and names in the system code page and fill
// ArchiveEntryInfo records; their Unicode twins (GetPluginInfoW, IsSupportedW,
// GetArchiveInfoW, GetFileInfoW, GetFileW) take UTF-16 paths and names and fill
// ArchiveEntryInfoW records. Both run the same routines, written once over the character
// type. Each export checks the host's pointers, runs the routines of entry_list and
// member_output, and is the one place where their outcome becomes the code the host sees.
#include <cstring>

#include "ggd_archive_plugin/entry_list.h"
#include "ggd_archive_plugin/felbrin_info.h"
#include "ggd_archive_plugin/file_calls.h"
#include "ggd_archive_plugin/ggd_format.h"
#include "ggd_archive_plugin/member_output.h"
#include "ggd_archive_plugin/names.h"
#include "platform/win32.h"
#include "plugin_api/member_names.h"
#include "plugin_api/plugin_api.h"

using spi::WideChar;

namespace felbrin {
namespace {

ListSource SourceOf(unsigned flag) {
  return spi::inputKind(flag) == spi::kInputMemory ? ListSource::kMemory : ListSource::kFile;
}

// The first record whose filename matches; the path field is never compared.
template <typename Entry, typename Char>
int FindByName(HLOCAL list, const Char* name, bool ignoreCase, Entry* found) {
  const Entry* entry = static_cast<const Entry*>(LocalLock(list));
  if (entry == nullptr) return spi::kLockFailed;
  int result = spi::kUnknownFormat;  // no member of that name
  for (; entry->method[0] != '\0'; ++entry) {
    const bool same = spi::sameMemberName(entry->filename, name, ignoreCase);
    if (same) {
      std::memcpy(found, entry, sizeof *found);
      result = spi::kSuccess;
      break;
    }
  }
  LocalUnlock(list);
  return result;
}

int CheckHead(uintptr_t dw) {
  if (!spi::isProbeHandle(dw)) {
    // The host's buffer of the file's head, 2048 bytes by the interface's rule.
    const uint8_t* head = reinterpret_cast<const uint8_t*>(dw);
    return CheckGgdArchive(head, spi::kHostHeadBytes, nullptr) == kGgdOk ? 1 : 0;
  }
  // A handle: read from wherever it stands, and leave it open where the read left it.
  uint8_t head[spi::kHostHeadBytes] = {};
  uint32_t got = 0;
  if (!ReadUpTo(reinterpret_cast<HANDLE>(dw), head, sizeof head, &got)) return 0;
  return CheckGgdArchive(head, got, nullptr) == kGgdOk ? 1 : 0;
}

template <typename Char>
int ListArchive(const Char* buf, intptr_t len, unsigned flag, void** lphInf) {
  if (lphInf == nullptr) return spi::kNotSupported;
  *lphInf = nullptr;  // hosts free whatever they find there, even after a failure
  if (buf == nullptr) return spi::kReadError;
  HLOCAL list = nullptr;
  const int result = BuildEntryList(buf, len, SourceOf(flag), &list);
  if (result == spi::kSuccess) *lphInf = list;
  return result;
}

template <typename Char>
int DescribeMember(const Char* buf, intptr_t len, const Char* filename, unsigned flag, EntryOf<Char>* lpInfo) {
  if (lpInfo == nullptr) return spi::kNotSupported;
  if (buf == nullptr) return spi::kReadError;
  if (filename == nullptr) return spi::kUnknownFormat;
  HLOCAL list = nullptr;
  int result = BuildEntryList(buf, len, SourceOf(flag), &list);
  if (result != spi::kSuccess) return result;
  EntryOf<Char> found;
  result = FindByName(list, filename, (flag & spi::kIgnoreCase) != 0, &found);
  LocalFree(list);  // the cache keeps its own copy
  if (result == spi::kSuccess) std::memcpy(lpInfo, &found, sizeof found);
  return result;
}

// The member of the open archive whose position is `position`, in the family's record type
// (its name is the one the folder output appends). -1 when no member starts there.
template <typename Char>
int FindMember(HANDLE file, const Char* src, int64_t position, EntryOf<Char>* member, int64_t* archiveStart) {
  FileStamp stamp;
  if (!ReadFileStamp(file, &stamp)) return spi::kReadError;
  const int result = FindMemberByPosition(file, stamp, src, position, member, archiveStart);
  if (result != spi::kSuccess) return result;
  // Positions count from the archive's first byte, which a listing at an offset puts further
  // into the file. A member that the file does not hold whole is refused before anything is
  // allocated or created (64-bit sums of values below 2^31 and a file size).
  const uint64_t end = static_cast<uint64_t>(*archiveStart) + static_cast<uint64_t>(member->position) +
                       static_cast<uint64_t>(member->filesize);
  return end <= stamp.size ? spi::kSuccess : spi::kReadError;
}

template <typename Char>
int ExtractMember(const Char* src, intptr_t len, Char* dest, unsigned flag, const Progress& progress) {
  if (spi::inputKind(flag) == spi::kInputMemory) return spi::kNotSupported;
  if (src == nullptr) return spi::kReadError;
  if (dest == nullptr) return spi::kNotSupported;

  // One open of the archive serves the directory (unless the cache holds it) and the member.
  HANDLE file = OpenForReading(src);
  if (file == INVALID_HANDLE_VALUE) return spi::kReadError;
  EntryOf<Char> member;
  int64_t archiveStart = 0;
  int result = FindMember(file, src, len, &member, &archiveStart);
  if (result == spi::kSuccess) {
    const int64_t position = archiveStart + static_cast<int64_t>(member.position);
    const uint32_t size = static_cast<uint32_t>(member.filesize);
    if (spi::outputKind(flag) == spi::kOutputMemory) {
      HLOCAL block = nullptr;
      result = ReadMember(file, position, size, &block);
      if (result == spi::kSuccess) result = HandMemberOver(block, reinterpret_cast<HLOCAL*>(dest), progress);
    } else {
      result = CopyMemberToFolder<Char>(file, position, size, dest, member.filename, progress);
    }
  }
  CloseHandle(file);
  return result;
}

}  // namespace
}  // namespace felbrin

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
  return spi::answerPluginInfo(felbrin::kPluginInfo, spi::copyInfoPrefix, infono, buf, buflen);
}

SPI_EXPORT int SPI_CALL GetPluginInfoW(int infono, WideChar* buf, int buflen) {
  return spi::answerPluginInfoW(felbrin::kPluginInfo, spi::copyInfoPrefixW, infono, buf, buflen);
}

SPI_EXPORT int SPI_CALL IsSupported(const char* filename, uintptr_t dw) { return felbrin::CheckHead(dw); }

SPI_EXPORT int SPI_CALL IsSupportedW(const WideChar* filename, uintptr_t dw) { return felbrin::CheckHead(dw); }

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* buf, intptr_t len, unsigned int flag, void** lphInf) {
  return felbrin::ListArchive(buf, len, flag, lphInf);
}

SPI_EXPORT int SPI_CALL GetArchiveInfoW(const WideChar* buf, intptr_t len, unsigned int flag, void** lphInf) {
  return felbrin::ListArchive(buf, len, flag, lphInf);
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* buf, intptr_t len, const char* filename, unsigned int flag,
                                    spi::ArchiveEntryInfo* lpInfo) {
  return felbrin::DescribeMember(buf, len, filename, flag, lpInfo);
}

SPI_EXPORT int SPI_CALL GetFileInfoW(const WideChar* buf, intptr_t len, const WideChar* filename, unsigned int flag,
                                     spi::ArchiveEntryInfoW* lpInfo) {
  return felbrin::DescribeMember(buf, len, filename, flag, lpInfo);
}

// `dest` is a folder's name in the family's characters, or the address of the host's handle.
SPI_EXPORT int SPI_CALL GetFile(const char* src, intptr_t len, void* dest, unsigned int flag,
                                spi::ProgressCallback progressCallback, intptr_t lData) {
  return felbrin::ExtractMember(src, len, static_cast<char*>(dest), flag, felbrin::Progress{progressCallback, lData});
}

SPI_EXPORT int SPI_CALL GetFileW(const WideChar* src, intptr_t len, void* dest, unsigned int flag,
                                 spi::ProgressCallback progressCallback, intptr_t lData) {
  return felbrin::ExtractMember(src, len, static_cast<WideChar*>(dest), flag,
                                felbrin::Progress{progressCallback, lData});
}

SPI_EXPORT int SPI_CALL ConfigurationDlg(void* parent, int fnc) { return spi::kNotSupported; }

static_assert(spi::kArchiveExportTypes<GetPluginInfo, IsSupported, GetArchiveInfo, GetFileInfo, GetFile>);
static_assert(spi::kArchiveExportTypesW<GetPluginInfoW, IsSupportedW, GetArchiveInfoW, GetFileInfoW, GetFileW>);
static_assert(spi::kConfigurationDlgType<ConfigurationDlg>);

// The cache lives until the library is unloaded.
#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH) felbrin::DropEntryListCache();
  return TRUE;
}
#else
__attribute__((destructor)) static void ReleaseEntryListCache() { felbrin::DropEntryListCache(); }
#endif
