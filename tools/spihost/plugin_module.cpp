#include "tools/spihost/plugin_module.h"

#include <vector>

#include "tools/cli/files.h"
#include "tools/cli/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace spihost {

namespace {

// Where the headers say what machine a library is for.
constexpr size_t kHeadBytes = 4096;
constexpr size_t kPeOffsetField = 0x3C;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr size_t kElfClassByte = 4;

uint32_t le(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

std::string widthWords(int width) { return std::to_string(width) + "-bit"; }

// Says why a library will not load when its header names the other width.
bool refuseOtherWidth(const std::string& path, std::string& error) {
  std::vector<uint8_t> head;
  std::string readError;
  if (!cli::readFileHead(path, kHeadBytes, head, readError)) {
    error = readError;
    return true;
  }
  int width = libraryWidth(head.data(), head.size());
  if (width == 0 || width == kHostWidth) return false;
  error = path + " is a " + widthWords(width) + " plug-in and this spihost is " + widthWords(kHostWidth) +
          ": use the " + widthWords(width) + " spihost" + (width == 64 ? " (.sph plug-ins)" : " (.spi plug-ins)");
  return true;
}

}  // namespace

int libraryWidth(const uint8_t* head, size_t size) {
  if (size >= kPeOffsetField + 4 && head[0] == 'M' && head[1] == 'Z') {
    uint32_t pe = le(head + kPeOffsetField, 4);
    if (pe > size - 6) return 0;  // the signature and the machine field must fit
    if (head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] != 0 || head[pe + 3] != 0) return 0;
    uint16_t machine = static_cast<uint16_t>(le(head + pe + 4, 2));
    if (machine == kMachineI386) return 32;
    if (machine == kMachineAmd64 || machine == kMachineArm64) return 64;
    return 0;
  }
  if (size > kElfClassByte && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') {
    return head[kElfClassByte] == 1 ? 32 : head[kElfClassByte] == 2 ? 64 : 0;
  }
  return 0;
}

#ifdef _WIN32

namespace {

std::string systemMessage(DWORD code) {
  wchar_t text[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text / sizeof text[0], nullptr);
  std::string message = cli::utf8FromWide(cli::WideString(text, length));
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "Windows error " + std::to_string(code) : message;
}

}  // namespace

bool PluginModule::open(const std::string& path, std::string& error) {
  close();
  std::string full = cli::absolutePath(path);
  if (refuseOtherWidth(full, error)) return false;
  // A full path with the altered search order: exactly this file, and the libraries it
  // needs looked for beside it rather than beside the program.
  handle_ = LoadLibraryExW(cli::wideFromUtf8(full).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (handle_ == nullptr) {
    DWORD code = GetLastError();
    error = code == ERROR_BAD_EXE_FORMAT ? path + " is no Windows library of this width (" +
                                               widthWords(kHostWidth) + ")"
                                         : systemMessage(code);
  }
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
  // dlopen searches the library path for a bare name; an absolute path is taken as it is.
  std::string full = cli::absolutePath(path);
  if (cli::pathKind(full) == cli::PathKind::kFile && refuseOtherWidth(full, error)) return false;
  handle_ = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
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
