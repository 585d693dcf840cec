// Oslin's format classes, numbered from 1: GGA is the only one.
#pragma once

#include "gga_plugin/gga_decoder.h"
#include "support/format_registry.h"
#include "support/image_decoder.h"

namespace oslin {

using DecoderRegistry = support::FormatRegistry<support::ImageDecoder, gga::GgaDecoder>;

}  // namespace oslin
