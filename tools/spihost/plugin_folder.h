// The plug-in folder, as a picture viewer keeps one: every plug-in library of this host's
// width in it, loaded once, asked in the order of their file names whether it takes a file.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tools/spihost/plugin_exports.h"
#include "tools/spihost/plugin_module.h"

namespace spihost {

// Plug-in libraries of this host: .spi on 32-bit Windows, .sph on 64-bit Windows, .so
// elsewhere.
extern const char* const kPluginExtension;

constexpr const char* kImageKind = "00IN";
constexpr const char* kArchiveKind = "00AM";

struct FolderPlugin {
  std::string path;
  std::string fileName;
  std::string kind;         // "00IN" or "00AM"
  std::string description;  // index 1 of its table
  std::string pattern;      // index 2
  std::string typeName;     // index 3
  std::unique_ptr<PluginModule> module;
  PluginExports exports;
};

class PluginFolder {
 public:
  // Loads the plug-ins of `folder`; a library that will not load, or has no table or no
  // IsSupported, is named on `err` and left out. False (with the message on `err`) when the
  // folder does not exist or holds no plug-in.
  bool load(const std::string& folder, bool ansiOnly, std::ostream& err);

  // The first plug-in (by file name) of the kind (any kind for an empty one) whose
  // IsSupported takes a file of this name that begins with `head`; null when none does.
  FolderPlugin* choose(const std::string& name, const std::vector<uint8_t>& head, const std::string& kind);

  std::vector<FolderPlugin>& plugins() { return plugins_; }
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::vector<FolderPlugin> plugins_;
};

// The first bytes of a file as IsSupported reads them: `kProbeHeadSize` bytes, zero past
// the end of a shorter file.
constexpr size_t kProbeHeadSize = 2048;
std::vector<uint8_t> probeHead(const uint8_t* data, size_t size);

}  // namespace spihost
