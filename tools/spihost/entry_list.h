// Archive entry lists as archive plug-ins hand them over: ArchiveEntryInfo records back to
// back, ended by a record whose first `method` byte is 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin_api/plugin_api.h"

namespace spihost {

// One member as the host keeps it, whichever export family listed it: names in UTF-8.
struct Member {
  std::string method;
  uint64_t position = 0;
  uint64_t compsize = 0;
  uint64_t filesize = 0;
  int64_t timestamp = 0;
  std::string path;
  std::string filename;
  uint32_t crc = 0;
};

// The records of the ANSI exports (names in the ANSI code page) and of the Unicode ones
// (names in UTF-16).
Member memberOf(const spi::ArchiveEntryInfo& record);
Member memberOf(const spi::ArchiveEntryInfoW& record);

// The members of a list of which `size` bytes may be read. Hosts that go by the header
// stop at the terminating record; with `lengthFromSize` the block's size gives the count
// and its last record must be the terminator. False with `problem` set when the block
// does not hold a well-ended list.
bool readEntryList(const uint8_t* data, uint64_t size, bool lengthFromSize, std::vector<spi::ArchiveEntryInfo>& entries,
                   std::string& problem);

// The same for a list of the Unicode exports' records.
bool readEntryList(const uint8_t* data, uint64_t size, bool lengthFromSize, std::vector<spi::ArchiveEntryInfoW>& entries,
                   std::string& problem);

// A text field of a record, which need not hold a terminator.
std::string recordText(const char* field, size_t size);

// "2001-09-09 01:46:40" (UTC) for seconds since 1970, "-" for 0.
std::string formatTimestamp(int64_t seconds);

// The heading and the line of one member, as `list` prints them.
std::string entryHeading();
std::string entryLine(const Member& entry);
std::string entryLine(const spi::ArchiveEntryInfo& entry);

}  // namespace spihost
