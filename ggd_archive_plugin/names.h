// Names in Felbrin's two export families. The ANSI exports take and give 8-bit names in the
// system code page, the Unicode ("W") exports UTF-16. The archive's member names are bytes
// of the system code page; the Unicode records hold them converted from it.
#pragma once

#include <cstddef>

#include "plugin_api/plugin_api.h"

namespace felbrin {

// Equal when both names agree character for character up to their terminators, a-z
// counting as A-Z; every other character (the bytes of double-byte characters, letters
// beyond ASCII) compares exactly. Member names and archive paths compare this way.
bool SameNameIgnoreCase(const char* a, const char* b);
bool SameNameIgnoreCase(const spi::WideChar* a, const spi::WideChar* b);

// Equal when both names agree exactly up to their terminators.
bool SameName(const char* a, const char* b);
bool SameName(const spi::WideChar* a, const spi::WideChar* b);

// A member name (bytes of the system code page) as UTF-16, always terminated within
// `capacity` characters (capacity > 0). A name the code page conversion refuses keeps its
// bytes, each widened to one character, so that it stays non-empty and tells members apart.
void WidenName(const char* name, spi::WideChar* out, size_t capacity);

}  // namespace felbrin
