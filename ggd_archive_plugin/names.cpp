#include "ggd_archive_plugin/names.h"

#include <climits>
#include <string>
#include <type_traits>

#include "platform/win32.h"

namespace felbrin {

static_assert(std::is_same<WCHAR, spi::WideChar>::value, "the platform's wide calls take the records' characters");

namespace {

// Characters are compared as unsigned values, so that bytes above 0x7F never fold.
template <typename Char>
unsigned Fold(Char c) {
  const unsigned u = static_cast<typename std::make_unsigned<Char>::type>(c);
  return (u >= 'a' && u <= 'z') ? u - 0x20 : u;
}

template <typename Char>
bool SameFolded(const Char* a, const Char* b) {
  for (size_t i = 0;; ++i) {
    const unsigned x = Fold(a[i]);
    if (x != Fold(b[i])) return false;
    if (x == 0) return true;
  }
}

template <typename Char>
bool SameExactly(const Char* a, const Char* b) {
  for (size_t i = 0;; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
}

}  // namespace

bool SameNameIgnoreCase(const char* a, const char* b) { return SameFolded(a, b); }
bool SameNameIgnoreCase(const spi::WideChar* a, const spi::WideChar* b) { return SameFolded(a, b); }
bool SameName(const char* a, const char* b) { return SameExactly(a, b); }
bool SameName(const spi::WideChar* a, const spi::WideChar* b) { return SameExactly(a, b); }

void WidenName(const char* name, spi::WideChar* out, size_t capacity) {
  const int room = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  // -1: the terminator is converted too, so a result above 0 is a terminated name. A name
  // must not come out shorter than it went in, as a code unit 0 in the middle would make it.
  const int units = MultiByteToWideChar(CP_ACP, 0, name, -1, out, room);
  if (units > 0 && std::char_traits<spi::WideChar>::length(out) + 1 == static_cast<size_t>(units)) return;
  size_t i = 0;
  for (; i + 1 < capacity && name[i] != '\0'; ++i) out[i] = static_cast<unsigned char>(name[i]);
  out[i] = 0;
}

}  // namespace felbrin
