// The records of the Unicode exports. A reader fills the ANSI record, whose names are in the
// system's code page (the one the ANSI exports speak); the Unicode twin is that record with
// its names converted to UTF-16, so both listings of one archive agree field by field.
#pragma once

#include <cstddef>

#include "plugin_api/plugin_api.h"

namespace durnac {

// Characters in each name field of both records, the terminator included.
constexpr size_t kRecordNameChars = sizeof(spi::ArchiveEntryInfo::path);
static_assert(sizeof(spi::ArchiveEntryInfo::filename) == kRecordNameChars, "name fields alike");
static_assert(sizeof(spi::ArchiveEntryInfoW::path) == kRecordNameChars * sizeof(spi::WideChar), "path");
static_assert(sizeof(spi::ArchiveEntryInfoW::filename) == kRecordNameChars * sizeof(spi::WideChar), "filename");

// Fills every byte of `wide`: method and numbers as in `ansi`, names converted by
// spi::widenMemberName, the rest 0.
void widenRecord(const spi::ArchiveEntryInfo& ansi, spi::ArchiveEntryInfoW* wide);

}  // namespace durnac
