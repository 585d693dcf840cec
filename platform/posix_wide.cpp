// Wide-character file names and code page conversion. The system's own multi-byte form is
// UTF-8, so CP_ACP and CP_UTF8 convert alike.
#include <string>

#include "platform/win32.h"

namespace {

// Decodes UTF-8 into UTF-16 code units; false on a malformed sequence. Overlong forms are
// malformed too: "\xC0\x80" must not become a NUL, nor "\xC0\xAF" a '/'.
bool utf8ToUtf16(const char* source, size_t length, std::u16string& out) {
  static const uint32_t kShortest[4] = {0, 0x80, 0x800, 0x10000};  // by count of extra bytes
  out.clear();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(source);
  const unsigned char* end = p + length;
  while (p < end) {
    uint32_t c = *p++;
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || end - p < extra) return false;
    if (extra > 0) c &= 0x3Fu >> extra;
    for (int i = 0; i < extra; ++i) {
      if ((*p & 0xC0) != 0x80) return false;
      c = (c << 6) | (*p++ & 0x3F);
    }
    if (c < kShortest[extra]) return false;
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return true;
}

// Encodes UTF-16 code units as UTF-8; false on an unpaired surrogate.
bool utf16ToUtf8(const char16_t* source, size_t length, std::string& out) {
  out.clear();
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = source[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= length || source[i + 1] < 0xDC00 || source[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (source[++i] - 0xDC00);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

size_t wideLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

bool narrowName(const WCHAR* name, std::string& out) {
  return name != nullptr && utf16ToUtf8(name, wideLength(name), out);
}

// The end of both conversion calls: a destination length of 0 asks for the size only; a
// text that does not fit is not cut but refused.
template <typename Text>
int handOut(const Text& text, typename Text::value_type* destination, int destinationLength) {
  if (destinationLength == 0) return static_cast<int>(text.size());
  if (destination == nullptr || text.size() > static_cast<size_t>(destinationLength)) return 0;
  text.copy(destination, text.size());
  return static_cast<int>(text.size());
}

}  // namespace

extern "C" {

HANDLE CreateFileW(const WCHAR* name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile) {
  std::string narrow;
  if (!narrowName(name, narrow)) return INVALID_HANDLE_VALUE;
  return CreateFileA(narrow.c_str(), access, share, security, disposition, attributes, templateFile);
}

BOOL DeleteFileW(const WCHAR* name) {
  std::string narrow;
  return narrowName(name, narrow) ? DeleteFileA(narrow.c_str()) : FALSE;
}

BOOL GetFileAttributesExW(const WCHAR* name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
  std::string narrow;
  return narrowName(name, narrow) ? GetFileAttributesExA(narrow.c_str(), level, information) : FALSE;
}

int MultiByteToWideChar(UINT, DWORD, LPCSTR source, int sourceLength, WCHAR* destination,
                        int destinationLength) {
  if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationLength < 0) return 0;
  size_t length = sourceLength == -1 ? std::char_traits<char>::length(source) + 1
                                     : static_cast<size_t>(sourceLength);
  std::u16string wide;
  return utf8ToUtf16(source, length, wide) ? handOut(wide, destination, destinationLength) : 0;
}

BOOL IsDBCSLeadByte(BYTE) { return FALSE; }

int CompareStringOrdinal(const WCHAR* first, int firstLength, const WCHAR* second, int secondLength,
                         BOOL ignoreCase) {
  size_t firstUnits = firstLength < 0 ? wideLength(first) : static_cast<size_t>(firstLength);
  size_t secondUnits = secondLength < 0 ? wideLength(second) : static_cast<size_t>(secondLength);
  auto fold = [ignoreCase](WCHAR c) { return ignoreCase && c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; };
  for (size_t i = 0; i < firstUnits && i < secondUnits; ++i) {
    if (fold(first[i]) != fold(second[i])) return fold(first[i]) < fold(second[i]) ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (firstUnits == secondUnits) return CSTR_EQUAL;
  return firstUnits < secondUnits ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

int WideCharToMultiByte(UINT, DWORD, const WCHAR* source, int sourceLength, LPSTR destination,
                        int destinationLength, LPCSTR, BOOL* usedDefaultChar) {
  if (usedDefaultChar) *usedDefaultChar = FALSE;
  if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationLength < 0) return 0;
  size_t length = sourceLength == -1 ? wideLength(source) + 1 : static_cast<size_t>(sourceLength);
  std::string narrow;
  return utf16ToUtf8(source, length, narrow) ? handOut(narrow, destination, destinationLength) : 0;
}

}  // extern "C"
