// UTF-16 text and files with UTF-16 names for the tests of the Unicode exports; the same
// source builds natively (char16_t, ANSI code page UTF-8) and on Windows (wchar_t).
#pragma once

#include <string>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/temp_folder.h"

#ifdef _WIN32
#define WIDE_TEXT(text) L##text
#else
#define WIDE_TEXT(text) u##text
#endif

namespace testing_support {

typedef std::basic_string<spi::WideChar> WideString;

// "日本語αβγ한": Japanese, Greek and Korean letters, which neither a one-byte code page nor
// the Japanese one spells in full.
inline WideString unspellableStem() { return WIDE_TEXT("\u65e5\u672c\u8a9e\u03b1\u03b2\u03b3\ud55c"); }

// Text in the system's ANSI code page, converted as the system converts it.
inline WideString widen(const std::string& text) {
  if (text.empty()) return WideString();
  int count = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  WideString wide(static_cast<size_t>(count > 0 ? count : 0), 0);
  if (count > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<WCHAR*>(&wide[0]),
                        count);
  }
  return wide;
}

// The text in the system's ANSI code page; false when the code page cannot spell all of it.
inline bool spellInCodePage(const WideString& text, std::string& spelled) {
  spelled.clear();
  if (text.empty()) return true;
  const WCHAR* source = reinterpret_cast<const WCHAR*>(text.c_str());
  int length = static_cast<int>(text.size());
  int count = WideCharToMultiByte(CP_ACP, 0, source, length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return false;
  spelled.assign(static_cast<size_t>(count), '\0');
  BOOL substituted = FALSE;
  if (WideCharToMultiByte(CP_ACP, 0, source, length, &spelled[0], count, nullptr, &substituted) != count) {
    return false;
  }
  // Windows maps some characters to a look-alike ("best fit": e-acute becomes e in the
  // Japanese code page) without reporting a substitution; only a round trip tells.
  return !substituted && widen(spelled) == text;
}

// The full UTF-16 path of `name` inside the folder.
inline WideString widePath(const TempFolder& folder, const WideString& name) {
#ifdef _WIN32
  return widen(folder.path()) + WIDE_TEXT("\\") + name;
#else
  return widen(folder.path()) + WIDE_TEXT("/") + name;
#endif
}

// Creates (or empties) the file and writes the bytes; false when it cannot.
inline bool writeWideFile(const WideString& path, const std::string& bytes) {
  HANDLE file = CreateFileW(reinterpret_cast<const WCHAR*>(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return wrote && written == bytes.size();
}

}  // namespace testing_support
