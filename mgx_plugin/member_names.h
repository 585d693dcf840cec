// GetFileInfo's rule for finding a member by name, in either family of names: exact, or
// folding the letters A-Z. Shared by the exports, the tests and the fuzz harness.
#pragma once

#include "mgx_plugin/archive_reader.h"
#include "mgx_plugin/wide_records.h"
#include "plugin_api/member_names.h"
#include "plugin_api/plugin_api.h"

namespace durnac {

// A member's stored name in the caller's family: as it is for the ANSI exports, converted
// into `room` for the Unicode ones.
inline const char* storedNameAs(const char* stored, char*) { return stored; }
inline const spi::WideChar* storedNameAs(const char* stored, spi::WideChar* room) {
  spi::widenMemberName(stored, room, kRecordNameChars);
  return room;
}

// GetFileInfo's name: exact, or folding case when bit 7 of the flag is set.
template <typename Char>
class WantedName : public ArchiveReader::NameMatch {
 public:
  WantedName(const Char* name, bool ignoreCase) : name_(name), ignoreCase_(ignoreCase) {}
  bool matches(const char* storedName) const override {
    Char room[kRecordNameChars];
    return spi::sameMemberName(name_, storedNameAs(storedName, room), ignoreCase_);
  }

 private:
  const Char* name_;
  bool ignoreCase_;
};

}  // namespace durnac
