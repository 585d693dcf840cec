// Building the host's entry list from a GGD directory, from a file or from memory, and the
// cache that spares the host's per-member GetFile calls a fresh directory read.
#include "ggd_archive_plugin/entry_list.h"

#include <cstring>
#include <mutex>
#include <string>

#include "ggd_archive_plugin/file_calls.h"
#include "ggd_archive_plugin/ggd_format.h"
#include "ggd_archive_plugin/names.h"
#include "plugin_api/host_block.h"
#include "plugin_api/member_names.h"

namespace felbrin {

static_assert(kGgdNotArchive == spi::kUnknownFormat && kGgdDamaged == spi::kDamaged &&
                  kGgdNoMemory == spi::kNoMemory,
              "the format routines answer in the host's codes");
static_assert(sizeof(kStorageMethod) <= sizeof(spi::ArchiveEntryInfo::method), "method fits");
static_assert(sizeof(MemberRecord::name) <= sizeof(spi::ArchiveEntryInfo::filename) &&
                  sizeof(MemberRecord::name) <= sizeof(spi::ArchiveEntryInfoW::filename) / sizeof(spi::WideChar),
              "a member name, widened character by character, fits either record");

namespace {

// The last archive listed from a file: its path in UTF-16, a byte copy of its ANSI list, the
// offset it was listed at and the stamp of the file it was read from. Shared by every thread
// of the host, so it is guarded by one lock, held only to compare keys and to copy or swap
// blocks: never while a file is read or the host is called.
struct EntryListCache {
  HGLOBAL path = nullptr;    // present together with `list`, or neither
  HGLOBAL list = nullptr;
  size_t listBytes = 0;      // the list's exact size; GlobalSize may round up
  int64_t archiveStart = 0;  // file offset of the listing
  FileStamp stamp;
};
std::mutex gCacheLock;
EntryListCache gCache;

// A path as the cache knows it: UTF-16 and terminated. A UTF-16 path is borrowed; an ANSI
// path is converted from the system code page, as the ANSI file calls themselves do, into
// `owned`. A null `text` is an ANSI path without a UTF-16 form (where the system code page is
// UTF-8 and the path is not): it is listed as usual but never cached, since no key could
// tell it apart from the paths of the other family.
struct PathKey {
  const spi::WideChar* text = nullptr;
  HLOCAL owned = nullptr;
};

int MakePathKey(const spi::WideChar* path, PathKey* key) {
  key->text = path;
  return spi::kSuccess;
}

int MakePathKey(const char* path, PathKey* key) {
  const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (units <= 0) return spi::kSuccess;
  HLOCAL block = LocalAlloc(LMEM_FIXED, static_cast<size_t>(units) * sizeof(spi::WideChar));
  if (block == nullptr) return spi::kNoMemory;
  spi::WideChar* wide = static_cast<spi::WideChar*>(LocalLock(block));
  if (wide == nullptr || MultiByteToWideChar(CP_ACP, 0, path, -1, wide, units) != units) {
    if (wide != nullptr) LocalUnlock(block);
    LocalFree(block);
    return wide == nullptr ? spi::kLockFailed : spi::kSuccess;
  }
  key->text = wide;
  key->owned = block;
  return spi::kSuccess;
}

void ReleasePathKey(PathKey* key) {
  if (key->owned != nullptr) {
    LocalUnlock(key->owned);
    LocalFree(key->owned);
  }
  *key = PathKey();
}

HGLOBAL CopyToGlobal(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (block == nullptr) return nullptr;
  void* copy = GlobalLock(block);
  if (copy == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(copy, bytes, size);
  GlobalUnlock(block);
  return block;
}

void FreeCacheBlocks(const EntryListCache& entry) {
  if (entry.path != nullptr) GlobalFree(entry.path);
  if (entry.list != nullptr) GlobalFree(entry.list);
}

// Empties the cache and hands back what it held, for the caller to free outside the lock.
EntryListCache TakeCache() {
  EntryListCache taken = gCache;
  gCache = EntryListCache();
  return taken;
}

// What a listing asks of the cache: the path, the file's stamp, and the offset unless any
// offset will do.
struct CacheQuery {
  const PathKey* key;
  FileStamp stamp;
  int64_t offset;
  bool anyOffset;
};

// Called with the lock held.
bool CacheAnswers(const CacheQuery& query) {
  if (gCache.path == nullptr || query.key->text == nullptr) return false;
  if (!(gCache.stamp == query.stamp) || (!query.anyOffset && gCache.archiveStart != query.offset)) return false;
  const spi::WideChar* cached = static_cast<const spi::WideChar*>(GlobalLock(gCache.path));
  const bool same = cached != nullptr && spi::sameMemberName(cached, query.key->text, true);
  GlobalUnlock(gCache.path);
  return same;
}

// A fresh local copy of the cached list for the host when the cache answers the query:
// 0 with *list set, 4 or 5 when the copy cannot be made. -1 when it does
// not answer; the cache is then emptied, since the listing that follows replaces it.
int CopyFromCache(const CacheQuery& query, HLOCAL* list) {
  EntryListCache stale;
  int result = spi::kNotSupported;
  {
    std::lock_guard<std::mutex> hold(gCacheLock);
    if (!CacheAnswers(query)) {
      stale = TakeCache();
    } else {
      HLOCAL copy = spi::newHostBlock(gCache.listBytes);
      const void* cached = copy != nullptr ? GlobalLock(gCache.list) : nullptr;
      if (cached != nullptr) {
        std::memcpy(copy, cached, gCache.listBytes);
        GlobalUnlock(gCache.list);
        *list = copy;
        result = spi::kSuccess;
      } else {
        if (copy != nullptr) LocalFree(copy);
        result = copy == nullptr ? spi::kNoMemory : spi::kLockFailed;
      }
    }
  }
  FreeCacheBlocks(stale);
  return result;
}

// The first record at `position` in a list of `bytes` bytes; false when none starts there.
bool FindInList(const spi::ArchiveEntryInfo* entries, size_t bytes, int64_t position, spi::ArchiveEntryInfo* found) {
  const size_t count = bytes / sizeof(spi::ArchiveEntryInfo);
  for (size_t j = 0; j < count && entries[j].method[0] != '\0'; ++j) {
    if (static_cast<int64_t>(entries[j].position) == position) {
      std::memcpy(found, &entries[j], sizeof *found);
      return true;
    }
  }
  return false;
}

// The record at `position` of the cached list when the cache answers the query: 0 with
// *found and *archiveStart set, -1 when no member starts there, 5 when the list cannot be
// locked. 1 (a code a listing never gives) when the cache does not answer; it is then
// emptied, since the listing that follows replaces it.
constexpr int kCacheMiss = spi::kAborted;
int FindInCache(const CacheQuery& query, int64_t position, spi::ArchiveEntryInfo* found, int64_t* archiveStart) {
  EntryListCache stale;
  int result = kCacheMiss;
  {
    std::lock_guard<std::mutex> hold(gCacheLock);
    if (!CacheAnswers(query)) {
      stale = TakeCache();
    } else {
      const auto* cached = static_cast<const spi::ArchiveEntryInfo*>(GlobalLock(gCache.list));
      if (cached == nullptr) {
        result = spi::kLockFailed;
      } else {
        result = FindInList(cached, gCache.listBytes, position, found) ? spi::kSuccess : spi::kNotSupported;
        GlobalUnlock(gCache.list);
        *archiveStart = gCache.archiveStart;
      }
    }
  }
  FreeCacheBlocks(stale);
  return result;
}

// Remembers a list just built from a file, replacing whatever is cached. The copies are made
// before the lock is taken. A failed copy, or a path without a key, leaves nothing cached.
void StoreInCache(const CacheQuery& query, HLOCAL list, size_t bytes) {
  EntryListCache fresh;
  if (query.key->text != nullptr) {
    const size_t keyBytes = (std::char_traits<spi::WideChar>::length(query.key->text) + 1) * sizeof(spi::WideChar);
    fresh.path = CopyToGlobal(query.key->text, keyBytes);
    fresh.list = fresh.path != nullptr ? CopyToGlobal(list, bytes) : nullptr;
    if (fresh.list == nullptr) {
      FreeCacheBlocks(fresh);
      fresh = EntryListCache();
    }
    fresh.listBytes = bytes;
    fresh.archiveStart = query.offset;
    fresh.stamp = query.stamp;
  }
  EntryListCache old;
  {
    std::lock_guard<std::mutex> hold(gCacheLock);
    old = TakeCache();
    if (fresh.list != nullptr) gCache = fresh;
  }
  FreeCacheBlocks(old);
}

void FillEntry(const MemberRecord& member, spi::ArchiveEntryInfo* entry) {
  std::memcpy(entry->method, kStorageMethod, sizeof kStorageMethod);
  // ReadMemberRecords has checked start >= D > 0 and 0 <= size <= INT32_MAX.
  entry->position = static_cast<spi::RecordWord>(member.start);
  entry->compsize = static_cast<spi::RecordWord>(member.size);
  entry->filesize = static_cast<spi::RecordWord>(member.size);
  std::memcpy(entry->filename, member.name, sizeof member.name);
}

// Records -> the host's list, one record per member and a zero record to end it.
int MakeEntryList(const MemberRecord* members, int count, HLOCAL* list, size_t* listBytes) {
  const uint64_t bytes = (static_cast<uint64_t>(count) + 1) * sizeof(spi::ArchiveEntryInfo);
  HLOCAL block = spi::newHostBlock(bytes);
  if (block == nullptr) return spi::kNoMemory;
  spi::ArchiveEntryInfo* entries = static_cast<spi::ArchiveEntryInfo*>(LocalLock(block));
  if (entries == nullptr) {
    LocalFree(block);
    return spi::kLockFailed;
  }
  for (int j = 0; j < count; ++j) FillEntry(members[j], &entries[j]);
  LocalUnlock(block);
  *list = block;
  *listBytes = static_cast<size_t>(bytes);
  return spi::kSuccess;
}

int ListFromDirectory(const uint8_t* directory, int64_t byteCount, int directoryBytes, HLOCAL* list,
                      size_t* listBytes) {
  MemberRecord* members = nullptr;
  int count = 0;
  const int result = ReadMemberRecords(directory, byteCount, directoryBytes, &members, &count);
  if (result != kGgdOk) return result;
  const int made = MakeEntryList(members, count, list, listBytes);
  LocalFree(members);
  return made;
}

// Reads the head at `offset`, checks it, and reads the D-byte directory behind it into a
// local block, left locked at *bytes. Every failure here means "not a GGD archive we can
// read": 2.
int ReadDirectoryBlock(HANDLE file, int64_t offset, HLOCAL* block, const uint8_t** bytes,
                       int* directoryBytes) {
  uint8_t head[spi::kHostHeadBytes] = {};
  uint32_t got = 0;
  if (offset != 0 && !platform::seekFileTo(file, offset)) return spi::kUnknownFormat;
  if (!ReadUpTo(file, head, sizeof head, &got) || got < kMinHeadBytes) return spi::kUnknownFormat;
  // The whole zero-filled buffer counts as available, as the head of a short file reads as
  // if padded with zeros; the directory read below still needs the real bytes.
  int d = 0;
  if (CheckGgdArchive(head, spi::kHostHeadBytes, &d) != kGgdOk) return spi::kUnknownFormat;
  if (!platform::seekFileTo(file, offset + kDirectoryOffset)) return spi::kUnknownFormat;

  HLOCAL directory = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, static_cast<size_t>(d));
  void* locked = directory != nullptr ? LocalLock(directory) : nullptr;
  if (locked == nullptr || !ReadExactly(file, locked, static_cast<uint32_t>(d))) {
    if (locked != nullptr) LocalUnlock(directory);
    if (directory != nullptr) LocalFree(directory);
    return spi::kUnknownFormat;
  }
  *block = directory;
  *bytes = static_cast<const uint8_t*>(locked);
  *directoryBytes = d;
  return spi::kSuccess;
}

// Reads the directory of the open file at `offset` and builds the list.
int ListFromOpenFile(HANDLE file, int64_t offset, HLOCAL* list, size_t* listBytes) {
  HLOCAL directory = nullptr;
  const uint8_t* bytes = nullptr;
  int d = 0;
  int result = ReadDirectoryBlock(file, offset, &directory, &bytes, &d);
  if (result != spi::kSuccess) return result;
  result = ListFromDirectory(bytes, d, d, list, listBytes);
  LocalUnlock(directory);
  LocalFree(directory);
  return result;
}

// The list of the archive file named `path` at `offset`. The file's stamp comes from one
// attribute query; when the cache answers, the file is not even opened. Otherwise it is read
// and cached under that stamp (taken before the read: a file changed in between is read
// again next time).
template <typename Char>
int ListNamedFile(const Char* path, int64_t offset, HLOCAL* list) {
  FileStamp stamp;
  if (!ReadPathStamp(path, &stamp)) return spi::kReadError;
  PathKey key;
  int result = MakePathKey(path, &key);
  if (result != spi::kSuccess) return result;
  const CacheQuery query = {&key, stamp, offset, false};
  result = CopyFromCache(query, list);
  if (result == spi::kNotSupported) {
    HANDLE file = OpenForReading(path);
    size_t listBytes = 0;
    result = file != INVALID_HANDLE_VALUE ? ListFromOpenFile(file, offset, list, &listBytes) : spi::kReadError;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (result == spi::kSuccess) StoreInCache(query, *list, listBytes);
  }
  ReleasePathKey(&key);
  return result;
}

int ListFromMemory(const uint8_t* archive, int64_t size, HLOCAL* list) {
  DropEntryListCache();
  int d = 0;
  if (CheckGgdArchive(archive, size, &d) != kGgdOk) return spi::kUnknownFormat;
  // A block cut short inside the directory hands over fewer than D bytes: damaged.
  const int64_t after = size - kDirectoryOffset;
  size_t listBytes = 0;
  return ListFromDirectory(archive + kDirectoryOffset, after < d ? after : d, d, list, &listBytes);
}

// The same records with the names in UTF-16, in a new block of the exact size; every byte
// that no field covers (the padding of the 64-bit record) stays zero.
void WidenEntry(const spi::ArchiveEntryInfo& entry, spi::ArchiveEntryInfoW* wide) {
  std::memcpy(wide->method, entry.method, sizeof wide->method);
  wide->position = entry.position;
  wide->compsize = entry.compsize;
  wide->filesize = entry.filesize;
  wide->timestamp = entry.timestamp;
  if (entry.path[0] != '\0') spi::widenMemberName(entry.path, wide->path, sizeof wide->path / sizeof wide->path[0]);
  spi::widenMemberName(entry.filename, wide->filename, sizeof wide->filename / sizeof wide->filename[0]);
  wide->crc = entry.crc;
}

int WidenEntryList(HLOCAL list, HLOCAL* wideList) {
  const spi::ArchiveEntryInfo* entries = static_cast<const spi::ArchiveEntryInfo*>(LocalLock(list));
  if (entries == nullptr) return spi::kLockFailed;
  uint64_t count = 0;
  while (entries[count].method[0] != '\0') ++count;
  HLOCAL block = spi::newHostBlock((count + 1) * sizeof(spi::ArchiveEntryInfoW));
  spi::ArchiveEntryInfoW* wide = block != nullptr ? static_cast<spi::ArchiveEntryInfoW*>(LocalLock(block)) : nullptr;
  if (wide == nullptr) {
    if (block != nullptr) LocalFree(block);
    LocalUnlock(list);
    return block == nullptr ? spi::kNoMemory : spi::kLockFailed;
  }
  for (uint64_t j = 0; j < count; ++j) WidenEntry(entries[j], &wide[j]);
  LocalUnlock(block);
  LocalUnlock(list);
  *wideList = block;
  return spi::kSuccess;
}

// The list as the cache keeps it, with ANSI names, for a path of either family.
template <typename Char>
int BuildAnsiList(const Char* source, int64_t offsetOrSize, ListSource kind, HLOCAL* list) {
  *list = nullptr;
  if (source == nullptr) return spi::kReadError;
  const int result = kind == ListSource::kMemory
                         ? ListFromMemory(reinterpret_cast<const uint8_t*>(source), offsetOrSize, list)
                         : ListNamedFile(source, offsetOrSize, list);
  if (result != spi::kSuccess) *list = nullptr;
  return result;
}

// The family's list from the ANSI one: the same block for ANSI, a widened copy for UTF-16.
int InFamily(const char*, HLOCAL*) { return spi::kSuccess; }

int InFamily(const spi::WideChar*, HLOCAL* list) {
  HLOCAL wide = nullptr;
  const int result = WidenEntryList(*list, &wide);
  LocalFree(*list);
  *list = wide;
  return result;
}

template <typename Char>
int BuildFamilyList(const Char* source, int64_t offsetOrSize, ListSource kind, HLOCAL* list) {
  int result = BuildAnsiList(source, offsetOrSize, kind, list);
  if (result == spi::kSuccess) result = InFamily(source, list);
  if (result != spi::kSuccess) *list = nullptr;
  return result;
}

// The record at `position`, from the cache or from the directory read at the file's start.
template <typename Char>
int FindAnsiMember(HANDLE file, const FileStamp& stamp, const Char* path, int64_t position,
                   spi::ArchiveEntryInfo* found, int64_t* archiveStart) {
  PathKey key;
  int result = MakePathKey(path, &key);
  if (result != spi::kSuccess) return result;
  const CacheQuery query = {&key, stamp, 0, true};
  result = FindInCache(query, position, found, archiveStart);
  if (result == kCacheMiss) {
    HLOCAL list = nullptr;
    size_t listBytes = 0;
    result = ListFromOpenFile(file, 0, &list, &listBytes);
    if (result == spi::kSuccess) {
      StoreInCache(query, list, listBytes);
      *archiveStart = 0;
      const auto* entries = static_cast<const spi::ArchiveEntryInfo*>(LocalLock(list));
      result = entries == nullptr                                    ? spi::kLockFailed
               : FindInList(entries, listBytes, position, found) ? spi::kSuccess
                                                                    : spi::kNotSupported;
      if (entries != nullptr) LocalUnlock(list);
      LocalFree(list);
    }
  }
  ReleasePathKey(&key);
  return result;
}

}  // namespace

int BuildEntryList(const char* source, int64_t offsetOrSize, ListSource kind, HLOCAL* list) {
  return BuildFamilyList(source, offsetOrSize, kind, list);
}

int BuildEntryList(const spi::WideChar* source, int64_t offsetOrSize, ListSource kind, HLOCAL* list) {
  return BuildFamilyList(source, offsetOrSize, kind, list);
}

int FindMemberByPosition(HANDLE file, const FileStamp& stamp, const char* path, int64_t position,
                         spi::ArchiveEntryInfo* member, int64_t* archiveStart) {
  *archiveStart = 0;
  return FindAnsiMember(file, stamp, path, position, member, archiveStart);
}

int FindMemberByPosition(HANDLE file, const FileStamp& stamp, const spi::WideChar* path, int64_t position,
                         spi::ArchiveEntryInfoW* member, int64_t* archiveStart) {
  *archiveStart = 0;
  spi::ArchiveEntryInfo found;
  const int result = FindAnsiMember(file, stamp, path, position, &found, archiveStart);
  if (result == spi::kSuccess) {
    std::memset(member, 0, sizeof *member);
    WidenEntry(found, member);
  }
  return result;
}

void DropEntryListCache() {
  EntryListCache old;
  {
    std::lock_guard<std::mutex> hold(gCacheLock);
    old = TakeCache();
  }
  FreeCacheBlocks(old);
}

bool EntryListCached() {
  std::lock_guard<std::mutex> hold(gCacheLock);
  return gCache.path != nullptr && gCache.list != nullptr;
}

}  // namespace felbrin
