// The exports of a plug-in as the host calls them, and the names of their return codes.
#pragma once

#include <cstdint>
#include <string>

#include "plugin_api/plugin_api.h"
#include "tools/spihost/plugin_module.h"

namespace spihost {

typedef int(SPI_CALL* GetPluginInfoFn)(int infono, char* buf, int buflen);
typedef int(SPI_CALL* IsSupportedFn)(const char* filename, uintptr_t dw);
typedef int(SPI_CALL* GetPictureInfoFn)(const char* buf, intptr_t len, unsigned flag, spi::PictureInfo* lpInfo);
typedef int(SPI_CALL* GetPictureFn)(const char* buf, intptr_t len, unsigned flag, void** pHBInfo, void** pHBm,
                                    spi::ProgressCallback cb, intptr_t lData);
typedef int(SPI_CALL* GetArchiveInfoFn)(const char* buf, intptr_t len, unsigned flag, void** lphInf);
typedef int(SPI_CALL* GetFileInfoFn)(const char* buf, intptr_t len, const char* filename, unsigned flag,
                                     spi::ArchiveEntryInfo* lpInfo);
typedef int(SPI_CALL* GetFileFn)(const char* src, intptr_t len, char* dest, unsigned flag,
                                 spi::ProgressCallback cb, intptr_t lData);
typedef int(SPI_CALL* ConfigurationDlgFn)(void* parent, int fnc);

// Every export this host knows, looked up once after loading; null where the library has
// none. GetPreview shares GetPicture's signature.
struct PluginExports {
  GetPluginInfoFn getPluginInfo = nullptr;
  IsSupportedFn isSupported = nullptr;
  GetPictureInfoFn getPictureInfo = nullptr;
  GetPictureFn getPicture = nullptr;
  GetPictureFn getPreview = nullptr;
  GetArchiveInfoFn getArchiveInfo = nullptr;
  GetFileInfoFn getFileInfo = nullptr;
  GetFileFn getFile = nullptr;
  ConfigurationDlgFn configurationDlg = nullptr;
};

PluginExports lookUpExports(const PluginModule& module);

// "GetPluginInfo IsSupported ..." for the exports that are present.
std::string presentExportNames(const PluginExports& exports);

// A plug-in's return code in words: "2 (unknown format)"; codes outside the contract are
// called so.
std::string describeResult(int code);

}  // namespace spihost
