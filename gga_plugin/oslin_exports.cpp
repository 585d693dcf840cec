// Oslin's exports: each one wires the call's arguments to the support library and the
// registry, and is the one place where the code the host sees is chosen. Oslin answers
// only 0, -1, 4 and 6; an input that is not GGA is 4. A null pointer argument is answered
// with -1 before anything is opened or allocated.
#include <cstring>

#include "gga_plugin/decoder_registry.h"
#include "gga_plugin/picture_job.h"
#include "plugin_api/plugin_api.h"
#include "support/call_frame.h"
#include "support/plugin_info.h"

using oslin::DecoderRegistry;

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
  return support::getPluginInfo(spi::kOslinInfo, infono, buf, buflen);
}

// The number of the accepting format class (1), or 0. The host's handle stays open.
SPI_EXPORT int SPI_CALL IsSupported(char* filename, uintptr_t dw) {
  support::Stream* stream = support::openProbeInput(dw);
  if (stream == nullptr) return 0;
  int32_t number = DecoderRegistry::identify(*stream);
  delete stream;
  return number;
}

SPI_EXPORT int SPI_CALL GetPictureInfo(char* buf, intptr_t len, unsigned int flag, spi::PictureInfo* lpInfo) {
  if (buf == nullptr || lpInfo == nullptr) return spi::kNotSupported;
  support::InputArgs args(buf, len, flag);
  support::Stream* stream = nullptr;
  int32_t code = support::openInput(args, &stream);
  if (code != spi::kSuccess) return code;
  support::ImageDecoder* decoder = DecoderRegistry::create(DecoderRegistry::identify(*stream));
  if (decoder == nullptr) {
    delete stream;
    return spi::kNoMemory;
  }
  decoder->attach(stream);
  // Filled aside, so that the host's record is left untouched on failure.
  spi::PictureInfo info;
  code = decoder->getInfo(&info);
  delete decoder;
  delete stream;
  if (code == spi::kSuccess) std::memcpy(lpInfo, &info, sizeof info);
  return code;
}

SPI_EXPORT int SPI_CALL GetPicture(char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                                   spi::ProgressCallback progressCallback, intptr_t lData) {
  if (buf == nullptr || pHBInfo == nullptr || pHBm == nullptr) return spi::kNotSupported;
  support::PictureArgs args(buf, len, flag, pHBInfo, pHBm, progressCallback, lData);
  oslin::PictureJob job(args);
  return job.run();
}

SPI_EXPORT int SPI_CALL GetPreview(char*, intptr_t, unsigned int, void**, void**, spi::ProgressCallback, intptr_t) {
  return spi::kNotSupported;
}
