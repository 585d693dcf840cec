// One plug-in library, loaded by path and asked for its exports by name, the way a picture
// viewer does it: LoadLibraryA / GetProcAddress / FreeLibrary on Windows, dlopen / dlsym /
// dlclose elsewhere. Nothing else in the host knows which of the two it is.
#pragma once

#include <string>

namespace spihost {

class PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule() { close(); }
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Loads the library; on failure returns false and says why in `error`.
  bool open(const std::string& path, std::string& error);

  // The export of that name, or null when the library has none (or is not loaded).
  void* symbol(const char* name) const;

  // Unloads the library. Exports looked up before are dangling afterwards.
  void close();

  bool loaded() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

}  // namespace spihost
