#include "plugin_api/member_names.h"

#include <climits>
#include <type_traits>

#include "platform/win32.h"

namespace spi {

static_assert(std::is_same<WCHAR, WideChar>::value, "the platform's wide calls take the records' characters");

namespace {

template <typename Char>
unsigned foldedUnit(Char c, bool ignoreCase) {
  const unsigned u = static_cast<typename std::make_unsigned<Char>::type>(c);
  return ignoreCase && u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u;
}

template <typename Char>
bool sameUnits(const Char* a, const Char* b, bool ignoreCase) {
  for (size_t i = 0;; ++i) {
    const unsigned x = foldedUnit(a[i], ignoreCase);
    if (x != foldedUnit(b[i], ignoreCase)) return false;
    if (x == 0) return true;
  }
}

}  // namespace

bool sameMemberName(const char* a, const char* b, bool ignoreCase) { return sameUnits(a, b, ignoreCase); }
bool sameMemberName(const WideChar* a, const WideChar* b, bool ignoreCase) { return sameUnits(a, b, ignoreCase); }

size_t widenMemberName(const char* name, WideChar* out, size_t capacity) {
  const size_t room = capacity - 1;
  size_t length = 0;
  while (length < room && name[length] != '\0') ++length;
  // No code page spells a character in less than one byte, so `room` characters hold the
  // converted name. The length is given, not -1: a last byte that begins a double-byte
  // character must not take the terminator as its second byte.
  int units = 0;
  if (length > 0 && length <= INT_MAX) {
    units = MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), out, static_cast<int>(length));
  }
  bool converted = units > 0;
  for (int i = 0; i < units; ++i) converted = converted && out[i] != 0;
  if (!converted) {
    for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(name[i]);
  }
  const size_t kept = converted ? static_cast<size_t>(units) : length;
  out[kept] = 0;
  return kept;
}

}  // namespace spi
