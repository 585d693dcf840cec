// Input selection for the exports.
#include "support/call_frame.h"

#include "support/streams.h"

namespace support {

namespace {

// A file: the stream is placed at the start offset. Format classes address their input by
// absolute positions, so in effect they read the file from its start whatever the offset.
int32_t openFileInput(const InputArgs& args, Stream** out) {
  Stream* stream = nullptr;
  int32_t result = args.fileName().openRead(&stream);
  if (result != spi::kSuccess) return result;
  intptr_t offset = args.length();
  stream->seek(offset >= 0 && offset <= INT32_MAX ? static_cast<int32_t>(offset) : -1);
  *out = stream;
  return spi::kSuccess;
}

// A block of memory. A negative size describes no block at all, so it opens as an empty
// one rather than as one of several gigabytes past the host's data.
int32_t openMemoryInput(const InputArgs& args, Stream** out) {
  Stream* stream = MemoryStreamFactory().create();
  if (stream == nullptr) return spi::kNoMemory;
  intptr_t length = args.length();
  uint32_t size = length <= 0 ? 0u : length > INT32_MAX ? 0x7FFFFFFFu : static_cast<uint32_t>(length);
  stream->openRead(reinterpret_cast<uintptr_t>(args.source()), size);
  *out = stream;
  return spi::kSuccess;
}

}  // namespace

int32_t openInput(const InputArgs& args, Stream** out) {
  if (out == nullptr) return spi::kNotSupported;
  *out = nullptr;
  switch (args.testFlags(spi::kInputMask)) {
    case spi::kInputFile: return openFileInput(args, out);
    case spi::kInputMemory: return openMemoryInput(args, out);
    default: return spi::kNotSupported;
  }
}

// The handle's file pointer is the host's, and is left wherever the probe moves it.
Stream* openProbeInput(uintptr_t dw) {
  bool handle = spi::isProbeHandle(dw);
  Stream* stream = handle ? HandleStreamFactory().create() : MemoryStreamFactory().create();
  if (stream != nullptr) stream->openRead(dw, kProbeHeadBytes);
  return stream;
}

}  // namespace support
