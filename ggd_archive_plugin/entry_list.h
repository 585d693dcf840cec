// The host's entry list of a GGD archive, and the one-entry cache of the last archive listed
// from a file.
//
// The list is one fixed, zero-filled local block of (members + 1) records in directory
// order; the last record is all zeros. Each member record holds:
//   method "PPLGGD", position = the member's start as stored (an offset from the archive's
//   first byte), compsize = filesize = the member's size, timestamp 0, path "", crc 0.
// The ANSI exports get ArchiveEntryInfo records with the names as the directory spells them;
// the Unicode exports get ArchiveEntryInfoW records, the same fields with the names
// converted from the system code page. The cache holds the ANSI list; the Unicode list is
// made from it on every call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ggd_archive_plugin/file_calls.h"
#include "platform/win32.h"
#include "plugin_api/plugin_api.h"

namespace felbrin {

constexpr char kStorageMethod[] = "PPLGGD";

// The host's input selection: memory (`source` is the archive's address, `offsetOrSize` its
// size) or a file (`source` is its path, `offsetOrSize` the offset at which the archive
// begins).
enum class ListSource { kFile, kMemory };

// The record type of each export family.
template <typename Char>
struct EntryRecord;
template <>
struct EntryRecord<char> {
  typedef spi::ArchiveEntryInfo Type;
};
template <>
struct EntryRecord<spi::WideChar> {
  typedef spi::ArchiveEntryInfoW Type;
};
template <typename Char>
using EntryOf = typename EntryRecord<Char>::Type;

// Builds the entry list in the record type of the path's family, for GetArchiveInfo and
// GetFileInfo. Results: 0 with *list set, else 2, 3, 4, 5 or 6 with *list null. Memory input
// is bytes in both families; it empties the cache and never fills it.
//
// File input answers from the cache, without opening the file, when the cache holds a
// listing of the same path (compared ignoring the case of a-z, whichever family named it),
// at the same offset, of the file as it is now (the same size and last-write time, read with
// one attribute query); otherwise it reads the directory and the new list replaces the
// cached one. The cache knows a path by its UTF-16 form, an ANSI path converted from the
// system code page.
int BuildEntryList(const char* source, int64_t offsetOrSize, ListSource kind, HLOCAL* list);
int BuildEntryList(const spi::WideChar* source, int64_t offsetOrSize, ListSource kind, HLOCAL* list);

// The member GetFile asks for: the first record whose position is `position`, in the record
// type of the path's family, from the archive file already open as `file` whose stamp is
// `stamp`. GetFile is given no offset: a cached listing of the same path and the same
// unchanged file is used at whatever offset it was made (the host lists first, then
// extracts), and searched where it lies, under the cache's lock, without a copy; otherwise
// the directory is read at the start of the file and cached. *archiveStart receives the file
// offset that positions count from. Results: 0; -1 when no member starts there; else the
// listing's codes (2, 3, 4, 5).
int FindMemberByPosition(HANDLE file, const FileStamp& stamp, const char* path, int64_t position,
                         spi::ArchiveEntryInfo* member, int64_t* archiveStart);
int FindMemberByPosition(HANDLE file, const FileStamp& stamp, const spi::WideChar* path, int64_t position,
                         spi::ArchiveEntryInfoW* member, int64_t* archiveStart);

// Releases the cached path and list (at library unload, and on every memory listing).
void DropEntryListCache();

// Whether the cache holds a listing (for tests).
bool EntryListCached();

}  // namespace felbrin
