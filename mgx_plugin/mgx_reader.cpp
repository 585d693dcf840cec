#include "mgx_plugin/mgx_reader.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace {

// What every listed member reports as its storage method, terminator included.
constexpr char kMethod[8] = "Zyx-MGX";
static_assert(sizeof(kMethod) == sizeof(spi::ArchiveEntryInfo::method), "method fills its field");

// A stream reports counts as signed 32-bit values, so long reads go in pieces of this size.
constexpr uint32_t kReadPiece = 0x40000000;

// The one way archive bytes come in: true only when all `count` bytes arrived. A short
// read is never passed on as data.
bool readExactly(support::Stream& input, uint8_t* dst, uint64_t count) {
  while (count > 0) {
    uint32_t piece = count < kReadPiece ? static_cast<uint32_t>(count) : kReadPiece;
    int32_t got = input.read(dst, piece);
    if (got < 0 || static_cast<uint32_t>(got) != piece) return false;
    dst += piece;
    count -= piece;
  }
  return true;
}

// Positions the stream at an absolute offset, in 64 bits: an archive may be larger than a
// signed 32-bit position can name.
bool seekTo(support::Stream& input, uint64_t offset) { return input.seek64(offset) == static_cast<int64_t>(offset); }

}  // namespace

namespace mgx {

bool headerAccepted(const MgxHeader& header) {
  return std::memcmp(header.magic, kMagic, sizeof kMagic) == 0 && header.entryCount != 0 &&
         header.dataStart == directoryEnd(header.entryCount) && header.directoryStart == kDirectoryStart;
}

}  // namespace mgx

namespace durnac {

MgxReader::~MgxReader() { closeArchive(); }

int32_t MgxReader::probe(support::Stream& input) {
  mgx::MgxHeader header;
  if (!seekTo(input, 0) || !readExactly(input, reinterpret_cast<uint8_t*>(&header), sizeof header)) return 0;
  return mgx::headerAccepted(header) ? 1 : 0;
}

int32_t MgxReader::openArchive() {
  int32_t result = openArchiveStream(archiveName(), stream_);
  if (result != spi::kSuccess) return result;
  return readHeaderAndDirectory();
}

int32_t MgxReader::openArchiveStream(const support::FileName& name, support::Stream*& opened) {
  opened = name.createStream();
  if (opened == nullptr) return spi::kNoMemory;
  return opened->openRead(name.address(), 0) == 0 ? spi::kSuccess : spi::kReadError;
}

// The header is not tested again: the exports open only files that probe accepted. The
// count is still checked against the file's size, so that a damaged count can never make
// the reader allocate, or claim, a directory larger than the file that should hold it; that
// check holds whether the directory is read now or entry by entry later.
int32_t MgxReader::readHeaderAndDirectory() {
  if (!seekTo(*stream_, 0) || !readExactly(*stream_, reinterpret_cast<uint8_t*>(&header_), sizeof header_)) {
    return spi::kReadError;
  }
  int64_t reported = stream_->size64();
  if (reported < 0) return spi::kReadError;
  fileSize_ = static_cast<uint64_t>(reported);
  uint64_t directoryEnd = mgx::directoryEnd(header_.entryCount);
  if (directoryEnd > fileSize_) return spi::kReadError;
  if (directoryUse() == Directory::kOnDemand) return spi::kSuccess;
  uint64_t directoryBytes = directoryEnd - mgx::kHeaderSize;
  if (directoryBytes > SIZE_MAX) return spi::kNoMemory;
  entries_ = new (std::nothrow) mgx::MgxEntry[header_.entryCount];
  if (entries_ == nullptr) return spi::kNoMemory;
  // The directory is always read from offset 32, right after the header.
  if (!readExactly(*stream_, reinterpret_cast<uint8_t*>(entries_), directoryBytes)) return spi::kReadError;
  return spi::kSuccess;
}

void MgxReader::closeArchive() {
  delete stream_;
  stream_ = nullptr;
  delete[] entries_;
  entries_ = nullptr;
  header_ = mgx::MgxHeader{};
  fileSize_ = 0;
  lastIndex_ = kNoEntry;
}

int32_t MgxReader::readEntry(uint32_t index, mgx::MgxEntry& entry) {
  if (entries_ != nullptr) {
    entry = entries_[index];
    return spi::kSuccess;
  }
  if (index != lastIndex_) {
    lastIndex_ = kNoEntry;
    if (!seekTo(*stream_, mgx::directoryEnd(index)) ||
        !readExactly(*stream_, reinterpret_cast<uint8_t*>(&lastEntry_), sizeof lastEntry_)) {
      return spi::kReadError;
    }
    lastIndex_ = index;
  }
  entry = lastEntry_;
  return spi::kSuccess;
}

// Writes only the fields of the record that describe a member (and, on 64-bit Windows, the
// padding at its end); the rest of the host's record stays as the host left it.
void MgxReader::fillRecord(uint32_t index, const mgx::MgxEntry& entry, spi::ArchiveEntryInfo* info) {
  std::memcpy(info->method, kMethod, sizeof kMethod);
  info->position = index;
  info->compsize = entry.size;
  info->filesize = entry.size;
  info->timestamp = 0;
  info->path[0] = '\0';
  // A 12-character name fills its field without a NUL; the copy always ends with one.
  uint32_t length = 0;
  while (length < mgx::kNameLength && entry.name[length] != '\0') {
    info->filename[length] = entry.name[length];
    ++length;
  }
  std::memset(info->filename + length, 0, mgx::kNameLength + 1 - length);
  info->crc = 0;
#if defined(_WIN64)
  info->padding = 0;  // hosts step through arrays by the record's size; its tail is zero
#endif
}

int32_t MgxReader::entryInfo(uint32_t index, spi::ArchiveEntryInfo* info) {
  if (index >= entryCount()) return spi::kInternalError;
  mgx::MgxEntry entry;
  int32_t result = readEntry(index, entry);
  if (result == spi::kSuccess) fillRecord(index, entry, info);
  return result;
}

// Linear and in directory order, so the first of two equal names always wins. When nothing
// matches, the record keeps the last member's values.
int32_t MgxReader::findEntry(const NameMatch& wanted, spi::ArchiveEntryInfo* info) {
  for (uint32_t index = 0; index < entryCount(); ++index) {
    int32_t result = entryInfo(index, info);
    if (result != spi::kSuccess) return result;
    if (wanted.matches(info->filename)) return spi::kSuccess;
  }
  return spi::kUnknownFormat;
}

// Offset and size are 32-bit each, so their sum is exact in 64 bits. An empty member has
// nothing to read, wherever it claims to lie.
int32_t MgxReader::checkMember(uint32_t index) {
  if (index >= entryCount()) return spi::kInternalError;
  mgx::MgxEntry entry;
  int32_t result = readEntry(index, entry);
  if (result != spi::kSuccess || entry.size == 0) return result;
  return uint64_t{entry.offset} + entry.size <= fileSize_ ? spi::kSuccess : spi::kReadError;
}

// A member whose bytes run past the end of the file answers 6, also when the file shrank
// after it was opened: the caller never gets a buffer only partly filled from the archive.
int32_t MgxReader::extract(uint32_t index, uint8_t* buffer, uint32_t count) {
  int32_t fits = checkMember(index);
  if (fits != spi::kSuccess || count == 0) return fits;
  mgx::MgxEntry entry;
  readEntry(index, entry);  // kept in memory by checkMember
  if (!seekTo(*stream_, entry.offset)) return spi::kReadError;
  return readExactly(*stream_, buffer, count) ? spi::kSuccess : spi::kReadError;
}

}  // namespace durnac
