// Loads one of our plug-in libraries the way a host does: LoadLibraryA / GetProcAddress on
// Windows, dlopen / dlsym natively. Libraries sit beside the test executables.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace testing_support {

// The folder of the running executable, ending in a separator.
inline std::string executableFolder() {
#ifdef _WIN32
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of("\\/") + 1);
#else
  char path[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string s(path, n > 0 ? static_cast<size_t>(n) : 0);
  return s.substr(0, s.find_last_of('/') + 1);
#endif
}

// "Oslin" -> the full path of Oslin.spi (32-bit Windows), Oslin.sph (64-bit) or Oslin.so.
inline std::string pluginPath(const std::string& name) {
#if defined(_WIN64)
  return executableFolder() + name + ".sph";
#elif defined(_WIN32)
  return executableFolder() + name + ".spi";
#else
  return executableFolder() + name + ".so";
#endif
}

class PluginLibrary {
 public:
  explicit PluginLibrary(const std::string& name) {
#ifdef _WIN32
    module_ = LoadLibraryA(pluginPath(name).c_str());
#else
    module_ = dlopen(pluginPath(name).c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  }
  ~PluginLibrary() {
    if (!module_) return;
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(module_));
#else
    dlclose(module_);
#endif
  }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool loaded() const { return module_ != nullptr; }

  // The export of that name, or null.
  template <typename Function>
  Function get(const char* exportName) const {
    if (!module_) return nullptr;
#ifdef _WIN32
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), exportName)));
#else
    return reinterpret_cast<Function>(dlsym(module_, exportName));
#endif
  }

 private:
  void* module_ = nullptr;
};

}  // namespace testing_support
