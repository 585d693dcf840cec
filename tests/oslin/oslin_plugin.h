// Oslin as a host sees it: the library loaded by name, its five exports and their Unicode
// twins.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/plugin_library.h"

namespace oslin_test {

typedef int(SPI_CALL* GetPluginInfoFn)(int infono, char* buf, int buflen);
typedef int(SPI_CALL* IsSupportedFn)(const char* filename, uintptr_t dw);
typedef int(SPI_CALL* GetPictureInfoFn)(const char* buf, intptr_t len, unsigned int flag, spi::PictureInfo* lpInfo);
typedef int(SPI_CALL* GetPictureFn)(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                                    spi::ProgressCallback progressCallback, intptr_t lData);
typedef int(SPI_CALL* GetPluginInfoWFn)(int infono, spi::WideChar* buf, int buflen);
typedef int(SPI_CALL* IsSupportedWFn)(const spi::WideChar* filename, uintptr_t dw);
typedef int(SPI_CALL* GetPictureInfoWFn)(const spi::WideChar* buf, intptr_t len, unsigned int flag,
                                         spi::PictureInfo* lpInfo);
typedef int(SPI_CALL* GetPictureWFn)(const spi::WideChar* buf, intptr_t len, unsigned int flag, void** pHBInfo,
                                     void** pHBm, spi::ProgressCallback progressCallback, intptr_t lData);

struct Oslin {
  Oslin()
      : library("Oslin"),
        getPluginInfo(library.get<GetPluginInfoFn>("GetPluginInfo")),
        isSupported(library.get<IsSupportedFn>("IsSupported")),
        getPictureInfo(library.get<GetPictureInfoFn>("GetPictureInfo")),
        getPicture(library.get<GetPictureFn>("GetPicture")),
        getPreview(library.get<GetPictureFn>("GetPreview")),
        getPluginInfoW(library.get<GetPluginInfoWFn>("GetPluginInfoW")),
        isSupportedW(library.get<IsSupportedWFn>("IsSupportedW")),
        getPictureInfoW(library.get<GetPictureInfoWFn>("GetPictureInfoW")),
        getPictureW(library.get<GetPictureWFn>("GetPictureW")),
        getPreviewW(library.get<GetPictureWFn>("GetPreviewW")) {}

  // Every export of both families is there.
  bool complete() const {
    return getPluginInfo && isSupported && getPictureInfo && getPicture && getPreview && getPluginInfoW &&
           isSupportedW && getPictureInfoW && getPictureW && getPreviewW;
  }

  testing_support::PluginLibrary library;
  GetPluginInfoFn getPluginInfo;
  IsSupportedFn isSupported;
  GetPictureInfoFn getPictureInfo;
  GetPictureFn getPicture;
  GetPictureFn getPreview;
  GetPluginInfoWFn getPluginInfoW;
  IsSupportedWFn isSupportedW;
  GetPictureInfoWFn getPictureInfoW;
  GetPictureWFn getPictureW;
  GetPictureWFn getPreviewW;
};

inline char* bytesArg(const std::vector<uint8_t>& bytes) {
  return reinterpret_cast<char*>(const_cast<uint8_t*>(bytes.data()));
}
inline char* textArg(const std::string& text) { return const_cast<char*>(text.c_str()); }

// The two handles of one GetPicture call, freed at the end of the test.
struct Bitmap {
  ~Bitmap() {
    if (info != nullptr) LocalFree(info);
    if (bits != nullptr) LocalFree(bits);
  }
  const spi::BitmapInfoHeader& header() const { return *static_cast<const spi::BitmapInfoHeader*>(info); }
  const uint8_t* rows() const { return static_cast<const uint8_t*>(bits); }
  // The pixels, top row first.
  std::vector<uint8_t> topDown() const {
    const spi::BitmapInfoHeader& h = header();
    const size_t stride = static_cast<size_t>(h.biWidth) * 4;
    std::vector<uint8_t> out;
    for (int32_t row = h.biHeight - 1; row >= 0; --row)
      out.insert(out.end(), rows() + row * stride, rows() + (row + 1) * stride);
    return out;
  }
  void* info = nullptr;
  void* bits = nullptr;
};

}  // namespace oslin_test
