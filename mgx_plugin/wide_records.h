// The records of the Unicode exports. A reader fills the ANSI record, whose names are in the
// system's code page (the one the ANSI exports speak); the Unicode twin is that record with
// its names converted to UTF-16, so both listings of one archive agree field by field.
#pragma once

#include <cstddef>

#include "plugin_api/plugin_api.h"

// Characters in each name field of both records, the terminator included.
constexpr size_t kRecordNameChars = sizeof(spi::ArchiveEntryInfo::path);
static_assert(sizeof(spi::ArchiveEntryInfo::filename) == kRecordNameChars, "name fields alike");
static_assert(sizeof(spi::ArchiveEntryInfoW::path) == kRecordNameChars * sizeof(spi::WideChar), "path");
static_assert(sizeof(spi::ArchiveEntryInfoW::filename) == kRecordNameChars * sizeof(spi::WideChar), "filename");

// Converts the name at `ansi` (up to its NUL, at most kRecordNameChars - 1 bytes) into
// `wide`, which holds kRecordNameChars characters, and terminates it. Returns the characters
// stored before the terminator. Bytes that the code page cannot convert are widened one by
// one, so a name is never lost.
size_t widenName(const char* ansi, spi::WideChar* wide);

// Fills every byte of `wide`: method and numbers as in `ansi`, names converted, the rest 0.
void widenRecord(const spi::ArchiveEntryInfo& ansi, spi::ArchiveEntryInfoW* wide);
