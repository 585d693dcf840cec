// The reader of one archive file, as the archive exports drive it. One object serves one
// export call: made closed, opened once on a file name, asked for entries or member bytes,
// destroyed. The format classes derive from it and are numbered by ArchiveRegistry.
#pragma once

#include <cstdint>

#include "plugin_api/plugin_api.h"
#include "support/stream.h"

class ArchiveReader {
 public:
  // Compares a wanted name with a member's name; 0 when they count as equal.
  typedef int (*CompareName)(const char* wanted, const char* stored);

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
  // Fills `info` for member `index`; 8 for an index outside the archive.
  virtual int32_t entryInfo(uint32_t index, spi::ArchiveEntryInfo* info) = 0;
  // Fills `info` for the first member in directory order whose name `compare` finds equal
  // to `name` and answers 0, or answers 2 when none does.
  virtual int32_t findEntry(const char* name, CompareName compare, spi::ArchiveEntryInfo* info) = 0;
  // Copies `count` bytes of member `index` into `buffer`; 8 for an index outside the
  // archive, 6 when the bytes cannot all be read.
  virtual int32_t extract(uint32_t index, uint8_t* buffer, uint32_t count) = 0;

  // Closes whatever was open, keeps a copy of `name` and opens that archive. On any
  // non-zero answer the reader ends closed, with everything it acquired released.
  int32_t open(const char* name);
  // Releases what open acquired; nothing happens on a closed reader.
  void close();

 protected:
  // The format's own opening of the file named by archiveName(), and its undoing.
  virtual int32_t openArchive() = 0;
  virtual void closeArchive() = 0;

  const char* archiveName() const { return archiveName_; }

 private:
  char* archiveName_ = nullptr;  // owned copy; null while closed
};
