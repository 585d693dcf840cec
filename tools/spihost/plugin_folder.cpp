#include "tools/spihost/plugin_folder.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "tools/cli/files.h"
#include "tools/cli/text.h"

namespace spihost {

#if defined(_WIN64)
const char* const kPluginExtension = ".sph";
#elif defined(_WIN32)
const char* const kPluginExtension = ".spi";
#else
const char* const kPluginExtension = ".so";
#endif

namespace {

constexpr int kInfoTextSize = 256;

bool hasPluginExtension(const std::string& name) {
  size_t length = std::strlen(kPluginExtension);
  if (name.size() <= length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(name[name.size() - length + i])) != kPluginExtension[i]) return false;
  }
  return true;
}

std::string tableEntry(const PluginExports& exports, int index) {
  char text[kInfoTextSize] = {};
  int stored = exports.getPluginInfo(index, text, kInfoTextSize);
  if (stored <= 0 || stored > kInfoTextSize) return "";
  return cli::utf8FromAnsi(std::string(text, strnlen(text, static_cast<size_t>(stored))));
}

// Names of files in the order a viewer lists them: letters without regard to case, ties
// by bytes, so that the order is the same on every system.
bool nameOrder(const std::string& a, const std::string& b) {
  std::string lowerA = a, lowerB = b;
  for (char& c : lowerA) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : lowerB) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowerA != lowerB ? lowerA < lowerB : a < b;
}

}  // namespace

std::vector<uint8_t> probeHead(const uint8_t* data, size_t size) {
  std::vector<uint8_t> head(kProbeHeadSize, 0);
  std::memcpy(head.data(), data, std::min(size, kProbeHeadSize));
  return head;
}

bool PluginFolder::load(const std::string& folder, bool ansiOnly, std::ostream& err) {
  folder_ = folder;
  if (cli::pathKind(folder) != cli::PathKind::kFolder) {
    err << "spihost: the plug-in folder " << folder << " does not exist\n";
    return false;
  }
  std::vector<std::string> names = cli::filesIn(folder);
  std::sort(names.begin(), names.end(), nameOrder);
  for (const std::string& name : names) {
    if (!hasPluginExtension(name)) continue;
    FolderPlugin plugin;
    plugin.fileName = name;
    plugin.path = cli::joinPath(folder, name);
    plugin.module.reset(new PluginModule);
    std::string error;
    if (!plugin.module->open(plugin.path, error)) {
      err << "spihost: note: skipping " << plugin.path << ": " << error << "\n";
      continue;
    }
    plugin.exports = lookUpExports(*plugin.module, ansiOnly);
    // Libraries that are no plug-ins (a runtime beside the program) are passed over quietly.
    if (plugin.exports.getPluginInfo == nullptr || plugin.exports.isSupported == nullptr) continue;
    plugin.kind = tableEntry(plugin.exports, 0);
    plugin.description = tableEntry(plugin.exports, 1);
    plugin.pattern = tableEntry(plugin.exports, 2);
    plugin.typeName = tableEntry(plugin.exports, 3);
    if (plugin.kind != kImageKind && plugin.kind != kArchiveKind) {
      err << "spihost: note: skipping " << plugin.path << ": its kind '" << plugin.kind << "' is none this host drives\n";
      continue;
    }
    plugins_.push_back(std::move(plugin));
  }
  if (plugins_.empty()) {
    err << "spihost: no plug-in (" << kPluginExtension << ") in " << folder << "\n";
    return false;
  }
  return true;
}

FolderPlugin* PluginFolder::choose(const std::string& name, const std::vector<uint8_t>& head,
                                   const std::string& kind) {
  for (FolderPlugin& plugin : plugins_) {
    if (!kind.empty() && plugin.kind != kind) continue;
    // IsSupported does not look at the name; one the ANSI code page cannot spell goes empty.
    std::vector<char> encoded;
    if (!encodeName(name, plugin.exports.unicode, encoded)) encoded.assign(1, '\0');
    if (plugin.exports.isSupported(encoded.data(), reinterpret_cast<uintptr_t>(head.data())) != 0) return &plugin;
  }
  return nullptr;
}

}  // namespace spihost
