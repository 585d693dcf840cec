#include "mgx_plugin/archive_reader.h"

#include <cstring>
#include <new>

ArchiveReader::~ArchiveReader() { delete[] archiveName_; }

int32_t ArchiveReader::open(const char* name) {
  close();
  if (name == nullptr) return spi::kReadError;
  size_t length = std::strlen(name);
  archiveName_ = new (std::nothrow) char[length + 1];
  if (archiveName_ == nullptr) return spi::kNoMemory;
  std::memcpy(archiveName_, name, length + 1);
  int32_t result = openArchive();
  if (result != spi::kSuccess) close();
  return result;
}

void ArchiveReader::close() {
  if (archiveName_ == nullptr) return;
  closeArchive();
  delete[] archiveName_;
  archiveName_ = nullptr;
}
