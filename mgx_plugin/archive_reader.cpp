#include "mgx_plugin/archive_reader.h"

namespace durnac {

ArchiveReader::~ArchiveReader() = default;

int32_t ArchiveReader::open(const support::FileName& name, Directory directory) {
  close();
  directory_ = directory;
  if (name.isNull()) return spi::kReadError;
  if (!archiveName_.assign(name)) return spi::kNoMemory;
  int32_t result = openArchive();
  if (result != spi::kSuccess) close();
  return result;
}

void ArchiveReader::close() {
  if (archiveName_.empty()) return;
  closeArchive();
  archiveName_.clear();
}

}  // namespace durnac
