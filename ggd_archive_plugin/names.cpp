#include "ggd_archive_plugin/names.h"

#include <string>

#include "platform/win32.h"
#include "plugin_api/member_names.h"

namespace felbrin {

namespace {

unsigned FoldAscii(spi::WideChar c) { return (c >= u'a' && c <= u'z') ? c - 0x20u : c; }

// The C0 controls and DEL. The C1 range stays allowed: Windows stores it, and it is what a
// byte that the code page cannot convert becomes in a widened name.
bool IsControl(spi::WideChar c) { return c < 0x20 || c == 0x7F; }

bool IsRefusedInNames(spi::WideChar c) {
  switch (c) {
    case u'\\': case u'/': case u':': case u'*': case u'?': case u'"': case u'<': case u'>': case u'|':
      return true;
    default:
      return IsControl(c);
  }
}

// `stem` (`length` characters, no dot) equals `device` ignoring the case of a-z.
bool StemIs(const spi::WideChar* stem, size_t length, const char* device) {
  size_t i = 0;
  for (; i < length && device[i] != '\0'; ++i) {
    if (FoldAscii(stem[i]) != static_cast<unsigned char>(device[i])) return false;
  }
  return i == length && device[i] == '\0';
}

bool IsPortDigit(spi::WideChar c) { return (c >= u'0' && c <= u'9') || c == 0xB9 || c == 0xB2 || c == 0xB3; }

// Windows takes a device name before any extension, and ignores blanks before the dot.
bool NamesDevice(const spi::WideChar* name) {
  size_t stem = 0;
  while (name[stem] != 0 && name[stem] != u'.') ++stem;
  while (stem > 0 && name[stem - 1] == u' ') --stem;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (StemIs(name, stem, device)) return true;
  }
  return stem == 4 && (StemIs(name, 3, "COM") || StemIs(name, 3, "LPT")) && IsPortDigit(name[3]);
}

constexpr size_t kWideNameChars = MAX_PATH;

}  // namespace

bool IsPlainFileName(const spi::WideChar* name) {
  size_t length = 0;
  for (; name[length] != 0; ++length) {
    if (IsRefusedInNames(name[length])) return false;
  }
  if (length == 0 || name[length - 1] == u'.' || name[length - 1] == u' ') return false;
  return !NamesDevice(name);
}

bool IsPlainFileName(const char* name) {
  // A name too long for the buffer would be judged by its beginning only.
  if (std::char_traits<char>::length(name) >= kWideNameChars) return false;
  spi::WideChar wide[kWideNameChars];
  spi::widenMemberName(name, wide, kWideNameChars);
  return IsPlainFileName(wide);
}

bool EndsWithSeparator(const spi::WideChar* path) {
  const size_t length = std::char_traits<spi::WideChar>::length(path);
  return length > 0 && (path[length - 1] == u'\\' || path[length - 1] == u'/');
}

bool EndsWithSeparator(const char* path) {
  spi::WideChar wide[kWideNameChars];
  spi::widenMemberName(path, wide, kWideNameChars);
  return EndsWithSeparator(wide);
}

}  // namespace felbrin
