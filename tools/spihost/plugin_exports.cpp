#include "tools/spihost/plugin_exports.h"

namespace spihost {

namespace {

template <typename Function>
Function exportOf(const PluginModule& module, const char* name) {
  return reinterpret_cast<Function>(module.symbol(name));
}

struct CodeName {
  int code;
  const char* text;
};

const CodeName kCodeNames[] = {
    {spi::kNotSupported, "not supported"},
    {spi::kSuccess, "success"},
    {spi::kAborted, "stopped: the progress callback asked to stop"},
    {spi::kUnknownFormat, "unknown format"},
    {spi::kDamaged, "damaged data"},
    {spi::kNoMemory, "out of memory"},
    {spi::kLockFailed, "memory lock failed"},
    {spi::kReadError, "cannot open or read the input"},
    {spi::kInternalError, "internal error"},
};

}  // namespace

PluginExports lookUpExports(const PluginModule& module) {
  PluginExports exports;
  exports.getPluginInfo = exportOf<GetPluginInfoFn>(module, "GetPluginInfo");
  exports.isSupported = exportOf<IsSupportedFn>(module, "IsSupported");
  exports.getPictureInfo = exportOf<GetPictureInfoFn>(module, "GetPictureInfo");
  exports.getPicture = exportOf<GetPictureFn>(module, "GetPicture");
  exports.getPreview = exportOf<GetPictureFn>(module, "GetPreview");
  exports.getArchiveInfo = exportOf<GetArchiveInfoFn>(module, "GetArchiveInfo");
  exports.getFileInfo = exportOf<GetFileInfoFn>(module, "GetFileInfo");
  exports.getFile = exportOf<GetFileFn>(module, "GetFile");
  // Hosts know this one under both its plain and its decorated name.
  exports.configurationDlg = exportOf<ConfigurationDlgFn>(module, "ConfigurationDlg");
  if (exports.configurationDlg == nullptr) {
    exports.configurationDlg = exportOf<ConfigurationDlgFn>(module, "_ConfigurationDlg@8");
  }
  return exports;
}

std::string presentExportNames(const PluginExports& exports) {
  const struct {
    bool present;
    const char* name;
  } all[] = {
      {exports.getPluginInfo != nullptr, "GetPluginInfo"},
      {exports.isSupported != nullptr, "IsSupported"},
      {exports.getPictureInfo != nullptr, "GetPictureInfo"},
      {exports.getPicture != nullptr, "GetPicture"},
      {exports.getPreview != nullptr, "GetPreview"},
      {exports.getArchiveInfo != nullptr, "GetArchiveInfo"},
      {exports.getFileInfo != nullptr, "GetFileInfo"},
      {exports.getFile != nullptr, "GetFile"},
      {exports.configurationDlg != nullptr, "ConfigurationDlg"},
  };
  std::string names;
  for (const auto& entry : all) {
    if (!entry.present) continue;
    if (!names.empty()) names += ' ';
    names += entry.name;
  }
  return names.empty() ? "(none)" : names;
}

std::string describeResult(int code) {
  for (const CodeName& name : kCodeNames) {
    if (name.code == code) return std::to_string(code) + " (" + name.text + ")";
  }
  return std::to_string(code) + " (not a code plug-ins return)";
}

}  // namespace spihost
