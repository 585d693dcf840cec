// Entry lists as the host reads them, and how it prints a member.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/spihost/entry_list.h"

namespace {

spi::ArchiveEntryInfo record(const char* method, uint32_t position, const char* name) {
  spi::ArchiveEntryInfo r;
  std::memset(&r, 0, sizeof r);
  std::strncpy(r.method, method, sizeof r.method);
  r.position = position;
  std::strncpy(r.filename, name, sizeof r.filename - 1);
  return r;
}

std::vector<uint8_t> block(const std::vector<spi::ArchiveEntryInfo>& records, size_t extraBytes = 0) {
  std::vector<uint8_t> out(records.size() * sizeof(spi::ArchiveEntryInfo) + extraBytes, 0xCD);
  if (!records.empty()) std::memcpy(out.data(), records.data(), records.size() * sizeof records[0]);
  return out;
}

TEST(SpihostEntryList, TimestampsInUtc) {
  struct Case {
    int64_t seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, "-"},  // no time stamp
      {1, "1970-01-01 00:00:01"},
      {-1, "1969-12-31 23:59:59"},
      {951782400, "2000-02-29 00:00:00"},  // leap day of a century divisible by 400
      {1000000000, "2001-09-09 01:46:40"},
      {2147483647, "2038-01-19 03:14:07"},
      {-2147483647 - 1, "1901-12-13 20:45:52"},
      {4107542400, "2100-03-01 00:00:00"}, {4107456000, "2100-02-28 00:00:00"},  // 2100 has no 29 February
  };
  for (const Case& test : cases) EXPECT_EQ(spihost::formatTimestamp(test.seconds), test.text) << test.seconds;
}

TEST(SpihostEntryList, ReadUpToTheTerminator) {
  const spi::ArchiveEntryInfo a = record("PPLGGD", 50, "A.BMP");
  const spi::ArchiveEntryInfo b = record("PPLGGD", 150, "B");
  const spi::ArchiveEntryInfo end = record("", 0, "");
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool lengthFromSize;
    bool ok;
    size_t count;
  };
  const Case cases[] = {
      {"two members and the terminator", block({a, b, end}), false, true, 2},
      {"the same by size", block({a, b, end}), true, true, 2},
      {"only the terminator", block({end}), false, true, 0},
      {"only the terminator, by size", block({end}), true, true, 0},
      {"bytes after the terminator are not read", block({a, end}, 100), false, true, 1},
      {"by size, a trailing part record is ignored", block({a, end}, 100), true, true, 1},
      {"no terminator", block({a, b}), false, false, 0},
      {"no terminator at the end of the block", block({a, b}), true, false, 0},
      {"an early terminator ends the list", block({a, end, b, end}), false, true, 1},
      {"by size, the block's length counts", block({a, end, b, end}), true, true, 3},
      {"empty block", block({}), false, false, 0},
      {"empty block, by size", block({}), true, false, 0},
      {"part of a record", block({}, 427), false, false, 0},
  };
  for (const Case& test : cases) {
    std::vector<spi::ArchiveEntryInfo> entries;
    std::string problem;
    EXPECT_EQ(spihost::readEntryList(test.bytes.data(), test.bytes.size(), test.lengthFromSize, entries, problem),
              test.ok)
        << test.what;
    EXPECT_EQ(entries.size(), test.count) << test.what;
    EXPECT_EQ(problem.empty(), test.ok) << test.what;
  }
}

TEST(SpihostEntryList, LineOfAMemberStaysInsideItsFields) {
  spi::ArchiveEntryInfo full = record("Zyx-MGX", 3, "");
  std::memset(full.method, 'M', sizeof full.method);      // no terminator
  std::memset(full.filename, 'n', sizeof full.filename);  // no terminator
  std::memset(full.path, 'p', sizeof full.path);
  full.crc = 0x1234ABCD;
  std::string line = spihost::entryLine(full);
  EXPECT_NE(line.find("MMMMMMMM "), std::string::npos);
  EXPECT_NE(line.find(std::string(200, 'p') + " " + std::string(200, 'n')), std::string::npos);
  EXPECT_EQ(line.size(), line.find(std::string(200, 'n')) + 200);  // the name field, and nothing after it
  EXPECT_NE(line.find("1234abcd"), std::string::npos);

  spi::ArchiveEntryInfo plain = record("PPLGGD", 50, "A.BMP");
  plain.compsize = plain.filesize = 100;
  EXPECT_EQ(spihost::entryLine(plain), "        50        100        100  -                    00000000 PPLGGD   - A.BMP");
}

}  // namespace
