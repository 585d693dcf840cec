// Member names as the two export families see them. An archive stores a member's name as
// bytes of the system code page; the ANSI exports hand those bytes on, the Unicode ("W")
// exports the same name converted to UTF-16. Hosts find a member by name exactly or, with
// kIgnoreCase, folding the letters A-Z only.
#pragma once

#include <cstddef>

#include "plugin_api/plugin_api.h"

namespace spi {

// Whether two terminated names are equal character by character, compared as unsigned
// values. With `ignoreCase`, a-z and A-Z count as the same letter; nothing else folds, so a
// byte of a double-byte character, or a letter beyond ASCII, never matches differently from
// one host or code page to another.
bool sameMemberName(const char* a, const char* b, bool ignoreCase);
bool sameMemberName(const WideChar* a, const WideChar* b, bool ignoreCase);

// The stored name `name` (up to its terminator, at most capacity - 1 bytes of it) as UTF-16
// in `out`, which holds `capacity` characters (capacity > 0); always terminated. Returns the
// characters before the terminator. When the code page conversion refuses the bytes, or
// gives back a name with a character 0 inside it (and so shorter than it went in), each byte
// is widened to one character instead: a name is never lost, never cut short, and still
// tells members apart.
size_t widenMemberName(const char* name, WideChar* out, size_t capacity);

}  // namespace spi
