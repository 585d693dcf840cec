// One fuzz target for Durnac's parser: the format test, the directory, the Unicode records
// and extraction of every member, over the input held in memory. Beyond "no crash", it
// checks that every extraction either delivers exactly the bytes the entry points at or
// answers 6, never a buffer only partly filled, and that a reader taking the directory in
// entry by entry answers exactly as one holding all of it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mgx_plugin/archive_registry.h"
#include "mgx_plugin/member_names.h"
#include "mgx_plugin/mgx_reader.h"
#include "mgx_plugin/wide_records.h"
#include "support/streams.h"

using durnac::ArchiveReader;
using durnac::MgxReader;
using durnac::WantedName;
using durnac::identifyArchive;
using durnac::kRecordNameChars;
using durnac::widenRecord;

namespace {

// Members are extracted up to this many bytes; longer ones cannot be in a fuzz input anyway.
constexpr uint32_t kLargestExtraction = 1 << 20;

class MemoryMgxReader : public MgxReader {
 public:
  MemoryMgxReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

 protected:
  int32_t openArchiveStream(const support::FileName&, support::Stream*& opened) override {
    opened = support::MemoryStreamFactory().create();
    if (opened == nullptr) return spi::kNoMemory;
    opened->openRead(reinterpret_cast<uintptr_t>(data_), static_cast<uint32_t>(size_));
    return spi::kSuccess;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

void check(bool holds) {
  if (!holds) std::abort();
}

// The Unicode exports' record of a member: the same numbers, a terminated name of no more
// characters than the stored name has bytes, and nothing else.
void checkWideTwin(const spi::ArchiveEntryInfo& record) {
  spi::ArchiveEntryInfoW wide;
  std::memset(&wide, 0xAA, sizeof wide);
  widenRecord(record, &wide);
  check(std::memcmp(wide.method, record.method, sizeof wide.method) == 0);
  check(wide.position == record.position && wide.filesize == record.filesize && wide.compsize == record.compsize);
  check(wide.path[0] == 0 && wide.crc == 0);
  size_t length = 0;
  while (length < kRecordNameChars && wide.filename[length] != 0) ++length;
  check(length <= std::strlen(record.filename));
  for (size_t i = length; i < kRecordNameChars; ++i) check(wide.filename[i] == 0);
}

// `onDemand` is the same archive opened to read its entries one at a time: it must answer
// every question exactly as the reader holding the whole directory.
void extractEvery(MgxReader& reader, MgxReader& onDemand, const uint8_t* data, size_t size) {
  std::vector<uint8_t> buffer;
  check(onDemand.entryCount() == reader.entryCount());
  for (uint32_t index = 0; index < reader.entryCount(); ++index) {
    // The reader writes only some bytes of a record: both start alike, so the rest compares.
    spi::ArchiveEntryInfo record;
    spi::ArchiveEntryInfo twin;
    std::memset(&record, 0xAA, sizeof record);
    std::memset(&twin, 0xAA, sizeof twin);
    check(reader.entryInfo(index, &record) == spi::kSuccess);
    check(onDemand.entryInfo(index, &twin) == spi::kSuccess);
    check(std::memcmp(&record, &twin, sizeof record) == 0);
    check(std::memchr(record.filename, 0, 13) != nullptr);
    checkWideTwin(record);
    uint32_t count = record.filesize < kLargestExtraction ? static_cast<uint32_t>(record.filesize) : kLargestExtraction;
    buffer.assign(count, 0);
    int32_t result = reader.extract(index, buffer.data(), count);
    // The member's offset, read straight from the directory the reader just listed.
    uint32_t offset;
    std::memcpy(&offset, data + mgx::kHeaderSize + static_cast<size_t>(index) * mgx::kEntrySize + 12, 4);
    bool inside = record.filesize == 0 || static_cast<uint64_t>(offset) + record.filesize <= size;
    check(result == (inside ? spi::kSuccess : spi::kReadError));
    check(reader.checkMember(index) == result && onDemand.checkMember(index) == result);
    if (result == spi::kSuccess && count > 0) check(std::memcmp(buffer.data(), data + offset, count) == 0);
  }
  spi::ArchiveEntryInfo record;
  check(reader.entryInfo(reader.entryCount(), &record) == spi::kInternalError);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  support::MemoryStream head;
  head.openRead(reinterpret_cast<uintptr_t>(data), static_cast<uint32_t>(size));
  int32_t accepted = identifyArchive(nullptr, &head);
  check(accepted == 0 || accepted == 1);

  // The directory is read whether or not the header passed, as a changed file would be.
  MemoryMgxReader reader(data, size);
  MemoryMgxReader onDemand(data, size);
  int32_t opened = reader.open("fuzz.mgx");
  check(onDemand.open("fuzz.mgx", ArchiveReader::Directory::kOnDemand) == opened);
  if (opened != spi::kSuccess) return 0;
  extractEvery(reader, onDemand, data, size);
  if (reader.entryCount() > 0) {
    spi::ArchiveEntryInfo last;
    reader.entryInfo(reader.entryCount() - 1, &last);
    spi::ArchiveEntryInfo found;
    check(reader.findEntry(WantedName<char>(last.filename, false), &found) == spi::kSuccess);
    check(std::strcmp(found.filename, last.filename) == 0 && found.position <= last.position);
  }
  return 0;
}
