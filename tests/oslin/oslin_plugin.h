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

struct Oslin {
  Oslin()
      : library("Oslin"),
        getPluginInfo(library.get<spi::GetPluginInfoFn>("GetPluginInfo")),
        isSupported(library.get<spi::IsSupportedFn>("IsSupported")),
        getPictureInfo(library.get<spi::GetPictureInfoFn>("GetPictureInfo")),
        getPicture(library.get<spi::GetPictureFn>("GetPicture")),
        getPreview(library.get<spi::GetPictureFn>("GetPreview")),
        getPluginInfoW(library.get<spi::GetPluginInfoWFn>("GetPluginInfoW")),
        isSupportedW(library.get<spi::IsSupportedWFn>("IsSupportedW")),
        getPictureInfoW(library.get<spi::GetPictureInfoWFn>("GetPictureInfoW")),
        getPictureW(library.get<spi::GetPictureWFn>("GetPictureW")),
        getPreviewW(library.get<spi::GetPictureWFn>("GetPreviewW")) {}

  // Every export of both families is there.
  bool complete() const {
    return getPluginInfo && isSupported && getPictureInfo && getPicture && getPreview && getPluginInfoW &&
           isSupportedW && getPictureInfoW && getPictureW && getPreviewW;
  }

  testing_support::PluginLibrary library;
  spi::GetPluginInfoFn getPluginInfo;
  spi::IsSupportedFn isSupported;
  spi::GetPictureInfoFn getPictureInfo;
  spi::GetPictureFn getPicture;
  spi::GetPictureFn getPreview;
  spi::GetPluginInfoWFn getPluginInfoW;
  spi::IsSupportedWFn isSupportedW;
  spi::GetPictureInfoWFn getPictureInfoW;
  spi::GetPictureWFn getPictureW;
  spi::GetPictureWFn getPreviewW;
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
