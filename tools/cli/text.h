// Text in the three forms the tools meet: UTF-8 (everything inside the tools), UTF-16
// (Windows' own calls and the plug-ins' Unicode exports) and the ANSI code page (the
// plug-ins' ANSI exports). Off Windows the ANSI code page is UTF-8.
#pragma once

#include <string>

#include "platform/win32.h"

namespace cli {

typedef std::basic_string<WCHAR> WideString;

// Ill-formed input turns into U+FFFD (from UTF-8) or is dropped, never cut short.
WideString wideFromUtf8(const std::string& text);
std::string utf8FromWide(const WideString& text);

// The bytes of `text` in the ANSI code page; false when some character has no spelling
// there (the result would name another file).
bool ansiFromUtf8(const std::string& text, std::string& ansi);
// ANSI code page bytes as UTF-8; bytes that are no character of the code page are kept
// as '?'.
std::string utf8FromAnsi(const std::string& ansi);

}  // namespace cli
