// The objects that carry one export call: its arguments, and the step that turns the
// host's (buf, len, flag) or IsSupported's `dw` into an open stream.
//
// Order inside an image export: InputArgs (or PictureArgs) on the stack, openInput, the
// registry's identify and create, attach, getInfo / getPalette / decode, then delete the
// decoder and the stream, in either order.
#pragma once

#include <cstdint>

#include "plugin_api/plugin_api.h"
#include "support/file_name.h"
#include "support/stream.h"

namespace support {

// IsSupported's `dw`, when it is an address, points at the file's first bytes; a probe
// reads no further than this into it.
constexpr uint32_t kProbeHeadBytes = 1024;

// The export's first three arguments. It owns nothing.
class InputArgs {
 public:
  // `source`: a file name in the ANSI code page or the address of the data; `length`: the
  // start offset in the file, or the size of the data; `flags`: the export's flag.
  InputArgs(const void* source, intptr_t length, uint32_t flags)
      : source_(source), length_(length), flags_(flags) {}
  // The same for a Unicode ("W") export: a file name is UTF-16. Data in memory is still
  // bytes, whatever the pointer's type.
  InputArgs(const spi::WideChar* source, intptr_t length, uint32_t flags)
      : source_(source), length_(length), flags_(flags), wideNames_(true) {}
  virtual ~InputArgs() = default;

  virtual const void* source() const { return source_; }
  virtual intptr_t length() const { return length_; }
  virtual uint32_t testFlags(uint32_t mask) const { return flags_ & mask; }
  virtual uint32_t flags() const { return flags_; }

  // `source` taken as a file name of the family the export received.
  FileName fileName() const {
    return wideNames_ ? FileName(static_cast<const spi::WideChar*>(source_))
                      : FileName(static_cast<const char*>(source_));
  }

 private:
  const void* source_;
  intptr_t length_;
  uint32_t flags_;
  bool wideNames_ = false;
};

// All seven arguments of GetPicture (or GetPictureW: `source` is then a UTF-16 name). The
// added ones are read through plain accessors.
class PictureArgs : public InputArgs {
 public:
  template <typename Source>
  PictureArgs(const Source* source, intptr_t length, uint32_t flags, void** infoHandleOut,
              void** bitsHandleOut, spi::ProgressCallback progress, spi::UserData userData)
      : InputArgs(source, length, flags),
        infoHandleOut_(infoHandleOut),
        bitsHandleOut_(bitsHandleOut),
        progress_(progress),
        userData_(userData) {}
  ~PictureArgs() override = default;

  void** infoHandleOut() const { return infoHandleOut_; }
  void** bitsHandleOut() const { return bitsHandleOut_; }
  spi::ProgressCallback progress() const { return progress_; }  // may be null
  spi::UserData userData() const { return userData_; }

 private:
  void** infoHandleOut_;
  void** bitsHandleOut_;
  spi::ProgressCallback progress_;
  spi::UserData userData_;
};

// Opens the input that the arguments select (flag AND 7): 0 a file named by `source`
// (ANSI or UTF-16, as the arguments were made), positioned at `length`; 1 the `length`
// bytes at `source`. Returns spi::kSuccess with the open stream in `*out` (the caller
// deletes it), or, with `*out` null: kNotSupported for kinds 2 to 7 (the file is not
// touched), kNoMemory, kReadError when the file cannot be opened for reading.
int32_t openInput(const InputArgs& args, Stream** out);

// The input of IsSupported: `dw` up to 0xFFFF is a file handle that the host lends (read
// through a HandleStream that leaves it open), anything larger the address of the file's
// first bytes (at most kProbeHeadBytes of them are read). The caller deletes the stream.
// Null when memory is short.
Stream* openProbeInput(uintptr_t dw);

}  // namespace support
