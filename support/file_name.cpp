#include "support/file_name.h"

#include <cstring>
#include <new>

#include "support/streams.h"

namespace support {

namespace {

// A new array holding the `length` characters at `text` and a terminator; null when memory
// is short.
template <typename Char>
Char* duplicate(const Char* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  Char* copy = new (std::nothrow) Char[length + 1];
  if (copy != nullptr) std::memcpy(copy, text, (length + 1) * sizeof(Char));
  return copy;
}

}  // namespace

Stream* FileName::createStream() const {
  return wide_ ? WideFileStreamFactory().create() : FileStreamFactory().create();
}

int32_t FileName::openRead(Stream** out) const {
  *out = nullptr;
  Stream* stream = createStream();
  if (stream == nullptr) return spi::kNoMemory;
  // A null name is refused by the stream itself, as a name that names no file.
  if (stream->openRead(address(), 0) != 0) {
    delete stream;
    return spi::kReadError;
  }
  *out = stream;
  return spi::kSuccess;
}

bool FileNameCopy::assign(const FileName& name) {
  clear();
  if (name.isWide()) {
    if (name.utf16() != nullptr) wide_ = duplicate(name.utf16());
  } else if (name.ansi() != nullptr) {
    ansi_ = duplicate(name.ansi());
  }
  return !empty();
}

void FileNameCopy::clear() {
  delete[] ansi_;
  ansi_ = nullptr;
  delete[] wide_;
  wide_ = nullptr;
}

FileName FileNameCopy::name() const {
  if (wide_ != nullptr) return FileName(static_cast<const spi::WideChar*>(wide_));
  return FileName(static_cast<const char*>(ansi_));
}

}  // namespace support
