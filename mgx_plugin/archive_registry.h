// The archive reader classes of Durnac, numbered from 1 in this order: 1 is MgxReader.
// Number 0, and any number past the list, names no class.
#pragma once

#include <cstdint>

#include "mgx_plugin/archive_reader.h"
#include "mgx_plugin/mgx_reader.h"
#include "support/file_name.h"
#include "support/format_registry.h"

namespace durnac {

using ArchiveRegistry = support::FormatRegistry<ArchiveReader, MgxReader>;

// The number of the first reader class that accepts the archive, or 0. Probes `input` when
// given (it stays the caller's); otherwise opens the named file (ANSI or UTF-16 name) for
// the test and closes it again. A file that cannot be opened is simply not accepted.
int32_t identifyArchive(const support::FileName& name, support::Stream* input);

}  // namespace durnac
