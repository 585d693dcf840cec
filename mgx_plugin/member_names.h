// GetFileInfo's rule for finding a member by name, in either family of names: exact, or
// folding the letters A-Z. Shared by the exports, the tests and the fuzz harness.
#pragma once

#include <cstdint>
#include <type_traits>

#include "mgx_plugin/archive_reader.h"
#include "mgx_plugin/wide_records.h"
#include "plugin_api/plugin_api.h"

// Compares two names character by character as unsigned values. Folding touches only
// 'A'-'Z', so a double-byte character, or any letter beyond ASCII, never matches differently
// from one host to another.
template <typename Char>
int compareNames(const Char* wanted, const Char* stored, bool ignoreCase) {
  typedef typename std::make_unsigned<Char>::type Unit;
  for (;; ++wanted, ++stored) {
    uint32_t a = static_cast<Unit>(*wanted);
    uint32_t b = static_cast<Unit>(*stored);
    if (ignoreCase && a >= 'A' && a <= 'Z') a += 'a' - 'A';
    if (ignoreCase && b >= 'A' && b <= 'Z') b += 'a' - 'A';
    if (a != b) return a < b ? -1 : 1;
    if (a == 0) return 0;
  }
}

// A member's stored name in the caller's family: as it is for the ANSI exports, converted
// into `room` for the Unicode ones.
inline const char* storedNameAs(const char* stored, char*) { return stored; }
inline const spi::WideChar* storedNameAs(const char* stored, spi::WideChar* room) {
  widenName(stored, room);
  return room;
}

// GetFileInfo's name: exact, or folding case when bit 7 of the flag is set.
template <typename Char>
class WantedName : public ArchiveReader::NameMatch {
 public:
  WantedName(const Char* name, bool ignoreCase) : name_(name), ignoreCase_(ignoreCase) {}
  bool matches(const char* storedName) const override {
    Char room[kRecordNameChars];
    return compareNames(name_, storedNameAs(storedName, room), ignoreCase_) == 0;
  }

 private:
  const Char* name_;
  bool ignoreCase_;
};
