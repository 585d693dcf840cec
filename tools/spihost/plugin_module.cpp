#include "tools/spihost/plugin_module.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace spihost {

#ifdef _WIN32

namespace {

std::string systemMessage(DWORD code) {
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "Windows error " + std::to_string(code) : message;
}

}  // namespace

bool PluginModule::open(const std::string& path, std::string& error) {
  close();
  handle_ = LoadLibraryA(path.c_str());
  if (handle_ == nullptr) error = systemMessage(GetLastError());
  return handle_ != nullptr;
}

void* PluginModule::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void PluginModule::close() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

#else

bool PluginModule::open(const std::string& path, std::string& error) {
  close();
  // dlopen searches the library path for a bare name, LoadLibraryA the current folder
  // among others; a name without a folder means the current folder here too.
  std::string where = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown reason";
  }
  return handle_ != nullptr;
}

void* PluginModule::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

void PluginModule::close() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

#endif

}  // namespace spihost
