// The base of the image format classes, and the carrier of the host's progress callback.
#pragma once

#include <cstdint>

#include "plugin_api/plugin_api.h"
#include "support/stream.h"

namespace support {

// Carries the host's callback to a decoder. A null callback is replaced by one that never
// asks to stop, so decoders call `callback` without testing it.
struct ProgressNotifier {
  ProgressNotifier(spi::ProgressCallback hostCallback, spi::UserData user);
  spi::ProgressCallback callback;
  spi::UserData userData;
};

class ImageDecoder {
 public:
  virtual ~ImageDecoder() = default;  // never touches the stream
  virtual Stream* attach(Stream* input) {
    stream = input;
    return input;
  }
  // 1 when the stream holds this class's format, 0 when not. The decoder need not be attached.
  virtual int32_t probe(Stream& input) = 0;
  // Sets width, height and colorDepth; a return code.
  virtual int32_t getInfo(spi::PictureInfo* info) = 0;
  // Only for 8 bits per pixel or less: 2^colorDepth four-byte entries.
  virtual int32_t getPalette(uint8_t* colours) = 0;
  // Fills a zero-filled buffer of height rows of stride bytes, bottom-up; a return code.
  virtual int32_t decode(uint8_t* bits, ProgressNotifier& notifier) = 0;

 protected:
  Stream* stream = nullptr;  // not owned
};

}  // namespace support
