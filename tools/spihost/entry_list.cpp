#include "tools/spihost/entry_list.h"

#include <cstdio>
#include <cstring>

#include "tools/cli/text.h"

namespace spihost {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

template <typename Record>
Record recordAt(const uint8_t* data, uint64_t index) {
  Record record;
  std::memcpy(&record, data + index * sizeof(Record), sizeof record);
  return record;
}

template <typename Record>
bool isTerminator(const Record& record) {
  return record.method[0] == 0;
}

template <typename Record>
bool readRecords(const uint8_t* data, uint64_t size, bool lengthFromSize, std::vector<Record>& entries,
                 std::string& problem) {
  entries.clear();
  uint64_t records = size / sizeof(Record);
  if (lengthFromSize) {
    if (records == 0 || !isTerminator(recordAt<Record>(data, records - 1))) {
      problem = "entry list of " + std::to_string(size) + " bytes does not end in a terminating record";
      return false;
    }
    for (uint64_t i = 0; i + 1 < records; ++i) entries.push_back(recordAt<Record>(data, i));
    return true;
  }
  for (uint64_t i = 0; i < records; ++i) {
    Record record = recordAt<Record>(data, i);
    if (isTerminator(record)) return true;
    entries.push_back(record);
  }
  problem = "entry list of " + std::to_string(size) + " bytes has no terminating record";
  entries.clear();
  return false;
}

std::string wideText(const spi::WideChar* field, size_t count) {
  size_t length = 0;
  while (length < count && field[length] != 0) ++length;
  cli::WideString wide;
  for (size_t i = 0; i < length; ++i) wide.push_back(static_cast<WCHAR>(field[i]));
  return cli::utf8FromWide(wide);
}

template <typename Record>
Member commonFields(const Record& record) {
  Member member;
  member.method = recordText(record.method, sizeof record.method);
  member.position = record.position;
  member.compsize = record.compsize;
  member.filesize = record.filesize;
  member.timestamp = static_cast<int64_t>(record.timestamp);
  member.crc = record.crc;
  return member;
}

// Year, month and day of a day count since 1970-01-01 in the proleptic Gregorian calendar
// (eras of 400 years, each of 146097 days, counted from 0000-03-01).
void civilDate(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t dayOfEra = z - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // March = 0
  day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

Member memberOf(const spi::ArchiveEntryInfo& record) {
  Member member = commonFields(record);
  member.path = cli::utf8FromAnsi(recordText(record.path, sizeof record.path));
  member.filename = cli::utf8FromAnsi(recordText(record.filename, sizeof record.filename));
  return member;
}

Member memberOf(const spi::ArchiveEntryInfoW& record) {
  Member member = commonFields(record);
  member.path = wideText(record.path, sizeof record.path / sizeof record.path[0]);
  member.filename = wideText(record.filename, sizeof record.filename / sizeof record.filename[0]);
  return member;
}

bool readEntryList(const uint8_t* data, uint64_t size, bool lengthFromSize, std::vector<spi::ArchiveEntryInfo>& entries,
                   std::string& problem) {
  return readRecords(data, size, lengthFromSize, entries, problem);
}

bool readEntryList(const uint8_t* data, uint64_t size, bool lengthFromSize, std::vector<spi::ArchiveEntryInfoW>& entries,
                   std::string& problem) {
  return readRecords(data, size, lengthFromSize, entries, problem);
}

std::string recordText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

std::string formatTimestamp(int64_t seconds) {
  if (seconds == 0) return "-";
  int64_t days = seconds / kSecondsPerDay;
  int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  civilDate(days, year, month, day);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02u:%02u:%02u", static_cast<long long>(year), month, day,
                static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
                static_cast<unsigned>(rest % 60));
  return text;
}

std::string entryHeading() {
  char text[120];
  std::snprintf(text, sizeof text, "%10s %10s %10s  %-19s  %-8s %-8s %s", "position", "compsize", "filesize",
                "timestamp", "crc", "method", "path name");
  return text;
}

std::string entryLine(const spi::ArchiveEntryInfo& entry) { return entryLine(memberOf(entry)); }

std::string entryLine(const Member& entry) {
  char text[120];
  std::snprintf(text, sizeof text, "%10llu %10llu %10llu  %-19s  %08x %-8s ",
                static_cast<unsigned long long>(entry.position), static_cast<unsigned long long>(entry.compsize),
                static_cast<unsigned long long>(entry.filesize),
                formatTimestamp(entry.timestamp).c_str(), static_cast<unsigned>(entry.crc), entry.method.c_str());
  return text + (entry.path.empty() ? std::string("-") : entry.path) + " " + entry.filename;
}

}  // namespace spihost
