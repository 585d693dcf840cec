// MgxReader: the ArchiveReader of MGX archives (layout in mgx_format.h). It keeps the
// header in memory for its life, and the whole directory too when opened for it; opened on
// demand it reads one 20-byte entry where a call asks for it and keeps the last one. A
// member is read with one seek and one read straight into the caller's buffer.
#pragma once

#include <cstdint>

#include "mgx_plugin/archive_reader.h"
#include "mgx_plugin/mgx_format.h"

namespace durnac {

class MgxReader : public ArchiveReader {
 public:
  MgxReader() = default;
  ~MgxReader() override;

  int32_t probe(support::Stream& input) override;
  uint32_t entryCount() override { return header_.entryCount; }
  int32_t entryInfo(uint32_t index, spi::ArchiveEntryInfo* info) override;
  int32_t findEntry(const NameMatch& wanted, spi::ArchiveEntryInfo* info) override;
  int32_t checkMember(uint32_t index) override;
  int32_t extract(uint32_t index, uint8_t* buffer, uint32_t count) override;

 protected:
  int32_t openArchive() override;
  void closeArchive() override;

  // Opens the archive file for reading and hands the stream over (0), or answers 4 when the
  // stream cannot be made and 6 when the file cannot be opened. Tests and the fuzz harness
  // put a memory stream here instead of a file.
  virtual int32_t openArchiveStream(const support::FileName& name, support::Stream*& opened);

 private:
  int32_t readHeaderAndDirectory();
  // Member `index`'s entry, from the directory in memory or from the file: 0, or 6 when
  // it cannot be read. The index must be below the count.
  int32_t readEntry(uint32_t index, mgx::MgxEntry& entry);
  static void fillRecord(uint32_t index, const mgx::MgxEntry& entry, spi::ArchiveEntryInfo* info);

  support::Stream* stream_ = nullptr;  // owned
  mgx::MgxHeader header_{};
  uint64_t fileSize_ = 0;              // the whole archive file, in 64 bits
  mgx::MgxEntry* entries_ = nullptr;   // owned, header_.entryCount records as stored, or none
  // The entry read last when the directory is taken in on demand; kNoEntry when none is.
  static constexpr uint32_t kNoEntry = 0xFFFFFFFF;
  uint32_t lastIndex_ = kNoEntry;
  mgx::MgxEntry lastEntry_{};
};

}  // namespace durnac
