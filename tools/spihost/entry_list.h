// Archive entry lists as archive plug-ins hand them over: ArchiveEntryInfo records back to
// back, ended by a record whose first `method` byte is 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin_api/plugin_api.h"

namespace spihost {

// The members of a list of which `size` bytes may be read. Hosts that go by the header
// stop at the terminating record; with `lengthFromSize` the block's size gives the count
// and its last record must be the terminator. False with `problem` set when the block
// does not hold a well-ended list.
bool readEntryList(const uint8_t* data, uint64_t size, bool lengthFromSize, std::vector<spi::ArchiveEntryInfo>& entries,
                   std::string& problem);

// A text field of a record, which need not hold a terminator.
std::string recordText(const char* field, size_t size);

// "2001-09-09 01:46:40" (UTC) for seconds since 1970, "-" for 0.
std::string formatTimestamp(int64_t seconds);

// The heading and the line of one member, as `list` prints them.
std::string entryHeading();
std::string entryLine(const spi::ArchiveEntryInfo& entry);

}  // namespace spihost
