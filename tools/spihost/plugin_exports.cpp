#include "tools/spihost/plugin_exports.h"

#include <cstring>

#include "tools/cli/text.h"

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

PluginExports lookUpExports(const PluginModule& module, bool ansiOnly) {
  static const char* const kFamilies[] = {"GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture",
                                          "GetPreview", "GetArchiveInfo", "GetFileInfo", "GetFile"};
  PluginExports exports;
  std::string wideNames;
  for (const char* name : kFamilies) {
    if (module.symbol(name) != nullptr) exports.names += std::string(exports.names.empty() ? "" : " ") + name;
    std::string wide = std::string(name) + "W";
    if (module.symbol(wide.c_str()) != nullptr) wideNames += " " + wide;
  }
  exports.unicode = !ansiOnly && module.symbol("IsSupportedW") != nullptr &&
                    (module.symbol("GetPictureW") != nullptr || module.symbol("GetArchiveInfoW") != nullptr);
  auto name = [&exports](const char* plain) { return exports.unicode ? std::string(plain) + "W" : std::string(plain); };
  exports.getPluginInfo = exportOf<GetPluginInfoFn>(module, "GetPluginInfo");
  exports.isSupported = exportOf<IsSupportedFn>(module, name("IsSupported").c_str());
  exports.getPictureInfo = exportOf<GetPictureInfoFn>(module, name("GetPictureInfo").c_str());
  exports.getPicture = exportOf<GetPictureFn>(module, name("GetPicture").c_str());
  exports.getPreview = exportOf<GetPictureFn>(module, name("GetPreview").c_str());
  exports.getArchiveInfo = exportOf<GetArchiveInfoFn>(module, name("GetArchiveInfo").c_str());
  exports.getFileInfo = exportOf<GetFileInfoFn>(module, name("GetFileInfo").c_str());
  exports.getFile = exportOf<GetFileFn>(module, name("GetFile").c_str());
  // Hosts know this one under both its plain and its decorated name.
  exports.configurationDlg = exportOf<ConfigurationDlgFn>(module, "ConfigurationDlg");
  if (exports.configurationDlg == nullptr) {
    exports.configurationDlg = exportOf<ConfigurationDlgFn>(module, "_ConfigurationDlg@8");
  }
  if (exports.configurationDlg != nullptr) exports.names += std::string(exports.names.empty() ? "" : " ") + "ConfigurationDlg";
  exports.names += wideNames;
  if (exports.names.empty()) exports.names = "(none)";
  return exports;
}

bool encodeName(const std::string& name, bool unicode, std::vector<char>& encoded) {
  encoded.clear();
  if (unicode) {
    cli::WideString wide = cli::wideFromUtf8(name);
    wide.push_back(0);
    encoded.resize(wide.size() * sizeof(WCHAR));
    std::memcpy(encoded.data(), wide.data(), encoded.size());
    return true;
  }
  std::string ansi;
  if (!cli::ansiFromUtf8(name, ansi)) return false;
  encoded.assign(ansi.begin(), ansi.end());
  encoded.push_back('\0');
  return true;
}

std::string describeResult(int code) {
  for (const CodeName& name : kCodeNames) {
    if (name.code == code) return std::to_string(code) + " (" + name.text + ")";
  }
  return std::to_string(code) + " (not a code plug-ins return)";
}

}  // namespace spihost
