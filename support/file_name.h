// The name of a file as an export received it: in the ANSI code page from the "A" exports,
// in UTF-16 from their "W" twins. Code that only hands a name on to the file calls is
// written once over FileName; the name is opened by the file call of its own family, so a
// UTF-16 name that the code page cannot spell still opens.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin_api/plugin_api.h"
#include "support/stream.h"

namespace support {

// A view of a name; it owns nothing. A null name opens nothing.
class FileName {
 public:
  FileName() = default;
  FileName(std::nullptr_t) {}
  FileName(const char* ansi) : chars_(ansi) {}
  FileName(const spi::WideChar* utf16) : chars_(utf16), wide_(true) {}

  bool isNull() const { return chars_ == nullptr; }
  bool isWide() const { return wide_; }
  const char* ansi() const { return wide_ ? nullptr : static_cast<const char*>(chars_); }
  const spi::WideChar* utf16() const { return wide_ ? static_cast<const spi::WideChar*>(chars_) : nullptr; }
  // The characters' address, as a file stream's `source` takes it.
  uintptr_t address() const { return reinterpret_cast<uintptr_t>(chars_); }

  // A new file stream that opens names of this family (a FileStream or a WideFileStream),
  // not yet opened; null when memory is short.
  Stream* createStream() const;
  // Opens the file for reading: spi::kSuccess with the open stream in `*out` (the caller
  // deletes it); otherwise `*out` is null and the answer is spi::kNoMemory, or
  // spi::kReadError for a null name or a file that cannot be opened.
  int32_t openRead(Stream** out) const;

 private:
  const void* chars_ = nullptr;
  bool wide_ = false;
};

// An owned copy of a name, of either family.
class FileNameCopy {
 public:
  FileNameCopy() = default;
  ~FileNameCopy() { clear(); }
  FileNameCopy(const FileNameCopy&) = delete;
  FileNameCopy& operator=(const FileNameCopy&) = delete;

  // Replaces the copy with one of `name`, terminator included. False, holding nothing, for
  // a null name or when memory is short.
  bool assign(const FileName& name);
  void clear();
  bool empty() const { return ansi_ == nullptr && wide_ == nullptr; }
  // The copy; a null name while empty.
  FileName name() const;

 private:
  char* ansi_ = nullptr;
  spi::WideChar* wide_ = nullptr;
};

}  // namespace support
