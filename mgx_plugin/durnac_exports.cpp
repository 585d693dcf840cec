// Durnac's face to the host: the five exports of an archive plug-in over MGX archives, and
// their Unicode twins (GetPluginInfoW, IsSupportedW, GetArchiveInfoW, GetFileInfoW,
// GetFileW). Every export builds its own objects, answers, and destroys them before it
// returns; the only thing that outlives a call is a memory block handed to the host on
// success.
//
// What Durnac accepts: a file name as input (flag AND 7 = 0; the archive begins at byte 0
// whatever `len` says); GetFile writes to memory only ((flag >> 8) AND 7 = 1) and takes
// `len` as the member's index. A null pointer argument answers -1 and touches nothing.
//
// A twin differs from its ANSI export only in its names: the archive is opened by its
// UTF-16 name, and records carry member names converted to UTF-16. Positions are the same
// member indexes in both families, so a host may list through one and extract through the
// other.
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

#include "mgx_plugin/archive_registry.h"
#include "mgx_plugin/durnac_info.h"
#include "mgx_plugin/member_names.h"
#include "mgx_plugin/wide_records.h"
#include "platform/win32.h"
#include "plugin_api/host_block.h"
#include "plugin_api/plugin_api.h"
#include "support/call_frame.h"
#include "support/file_name.h"
#include "support/plugin_info.h"

using durnac::ArchiveReader;
using durnac::ArchiveRegistry;
using durnac::WantedName;
using durnac::identifyArchive;
using durnac::widenRecord;

namespace {

typedef std::unique_ptr<ArchiveReader> ReaderPtr;
using spi::WideChar;

// Finds the reader class for the archive named `name` and opens it. A file that no class
// accepts (missing, unreadable, too short, another format) is 4; any failure of the
// reader's own opening is 6.
int32_t openArchiveReader(const support::FileName& name, ReaderPtr& reader,
                          ArchiveReader::Directory directory = ArchiveReader::Directory::kWhole) {
  reader.reset(ArchiveRegistry::create(identifyArchive(name, nullptr)));
  if (!reader) return spi::kNoMemory;
  if (reader->open(name, directory) != spi::kSuccess) {
    reader.reset();
    return spi::kReadError;
  }
  return spi::kSuccess;
}

// A member's record in the caller's family. The ANSI record is filled in place, so bytes
// that the reader does not write stay the host's; the Unicode one is converted from it.
int32_t describeMember(ArchiveReader& reader, uint32_t index, spi::ArchiveEntryInfo* record) {
  return reader.entryInfo(index, record);
}
int32_t describeMember(ArchiveReader& reader, uint32_t index, spi::ArchiveEntryInfoW* record) {
  spi::ArchiveEntryInfo ansi{};
  int32_t result = reader.entryInfo(index, &ansi);
  if (result == spi::kSuccess) widenRecord(ansi, record);
  return result;
}

// The search, leaving the last member's values in the record when nothing matched.
int32_t findMember(ArchiveReader& reader, const ArchiveReader::NameMatch& wanted, spi::ArchiveEntryInfo* record) {
  return reader.findEntry(wanted, record);
}
int32_t findMember(ArchiveReader& reader, const ArchiveReader::NameMatch& wanted, spi::ArchiveEntryInfoW* record) {
  spi::ArchiveEntryInfo ansi{};
  int32_t result = reader.findEntry(wanted, &ansi);
  if (reader.entryCount() > 0) widenRecord(ansi, record);
  return result;
}

// The entry array of an open archive: one record per member and a terminating record
// whose first byte is 0. Answers 0 with the block in `list`, else a code with `list` null.
template <typename Record>
int32_t buildEntryList(ArchiveReader& reader, HLOCAL& list) {
  list = nullptr;
  uint64_t records = static_cast<uint64_t>(reader.entryCount()) + 1;
  if (records > UINT64_MAX / sizeof(Record)) return spi::kNoMemory;
  HLOCAL block = spi::newHostBlock(records * sizeof(Record));
  if (block == nullptr) return spi::kNoMemory;
  auto* array = static_cast<Record*>(LocalLock(block));
  if (array == nullptr) {
    LocalFree(block);
    return spi::kLockFailed;
  }
  for (uint32_t index = 0; index < reader.entryCount(); ++index) describeMember(reader, index, &array[index]);
  array[reader.entryCount()].method[0] = '\0';
  LocalUnlock(block);
  list = block;
  return spi::kSuccess;
}

// Char is char for the ANSI exports and WideChar for their twins; Record follows it.
template <typename Char>
using RecordOf = typename std::conditional<std::is_same<Char, char>::value, spi::ArchiveEntryInfo,
                                           spi::ArchiveEntryInfoW>::type;

template <typename Char>
int32_t listArchive(const Char* name, intptr_t len, unsigned int flag, HLOCAL& list) {
  list = nullptr;
  support::InputArgs args(name, len, flag);  // `len` is not used: the archive begins at byte 0
  if (args.testFlags(spi::kInputMask) != spi::kInputFile) return spi::kNotSupported;
  if (name == nullptr) return spi::kNotSupported;
  ReaderPtr reader;
  int32_t result = openArchiveReader(args.fileName(), reader);
  if (result != spi::kSuccess) return result;
  return buildEntryList<RecordOf<Char>>(*reader, list);
}

template <typename Char>
int32_t searchArchive(const Char* buf, intptr_t len, const Char* filename, unsigned int flag,
                      RecordOf<Char>* lpInfo) {
  support::InputArgs args(buf, len, flag);
  if (args.testFlags(spi::kInputMask) != spi::kInputFile) return spi::kNotSupported;
  if (buf == nullptr || filename == nullptr || lpInfo == nullptr) return spi::kNotSupported;
  ReaderPtr reader;
  int32_t result = openArchiveReader(args.fileName(), reader);
  if (result != spi::kSuccess) return result;
  // Members carry no path, so the name is compared with the member name alone.
  WantedName<Char> wanted(filename, args.testFlags(spi::kIgnoreCase) != 0);
  return findMember(*reader, wanted, lpInfo);
}

// The bytes of member `index` in a new host block. Answers 0 with the block in `member`,
// else a code with `member` null and nothing left allocated. A member that the file cannot
// hold is refused before its block is made, whatever size it claims.
int32_t extractMember(ArchiveReader& reader, uint32_t index, HLOCAL& member) {
  member = nullptr;
  spi::ArchiveEntryInfo record;
  int32_t result = reader.entryInfo(index, &record);
  if (result == spi::kSuccess) result = reader.checkMember(index);
  if (result != spi::kSuccess) return result;
  uint32_t size = static_cast<uint32_t>(record.filesize);
  HLOCAL block = spi::newHostBlock(size);
  if (block == nullptr) return spi::kNoMemory;
  auto* bytes = static_cast<uint8_t*>(LocalLock(block));
  result = bytes == nullptr ? spi::kLockFailed : reader.extract(index, bytes, size);
  if (bytes != nullptr) LocalUnlock(block);
  if (result != spi::kSuccess) {
    LocalFree(block);
    return result;
  }
  member = block;
  return spi::kSuccess;
}

int32_t extractToMemory(const support::InputArgs& args, void* dest) {
  if (args.testFlags(spi::kInputMask) != spi::kInputFile || spi::outputKind(args.flags()) != spi::kOutputMemory) {
    return spi::kNotSupported;
  }
  if (args.source() == nullptr || dest == nullptr) return spi::kNotSupported;
  // Only the member's own entry is read, so extracting every member of a large archive in
  // turn costs time in proportion to the members, not to their square.
  ReaderPtr reader;
  int32_t result = openArchiveReader(args.fileName(), reader, ArchiveReader::Directory::kOnDemand);
  if (result != spi::kSuccess) return result;
  // `len` is the member's position, which is its index; taken unsigned at full width, so a
  // negative value, or one beyond 32 bits, is simply past the end.
  uintptr_t position = static_cast<uintptr_t>(args.length());
  if (position >= reader->entryCount()) return spi::kInternalError;
  HLOCAL member = nullptr;
  result = extractMember(*reader, static_cast<uint32_t>(position), member);
  // From here on the host's variable always gets an answer: the block, or a null handle
  // when the block could not be made or filled.
  *static_cast<HLOCAL*>(dest) = member;
  return result;
}

// On every failure a null handle is stored, so a host that frees what it got back is safe.
template <typename Char>
int archiveInfo(const Char* buf, intptr_t len, unsigned int flag, void** lphInf) {
  if (lphInf == nullptr) return spi::kNotSupported;
  HLOCAL list = nullptr;
  int32_t result = listArchive(buf, len, flag, list);
  *lphInf = list;
  return result;
}

// The progress callback hears (0, 1) before anything is tested and (1, 1) after a
// successful extraction; its answer is not heeded, so GetFile never answers 1.
template <typename Char>
int extractFile(const Char* src, intptr_t len, void* dest, unsigned int flag, spi::ProgressCallback progressCallback,
                intptr_t lData) {
  if (progressCallback != nullptr) progressCallback(0, 1, lData);
  int32_t result = extractToMemory(support::InputArgs(src, len, flag), dest);
  if (result == spi::kSuccess && progressCallback != nullptr) progressCallback(1, 1, lData);
  return result;
}

// Never an error: whatever cannot be read or recognised answers 0. The host's handle stays
// open; its file pointer is left where the read-ahead put it. The name plays no part.
template <typename Char>
int probeArchive(const Char* filename, uintptr_t dw) {
  support::Stream* head = support::openProbeInput(dw);
  if (head == nullptr) return 0;
  int32_t number = identifyArchive(filename, head);
  delete head;
  return number;
}

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
  return support::getPluginInfo(durnac::kPluginInfo, infono, buf, buflen);
}

SPI_EXPORT int SPI_CALL GetPluginInfoW(int infono, WideChar* buf, int buflen) {
  return support::getPluginInfoW(durnac::kPluginInfo, infono, buf, buflen);
}

SPI_EXPORT int SPI_CALL IsSupported(const char* filename, uintptr_t dw) { return probeArchive(filename, dw); }

SPI_EXPORT int SPI_CALL IsSupportedW(const WideChar* filename, uintptr_t dw) { return probeArchive(filename, dw); }

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* buf, intptr_t len, unsigned int flag, void** lphInf) {
  return archiveInfo(buf, len, flag, lphInf);
}

SPI_EXPORT int SPI_CALL GetArchiveInfoW(const WideChar* buf, intptr_t len, unsigned int flag, void** lphInf) {
  return archiveInfo(buf, len, flag, lphInf);
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* buf, intptr_t len, const char* filename, unsigned int flag,
                                    spi::ArchiveEntryInfo* lpInfo) {
  return searchArchive(buf, len, filename, flag, lpInfo);
}

SPI_EXPORT int SPI_CALL GetFileInfoW(const WideChar* buf, intptr_t len, const WideChar* filename, unsigned int flag,
                                     spi::ArchiveEntryInfoW* lpInfo) {
  return searchArchive(buf, len, filename, flag, lpInfo);
}

SPI_EXPORT int SPI_CALL GetFile(const char* src, intptr_t len, void* dest, unsigned int flag,
                                spi::ProgressCallback progressCallback, intptr_t lData) {
  return extractFile(src, len, dest, flag, progressCallback, lData);
}

SPI_EXPORT int SPI_CALL GetFileW(const WideChar* src, intptr_t len, void* dest, unsigned int flag,
                                 spi::ProgressCallback progressCallback, intptr_t lData) {
  return extractFile(src, len, dest, flag, progressCallback, lData);
}

static_assert(spi::kArchiveExportTypes<GetPluginInfo, IsSupported, GetArchiveInfo, GetFileInfo, GetFile>);
static_assert(spi::kArchiveExportTypesW<GetPluginInfoW, IsSupportedW, GetArchiveInfoW, GetFileInfoW, GetFileW>);
