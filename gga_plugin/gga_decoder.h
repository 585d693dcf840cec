// The GGA format class of Oslin's registry (the layout is drawn in gga_format.h).
#pragma once

#include <cstdint>

#include "gga_plugin/gga_format.h"
#include "support/image_decoder.h"
#include "support/stream.h"

namespace gga {

// Bytes of pixel codes read from the stream at a time; the decoder reads codes out of this
// window instead of calling the stream for every byte.
constexpr uint32_t kCodeWindowBytes = 64 * 1024;
static_assert(kCodeWindowBytes >= 2 * kLongestCodeBytes, "a window holds at least two whole codes");

// Reads the header at position 0 of the stream; false when fewer than 48 bytes are there.
bool readHeader(support::Stream& input, GgaHeader& header);

// The header rules a picture must pass before anything else is read.
bool isAcceptedHeader(const GgaHeader& header);

class GgaDecoder : public support::ImageDecoder {
 public:
  // 1 when the stream starts with a header that passes isAcceptedHeader, else 0. Looks no
  // further than the header.
  int32_t probe(support::Stream& input) override;
  // Width, height and depth 32 from the header; everything else 0. 4 when the header can
  // no longer be read or no longer passes.
  int32_t getInfo(spi::PictureInfo* info) override;
  // A 32-bit picture has no colour table: writes nothing.
  int32_t getPalette(uint8_t* colours) override;
  // Runs the pixel codes into `bits`, a zero-filled buffer of height rows of 4 x width
  // bytes, leaving the rows bottom-up. Damaged codes end decoding: what was written stays,
  // the rest stays zero, and the result is still 0. 4 when the header no longer passes or
  // the code window cannot be allocated; 6 when the header now names another size than
  // getInfo reported (the file changed under us: the buffer was sized from that report).
  int32_t decode(uint8_t* bits, support::ProgressNotifier& notifier) override;

 private:
  // The size that the last getInfo reported, 0 x 0 before any.
  uint32_t reportedWidth_ = 0;
  uint32_t reportedHeight_ = 0;
};

}  // namespace gga
