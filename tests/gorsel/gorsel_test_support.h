// Shared pieces of Gorsel's tests: byte arrays written inline, GGD headers, the exports as a
// host loads them, and the bitmap a picture should become.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/plugin_library.h"

namespace gorsel_test {

typedef std::vector<uint8_t> Bytes;

inline Bytes bytes(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// "FULL" complemented, then width and height as little-endian 16-bit values.
inline Bytes ggdHeader(int width, int height) {
  return bytes({0xB9, 0xAA, 0xB3, 0xB3, width & 0xFF, (width >> 8) & 0xFF, height & 0xFF, (height >> 8) & 0xFF});
}

inline std::string asString(const Bytes& b) { return std::string(b.begin(), b.end()); }

inline uint32_t strideOf(int width) { return (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4; }

// The bits block a picture should become: rows bottom-up, each padded with zeros.
inline Bytes bottomUp(int width, int height, const uint8_t* bgr) {
  const uint32_t stride = strideOf(width);
  Bytes bits(static_cast<size_t>(stride) * height, 0);
  for (int r = 0; r < height; ++r) {
    std::memcpy(bits.data() + static_cast<size_t>(height - 1 - r) * stride, bgr + static_cast<size_t>(r) * width * 3,
                static_cast<size_t>(width) * 3);
  }
  return bits;
}

// The bytes of a block the plug-in handed over, which is freed: as a host reads and frees it.
inline Bytes takeBlock(void* block) {
  const uint8_t* at = static_cast<const uint8_t*>(LocalLock(block));
  Bytes out(at, at + LocalSize(block));
  LocalUnlock(block);
  LocalFree(block);
  return out;
}

// Gorsel loaded the way a host loads it: the ANSI exports and their Unicode twins.
struct Gorsel {
  testing_support::PluginLibrary library{"Gorsel"};
  spi::GetPluginInfoFn getPluginInfo = library.get<spi::GetPluginInfoFn>("GetPluginInfo");
  spi::IsSupportedFn isSupported = library.get<spi::IsSupportedFn>("IsSupported");
  spi::GetPictureInfoFn getPictureInfo = library.get<spi::GetPictureInfoFn>("GetPictureInfo");
  spi::GetPictureFn getPicture = library.get<spi::GetPictureFn>("GetPicture");
  spi::GetPictureFn getPreview = library.get<spi::GetPictureFn>("GetPreview");
  spi::ConfigurationDlgFn configurationDlg = library.get<spi::ConfigurationDlgFn>("ConfigurationDlg");
  spi::GetPluginInfoWFn getPluginInfoW = library.get<spi::GetPluginInfoWFn>("GetPluginInfoW");
  spi::IsSupportedWFn isSupportedW = library.get<spi::IsSupportedWFn>("IsSupportedW");
  spi::GetPictureInfoWFn getPictureInfoW = library.get<spi::GetPictureInfoWFn>("GetPictureInfoW");
  spi::GetPictureWFn getPictureW = library.get<spi::GetPictureWFn>("GetPictureW");
  spi::GetPictureWFn getPreviewW = library.get<spi::GetPictureWFn>("GetPreviewW");

  bool complete() const {
    return getPluginInfo && isSupported && getPictureInfo && getPicture && getPreview && configurationDlg &&
           getPluginInfoW && isSupportedW && getPictureInfoW && getPictureW && getPreviewW;
  }
};

}  // namespace gorsel_test
