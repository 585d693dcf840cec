// MgxReader over archives held in memory: the format test, the directory, the records it
// writes, search by name and extraction, with damaged archives beside sound ones.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "mgx_plugin/archive_registry.h"
#include "mgx_plugin/member_names.h"
#include "mgx_plugin/mgx_reader.h"
#include "support/streams.h"
#include "tests/common/temp_folder.h"
#include "tests/durnac/largest_allocation.h"
#include "tests/durnac/mgx_bytes.h"

using durnac::ArchiveReader;
using durnac::MgxReader;
using durnac::WantedName;
using durnac::identifyArchive;
using mgx_test::Bytes;
using mgx_test::concat;
using mgx_test::entry;
using mgx_test::header;

namespace {

// An MgxReader that reads the given bytes instead of a file.
class MemoryMgxReader : public MgxReader {
 public:
  explicit MemoryMgxReader(Bytes bytes) : bytes_(std::move(bytes)) {}

 protected:
  int32_t openArchiveStream(const support::FileName&, support::Stream*& opened) override {
    opened = support::MemoryStreamFactory().create();
    if (opened == nullptr) return spi::kNoMemory;
    opened->openRead(reinterpret_cast<uintptr_t>(bytes_.data()), static_cast<uint32_t>(bytes_.size()));
    return spi::kSuccess;
  }

 private:
  Bytes bytes_;
};

int32_t probeBytes(const Bytes& bytes) {
  support::MemoryStream stream;
  stream.openRead(reinterpret_cast<uintptr_t>(bytes.data()), static_cast<uint32_t>(bytes.size()));
  return identifyArchive(nullptr, &stream);
}

// A record the host filled with 0xAA, so the bytes the reader must leave alone show.
spi::ArchiveEntryInfo hostRecord() {
  spi::ArchiveEntryInfo record;
  std::memset(&record, 0xAA, sizeof record);
  return record;
}

// Three members stored out of directory order, to show that `position` is the index.
Bytes threeMembers() {
  Bytes third = entry("third", 103, 0);    // size 0 at the very end of the file
  std::memcpy(&third[6], "junk", 4);       // after the name's NUL: not part of the name
  return concat({
      header(3, 92),
      entry("ABCDEFGHIJKL", 100, 3),       // 12 characters, no NUL; stored after the second
      entry("second.bin", 92, 8),
      third,
      mgx_test::bytesOf("01234567"), mgx_test::bytesOf("abc"),
  });
}

}  // namespace

TEST(MgxReaderTest, FormatTestAcceptsOnlySoundHeaders) {
  Bytes ffFree = header(1, 52);
  for (int i = 16; i < 28; ++i) ffFree[i] = 0xFF;
  Bytes badMagic = header(1, 52);
  badMagic[7] = '1';
  const struct {
    const char* what;
    Bytes bytes;
    int32_t accepted;
  } cases[] = {
      {"one entry", header(1, 52), 1},
      {"count 0, even with dataStart 32", header(0, 32), 0},
      {"dataStart one too large", header(1, 53), 0},
      {"dataStart one too small", header(1, 51), 0},
      {"directoryStart 33", header(1, 52, 33), 0},
      {"magic ending in 1", badMagic, 0},
      {"bytes 16-27 hold anything", ffFree, 1},
      {"largest count, dataStart 0xFFFFFFFC", header(214748363, 0xFFFFFFFCu), 1},
      // 32 + 20 x 214748364 wraps to 16 in 32 bits; the test does not wrap.
      {"count one past the largest, wrapped dataStart", header(214748364, 16), 0},
      {"empty file", Bytes(), 0},
      {"one byte", Bytes(1, 'S'), 0},
      {"31 bytes of a sound header", mgx_test::prefix(header(1, 52), 31), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(probeBytes(c.bytes), c.accepted) << c.what;
}

TEST(MgxReaderTest, RecordsDescribeMembersByIndex) {
  MemoryMgxReader reader(threeMembers());
  ASSERT_EQ(reader.open("three.mgx"), spi::kSuccess);
  ASSERT_EQ(reader.entryCount(), 3u);
  const struct {
    const char* name;
    uint32_t size;
  } expected[] = {{"ABCDEFGHIJKL", 3}, {"second.bin", 8}, {"third", 0}};
  for (uint32_t i = 0; i < 3; ++i) {
    spi::ArchiveEntryInfo record = hostRecord();
    ASSERT_EQ(reader.entryInfo(i, &record), spi::kSuccess);
    EXPECT_EQ(std::memcmp(record.method, "Zyx-MGX", 8), 0);
    EXPECT_EQ(record.position, i);
    EXPECT_EQ(record.compsize, expected[i].size);
    EXPECT_EQ(record.filesize, expected[i].size);
    EXPECT_EQ(record.timestamp, 0);
    EXPECT_EQ(record.crc, 0u);
    EXPECT_STREQ(record.filename, expected[i].name);
    for (size_t b = std::strlen(expected[i].name); b <= 12; ++b) EXPECT_EQ(record.filename[b], 0) << b;
    // Only the first byte of `path` and bytes 0-12 of `filename` are the reader's.
    EXPECT_EQ(record.path[0], 0);
    EXPECT_EQ(static_cast<uint8_t>(record.path[1]), 0xAA);
    EXPECT_EQ(static_cast<uint8_t>(record.filename[13]), 0xAA);
  }
  spi::ArchiveEntryInfo untouched = hostRecord();
  spi::ArchiveEntryInfo record = hostRecord();
  EXPECT_EQ(reader.entryInfo(3, &record), spi::kInternalError);
  EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0);
}

// A member that the file cannot hold in full is refused, not handed over half-filled.
TEST(MgxReaderTest, MembersOutsideTheFileAreRefused) {
  const struct {
    const char* what;
    uint32_t offset;
    uint32_t size;
    int32_t result;
  } cases[] = {
      {"inside", 52, 4, spi::kSuccess},
      {"inside, from its middle", 53, 3, spi::kSuccess},
      {"one byte past the end", 53, 4, spi::kReadError},
      {"starting at the end", 56, 1, spi::kReadError},
      {"far past the end", 100000, 1, spi::kReadError},
      {"beyond a signed 32-bit seek", 0x80000000u, 1, spi::kReadError},
      {"the largest offset, size 0", 0xFFFFFFFFu, 0, spi::kSuccess},
      {"the largest size", 52, 0xFFFFFFFFu, spi::kReadError},
      {"offset plus size past 32 bits", 0xFFFFFFF0u, 0x20, spi::kReadError},
  };
  for (const auto& c : cases) {
    MemoryMgxReader reader(concat({header(1, 52), entry("m", c.offset, c.size), mgx_test::bytesOf("DATA")}));
    ASSERT_EQ(reader.open("one.mgx"), spi::kSuccess) << c.what;
    // Asked first, as a caller does before it allocates room for the member.
    EXPECT_EQ(reader.checkMember(0), c.result) << c.what;
    uint8_t buffer[4] = {};
    EXPECT_EQ(reader.extract(0, buffer, c.size <= 4 ? c.size : 4), c.result) << c.what;
    if (c.result == spi::kSuccess && c.size > 0) {
      EXPECT_EQ(std::memcmp(buffer, &"DATA"[c.offset - 52], c.size), 0) << c.what;
    }
    EXPECT_EQ(reader.extract(1, buffer, 1), spi::kInternalError) << c.what;
    EXPECT_EQ(reader.checkMember(1), spi::kInternalError) << c.what;
  }
}

TEST(MgxReaderTest, OpeningFailsOnShortOrImpossibleDirectories) {
  const struct {
    const char* what;
    Bytes bytes;
    int32_t result;
  } cases[] = {
      {"sound", concat({header(1, 52), entry("m", 52, 0)}), spi::kSuccess},
      {"no bytes", Bytes(), spi::kReadError},
      {"short header", mgx_test::prefix(header(1, 52), 20), spi::kReadError},
      {"directory one byte short", concat({header(2, 72), entry("a", 0, 0), Bytes(19, 0)}), spi::kReadError},
      {"count far beyond the file", header(200000000, 0), spi::kReadError},
      {"largest count", header(214748363, 0xFFFFFFFCu), spi::kReadError},
      {"all bits of the count", header(0xFFFFFFFFu, 0), spi::kReadError},
  };
  // Read whole or entry by entry, a directory that the file cannot hold is refused alike.
  for (auto directory : {ArchiveReader::Directory::kWhole, ArchiveReader::Directory::kOnDemand}) {
    for (const auto& c : cases) {
      MemoryMgxReader reader(c.bytes);
      mgx_test::resetLargestAllocation();
      EXPECT_EQ(reader.open("damaged.mgx", directory), c.result) << c.what;
      // The directory is never allocated larger than the file that should hold it.
      EXPECT_LE(mgx_test::largestAllocation(), c.bytes.size() + 65536) << c.what;
    }
  }
}

// Opened on demand, the reader answers every question as the whole directory does, in any
// order of members, without ever allocating room for the directory.
TEST(MgxReaderTest, OnDemandOpeningAnswersAsTheWholeDirectory) {
  std::vector<mgx_writer::Member> members;
  for (int i = 0; i < 5000; ++i) members.push_back({"m" + std::to_string(i), Bytes(i % 7, static_cast<uint8_t>(i))});
  Bytes bytes = mgx_test::archive(members);
  mgx_test::putU32(bytes, 32 + 20 * 4321 + 16, 0xFFFFFF00u);  // one member the file cannot hold
  MemoryMgxReader whole(bytes);
  MemoryMgxReader onDemand(bytes);
  ASSERT_EQ(whole.open("many.mgx"), spi::kSuccess);
  mgx_test::resetLargestAllocation();
  ASSERT_EQ(onDemand.open("many.mgx", ArchiveReader::Directory::kOnDemand), spi::kSuccess);
  for (uint32_t index : {0u, 1u, 4999u, 2500u, 2500u, 4321u, 4998u, 0u, 5000u}) {
    spi::ArchiveEntryInfo expected = hostRecord();
    spi::ArchiveEntryInfo got = hostRecord();
    ASSERT_EQ(onDemand.entryInfo(index, &got), whole.entryInfo(index, &expected)) << index;
    EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << index;
    ASSERT_EQ(onDemand.checkMember(index), whole.checkMember(index)) << index;
    uint8_t fromWhole[8] = {};
    uint8_t fromOnDemand[8] = {};
    uint32_t count = index < 5000 && index != 4321 ? index % 7 : 1;
    EXPECT_EQ(onDemand.extract(index, fromOnDemand, count), whole.extract(index, fromWhole, count)) << index;
    EXPECT_EQ(std::memcmp(fromOnDemand, fromWhole, sizeof fromWhole), 0) << index;
  }
  EXPECT_LT(mgx_test::largestAllocation(), 20u * 5000) << "the directory was allocated";
  spi::ArchiveEntryInfo record = hostRecord();
  EXPECT_EQ(onDemand.findEntry(WantedName<char>("m4000", false), &record), spi::kSuccess);
  EXPECT_EQ(record.position, 4000u);
}

TEST(MgxReaderTest, OpeningAMissingFileFails) {
  testing_support::TempFolder folder;
  MgxReader reader;
  EXPECT_EQ(reader.open(folder.path("missing.mgx").c_str()), spi::kReadError);
  EXPECT_EQ(reader.open(nullptr), spi::kReadError);
  EXPECT_EQ(identifyArchive(folder.path("missing.mgx").c_str(), nullptr), 0);
}

TEST(MgxReaderTest, ReopeningReadsTheNewArchive) {
  testing_support::TempFolder folder;
  folder.write("a.mgx", mgx_test::text(mgx_test::archive({{"alpha", {1, 2}}})));
  folder.write("b.mgx", mgx_test::text(mgx_test::archive({{"b1", {}}, {"b2", {9}}})));
  MgxReader reader;
  ASSERT_EQ(reader.open(folder.path("a.mgx").c_str()), spi::kSuccess);
  EXPECT_EQ(reader.entryCount(), 1u);
  ASSERT_EQ(reader.open(folder.path("b.mgx").c_str()), spi::kSuccess);
  EXPECT_EQ(reader.entryCount(), 2u);
  uint8_t byte = 0;
  EXPECT_EQ(reader.extract(1, &byte, 1), spi::kSuccess);
  EXPECT_EQ(byte, 9);
  EXPECT_EQ(reader.open(folder.path("missing.mgx").c_str()), spi::kReadError);
  EXPECT_EQ(reader.entryCount(), 0u);  // a failed open leaves the reader closed
}
