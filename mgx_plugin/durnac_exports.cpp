// Durnac's face to the host: the five exports of an archive plug-in over MGX archives.
// Every export builds its own objects, answers, and destroys them before it returns; the
// only thing that outlives a call is a memory block handed to the host on success.
//
// What Durnac accepts: a file name as input (flag AND 7 = 0; the archive begins at byte 0
// whatever `len` says); GetFile writes to memory only ((flag >> 8) AND 7 = 1) and takes
// `len` as the member's index. A null pointer argument answers -1 and touches nothing.
#include <cstdint>
#include <cstring>
#include <memory>

#include "mgx_plugin/archive_registry.h"
#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "support/call_frame.h"
#include "support/plugin_info.h"

namespace {

typedef std::unique_ptr<ArchiveReader> ReaderPtr;

// Finds the reader class for the archive named `name` and opens it. A file that no class
// accepts (missing, unreadable, too short, another format) is 4; any failure of the
// reader's own opening is 6.
int32_t openArchiveReader(const char* name, ReaderPtr& reader) {
  reader.reset(ArchiveRegistry::create(identifyArchive(name, nullptr)));
  if (!reader) return spi::kNoMemory;
  if (reader->open(name) != spi::kSuccess) {
    reader.reset();
    return spi::kReadError;
  }
  return spi::kSuccess;
}

// Folds only 'A'-'Z' onto 'a'-'z' and compares every other byte as it is, so a double-byte
// character never matches differently from one host to another.
int compareIgnoringCase(const char* wanted, const char* stored) {
  for (;; ++wanted, ++stored) {
    unsigned char a = static_cast<unsigned char>(*wanted);
    unsigned char b = static_cast<unsigned char>(*stored);
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
    if (a != b) return a < b ? -1 : 1;
    if (a == 0) return 0;
  }
}

int compareExactly(const char* wanted, const char* stored) { return std::strcmp(wanted, stored); }

// A new fixed, zero-filled local block of exactly `bytes` bytes, or null. Sizes that the
// address space cannot hold count as a failed allocation.
HLOCAL allocateHostBlock(uint64_t bytes) {
  if (bytes > SIZE_MAX) return nullptr;
  return LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, static_cast<size_t>(bytes));
}

// The entry array of an open archive: one record per member and a terminating record
// whose first byte is 0. Answers 0 with the block in `list`, else a code with `list` null.
int32_t buildEntryList(ArchiveReader& reader, HLOCAL& list) {
  list = nullptr;
  uint64_t records = static_cast<uint64_t>(reader.entryCount()) + 1;
  if (records > UINT64_MAX / sizeof(spi::ArchiveEntryInfo)) return spi::kNoMemory;
  HLOCAL block = allocateHostBlock(records * sizeof(spi::ArchiveEntryInfo));
  if (block == nullptr) return spi::kNoMemory;
  auto* array = static_cast<spi::ArchiveEntryInfo*>(LocalLock(block));
  if (array == nullptr) {
    LocalFree(block);
    return spi::kLockFailed;
  }
  for (uint32_t index = 0; index < reader.entryCount(); ++index) reader.entryInfo(index, &array[index]);
  array[reader.entryCount()].method[0] = '\0';
  LocalUnlock(block);
  list = block;
  return spi::kSuccess;
}

int32_t listArchive(const char* name, intptr_t len, unsigned int flag, HLOCAL& list) {
  list = nullptr;
  support::InputArgs args(name, len, flag);  // `len` is not used: the archive begins at byte 0
  if (args.testFlags(spi::kInputMask) != spi::kInputFile) return spi::kNotSupported;
  if (name == nullptr) return spi::kNotSupported;
  ReaderPtr reader;
  int32_t result = openArchiveReader(name, reader);
  if (result != spi::kSuccess) return result;
  return buildEntryList(*reader, list);
}

// The bytes of member `index` in a new host block. Answers 0 with the block in `member`,
// else a code with `member` null and nothing left allocated.
int32_t extractMember(ArchiveReader& reader, uint32_t index, HLOCAL& member) {
  member = nullptr;
  spi::ArchiveEntryInfo record;
  int32_t result = reader.entryInfo(index, &record);
  if (result != spi::kSuccess) return result;
  uint32_t size = static_cast<uint32_t>(record.filesize);
  HLOCAL block = allocateHostBlock(size);
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

int32_t extractToMemory(const char* name, intptr_t len, unsigned int flag, void* dest) {
  support::InputArgs args(name, len, flag);
  if (args.testFlags(spi::kInputMask) != spi::kInputFile || spi::outputKind(args.flags()) != spi::kOutputMemory) {
    return spi::kNotSupported;
  }
  if (name == nullptr || dest == nullptr) return spi::kNotSupported;
  ReaderPtr reader;
  int32_t result = openArchiveReader(name, reader);
  if (result != spi::kSuccess) return result;
  // `len` is the member's position, which is its index; taken unsigned, so a negative
  // value is simply past the end.
  uintptr_t position = static_cast<uintptr_t>(args.length());
  if (position >= reader->entryCount()) return spi::kInternalError;
  HLOCAL member = nullptr;
  result = extractMember(*reader, static_cast<uint32_t>(position), member);
  // From here on the host's variable always gets an answer: the block, or a null handle
  // when the block could not be made or filled.
  *static_cast<HLOCAL*>(dest) = member;
  return result;
}

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
  return support::getPluginInfo(spi::kDurnacInfo, infono, buf, buflen);
}

// Never an error: whatever cannot be read or recognised answers 0. The host's handle stays
// open; its file pointer is left where the read-ahead put it.
SPI_EXPORT int SPI_CALL IsSupported(const char* filename, uintptr_t dw) {
  support::Stream* head = support::openProbeInput(dw);
  if (head == nullptr) return 0;
  int32_t number = identifyArchive(filename, head);
  delete head;
  return number;
}

// On every failure a null handle is stored, so a host that frees what it got back is safe.
SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* buf, intptr_t len, unsigned int flag, void** lphInf) {
  if (lphInf == nullptr) return spi::kNotSupported;
  HLOCAL list = nullptr;
  int32_t result = listArchive(buf, len, flag, list);
  *lphInf = list;
  return result;
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* buf, intptr_t len, const char* filename, unsigned int flag,
                                    spi::ArchiveEntryInfo* lpInfo) {
  support::InputArgs args(buf, len, flag);
  if (args.testFlags(spi::kInputMask) != spi::kInputFile) return spi::kNotSupported;
  if (buf == nullptr || filename == nullptr || lpInfo == nullptr) return spi::kNotSupported;
  ReaderPtr reader;
  int32_t result = openArchiveReader(buf, reader);
  if (result != spi::kSuccess) return result;
  ArchiveReader::CompareName compare = args.testFlags(spi::kIgnoreCase) ? compareIgnoringCase : compareExactly;
  return reader->findEntry(filename, compare, lpInfo);
}

// The progress callback hears (0, 1) before anything is tested and (1, 1) after a
// successful extraction; its answer is not heeded, so GetFile never answers 1.
SPI_EXPORT int SPI_CALL GetFile(const char* src, intptr_t len, void* dest, unsigned int flag,
                                spi::ProgressCallback progressCallback, intptr_t lData) {
  if (progressCallback != nullptr) progressCallback(0, 1, lData);
  int32_t result = extractToMemory(src, len, flag, dest);
  if (result == spi::kSuccess && progressCallback != nullptr) progressCallback(1, 1, lData);
  return result;
}
