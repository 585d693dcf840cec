// One plug-in library, loaded from exactly the path given and asked for its exports by
// name, the way a picture viewer does it: LoadLibraryExW / GetProcAddress / FreeLibrary on
// Windows, dlopen / dlsym / dlclose elsewhere. Nothing else in the host knows which of the
// two it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace spihost {

// The pointer width a library file is built for, from its header: 32 or 64, or 0 when the
// bytes are no Windows (PE) or ELF library of a known machine.
int libraryWidth(const uint8_t* head, size_t size);

// The width of this host: only libraries of the same width load into it.
constexpr int kHostWidth = static_cast<int>(sizeof(void*) * 8);

class PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule() { close(); }
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Loads the library from `path` (made absolute, so that no library of the same name
  // elsewhere is taken); on failure returns false and says why in `error`, naming a
  // library of the other width as such.
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
