// The exports of a plug-in as the host calls them, and the names of their return codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin_api/plugin_api.h"
#include "tools/spihost/plugin_module.h"

namespace spihost {

// The ANSI family's types; a Unicode twin is kept in the same pointer and called with the
// twin's arguments.
using spi::ConfigurationDlgFn;
using spi::GetArchiveInfoFn;
using spi::GetFileFn;
using spi::GetFileInfoFn;
using spi::GetPictureFn;
using spi::GetPictureInfoFn;
using spi::GetPluginInfoFn;
using spi::GetPreviewFn;
using spi::IsSupportedFn;

// Every export this host knows, looked up once after loading; null where the library has
// none.
//
// With `unicode` the pointers are the Unicode twins (IsSupportedW, GetPictureW, ...): they
// take the same arguments except that names are UTF-16 strings and the archive records are
// ArchiveEntryInfoW; the host passes and reads them so. GetPluginInfo and
// ConfigurationDlg stay the ANSI ones.
struct PluginExports {
  bool unicode = false;
  std::string names;  // the exports present, as `info` prints them
  GetPluginInfoFn getPluginInfo = nullptr;
  IsSupportedFn isSupported = nullptr;
  GetPictureInfoFn getPictureInfo = nullptr;
  GetPictureFn getPicture = nullptr;
  GetPreviewFn getPreview = nullptr;
  GetArchiveInfoFn getArchiveInfo = nullptr;
  GetFileInfoFn getFileInfo = nullptr;
  GetFileFn getFile = nullptr;
  ConfigurationDlgFn configurationDlg = nullptr;
};

// The Unicode twins are taken when the library has IsSupportedW and the W form of its
// kind's main export, unless `ansiOnly`.
PluginExports lookUpExports(const PluginModule& module, bool ansiOnly);

// A name as one export family takes it, NUL-terminated: UTF-16 for the Unicode twins, the
// ANSI code page for the others. False when the ANSI code page cannot spell it.
bool encodeName(const std::string& name, bool unicode, std::vector<char>& encoded);

// A plug-in's return code in words: "2 (unknown format)"; codes outside the contract are
// called so.
std::string describeResult(int code);

}  // namespace spihost
