#include "support/image_decoder.h"

namespace support {

namespace {

// Stands in for a host that passed no callback: never asks to stop.
int SPI_CALL neverStop(int, int, spi::UserData) { return 0; }

}  // namespace

ProgressNotifier::ProgressNotifier(spi::ProgressCallback hostCallback, spi::UserData user)
    : callback(hostCallback != nullptr ? hostCallback : neverStop), userData(user) {}

}  // namespace support
