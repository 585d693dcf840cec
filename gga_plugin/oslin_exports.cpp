// Oslin's exports: each one wires the call's arguments to the support library and the
// registry, and is the one place where the code the host sees is chosen. Oslin answers
// only 0, -1, 4 and 6; an input that is not GGA is 4. A null pointer argument is answered
// with -1 before anything is opened or allocated.
//
// Every export has a Unicode twin (GetPluginInfoW, IsSupportedW, GetPictureInfoW,
// GetPictureW, GetPreviewW). The work is written once over the character type of the
// names: a twin differs from its ANSI export only in that a file name is UTF-16 and is
// opened with the wide file calls. Memory input is bytes in both families, and the records
// and bitmaps handed back are the same.
//
// On 64-bit Windows `len`, `lData` and IsSupported's `dw` are pointer-sized; they are kept
// at full width all the way down (a `dw` is told apart by spi::isProbeHandle).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gga_plugin/decoder_registry.h"
#include "gga_plugin/oslin_info.h"
#include "gga_plugin/picture_job.h"
#include "plugin_api/plugin_api.h"
#include "support/call_frame.h"
#include "support/plugin_info.h"

using oslin::DecoderRegistry;
using spi::WideChar;

namespace {

// The number of the accepting format class (1), or 0. The host's handle stays open; its
// file pointer is left where the read-ahead put it. No file handle is 0, so a 0 reads
// nothing. The file's name plays no part, which is why both families share this.
int probePicture(uintptr_t dw) {
  if (dw == 0) return 0;
  support::Stream* stream = support::openProbeInput(dw);
  if (stream == nullptr) return 0;
  int32_t number = DecoderRegistry::identify(*stream);
  delete stream;
  return number;
}

// Char is char for the ANSI exports and WideChar for their twins; only a file name's
// family depends on it (InputArgs picks the opening call by the pointer's type).
template <typename Char>
int pictureInfo(const Char* buf, intptr_t len, unsigned int flag, spi::PictureInfo* lpInfo) {
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

template <typename Char>
int picture(const Char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
            spi::ProgressCallback progressCallback, intptr_t lData) {
  if (buf == nullptr || pHBInfo == nullptr || pHBm == nullptr) return spi::kNotSupported;
  support::PictureArgs args(buf, len, flag, pHBInfo, pHBm, progressCallback, lData);
  oslin::PictureJob job(args);
  return job.run();
}

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
  return support::getPluginInfo(oslin::kPluginInfo, infono, buf, buflen);
}

// `buflen` and the result count UTF-16 characters.
SPI_EXPORT int SPI_CALL GetPluginInfoW(int infono, WideChar* buf, int buflen) {
  return support::getPluginInfoW(oslin::kPluginInfo, infono, buf, buflen);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) { return probePicture(dw); }

SPI_EXPORT int SPI_CALL IsSupportedW(const WideChar*, uintptr_t dw) { return probePicture(dw); }

SPI_EXPORT int SPI_CALL GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, spi::PictureInfo* lpInfo) {
  return pictureInfo(buf, len, flag, lpInfo);
}

SPI_EXPORT int SPI_CALL GetPictureInfoW(const WideChar* buf, intptr_t len, unsigned int flag,
                                        spi::PictureInfo* lpInfo) {
  return pictureInfo(buf, len, flag, lpInfo);
}

SPI_EXPORT int SPI_CALL GetPicture(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                                   spi::ProgressCallback progressCallback, intptr_t lData) {
  return picture(buf, len, flag, pHBInfo, pHBm, progressCallback, lData);
}

SPI_EXPORT int SPI_CALL GetPictureW(const WideChar* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                                    spi::ProgressCallback progressCallback, intptr_t lData) {
  return picture(buf, len, flag, pHBInfo, pHBm, progressCallback, lData);
}

SPI_EXPORT int SPI_CALL GetPreview(const char*, intptr_t, unsigned int, void**, void**, spi::ProgressCallback,
                                   intptr_t) {
  return spi::kNotSupported;
}

SPI_EXPORT int SPI_CALL GetPreviewW(const WideChar*, intptr_t, unsigned int, void**, void**, spi::ProgressCallback,
                                    intptr_t) {
  return spi::kNotSupported;
}

static_assert(spi::kImageExportTypes<GetPluginInfo, IsSupported, GetPictureInfo, GetPicture, GetPreview>);
static_assert(spi::kImageExportTypesW<GetPluginInfoW, IsSupportedW, GetPictureInfoW, GetPictureW, GetPreviewW>);
