// The host's entry list of a GGD archive, and the one-entry cache of the last archive listed
// from a file.
//
// The list is one fixed, zero-filled local block of (members + 1) ArchiveEntryInfo records in
// directory order; the last record is all zeros. Each member record holds:
//   method "PPLGGD", position = the member's start as stored (an offset from the archive's
//   first byte), compsize = filesize = the member's size, timestamp 0, path "", crc 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace felbrin {

constexpr char kStorageMethod[] = "PPLGGD";

// The host's input selection: memory (`source` is the archive's address, `offsetOrSize` its
// size) or a file (`source` is its path, `offsetOrSize` the offset at which the archive
// begins).
enum class ListSource { kFile, kMemory };

// Builds the entry list. Results: 0 with *list set, else 2, 3, 4, 5 or 6 with *list null.
// *archiveStart (may be null) receives the file offset that the list's positions count
// from: the offset of the listing that filled the cache, on a cache hit; 0 for memory.
//
// File input answers from the cache when it holds the same path (compared ignoring the case
// of a-z), whatever the offset; otherwise it reads the file and caches the new list. Memory
// input empties the cache and never fills it.
int BuildEntryList(const char* source, int64_t offsetOrSize, ListSource kind, HLOCAL* list,
                   int64_t* archiveStart);

// Equal when both names agree byte for byte up to their terminators, a-z counting as A-Z
// (the bytes of double-byte characters compare exactly).
bool SameNameIgnoreCase(const char* a, const char* b);

// Releases the cached path and list (at library unload, and before every new listing).
void DropEntryListCache();

// Whether the cache holds a listing (for tests).
bool EntryListCached();

}  // namespace felbrin
