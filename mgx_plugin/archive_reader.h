// The reader of one archive file, as the archive exports drive it. One object serves one
// export call: made closed, opened once on a file name, asked for entries or member bytes,
// destroyed. The format classes derive from it and are numbered by ArchiveRegistry.
//
// Records are filled in the ANSI form (member names in the system's code page); the Unicode
// exports convert them (wide_records.h), so a reader is written once for both families.
#pragma once

#include <cstdint>

#include "plugin_api/plugin_api.h"
#include "support/file_name.h"
#include "support/stream.h"

namespace durnac {

class ArchiveReader {
 public:
  // Decides whether a member is the one a caller asks for, by its stored name (NUL-
  // terminated, in the system's code page). The rule is the caller's: exact or folding
  // case, and in which character family the names are compared.
  class NameMatch {
   public:
    virtual ~NameMatch() = default;
    virtual bool matches(const char* storedName) const = 0;
  };

  ArchiveReader() = default;
  virtual ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // 1 when the stream holds this reader's format, else 0. The stream stays the caller's and
  // is left positioned after the bytes read; the reader need not be open.
  virtual int32_t probe(support::Stream& input) = 0;

  // The operations below are only called on an open reader. Each answers a code of the
  // plug-in contract.
  virtual uint32_t entryCount() = 0;
  // Fills `info` for member `index`; 8 for an index outside the archive, 6 when its entry
  // cannot be read.
  virtual int32_t entryInfo(uint32_t index, spi::ArchiveEntryInfo* info) = 0;
  // Fills `info` for the first member in directory order that `wanted` matches and answers
  // 0, or answers 2 when none does (`info` then holds the last member's values).
  virtual int32_t findEntry(const NameMatch& wanted, spi::ArchiveEntryInfo* info) = 0;
  // 0 when every byte of member `index` lies inside the archive file, 6 when some do not, 8
  // for an index outside the archive. Cheap: callers ask before they allocate the member's
  // room, so a size that the file cannot hold costs nothing.
  virtual int32_t checkMember(uint32_t index) = 0;
  // Copies `count` bytes of member `index` into `buffer`; 8 for an index outside the
  // archive, 6 when the bytes cannot all be read.
  virtual int32_t extract(uint32_t index, uint8_t* buffer, uint32_t count) = 0;

  // How much of the directory an opening takes in: all of it at once, for a listing or a
  // search that visits every member; or each entry only when a call asks for it, for the
  // extraction of one member, whose cost then does not grow with the archive.
  enum class Directory { kWhole, kOnDemand };

  // Closes whatever was open, keeps a copy of `name` (ANSI or UTF-16) and opens that
  // archive. On any non-zero answer the reader ends closed, with everything it acquired
  // released.
  int32_t open(const support::FileName& name, Directory directory = Directory::kWhole);
  // Releases what open acquired; nothing happens on a closed reader.
  void close();

 protected:
  // The format's own opening of the file named by archiveName(), and its undoing.
  virtual int32_t openArchive() = 0;
  virtual void closeArchive() = 0;

  support::FileName archiveName() const { return archiveName_.name(); }
  Directory directoryUse() const { return directory_; }

 private:
  support::FileNameCopy archiveName_;  // empty while closed
  Directory directory_ = Directory::kWhole;
};

}  // namespace durnac
