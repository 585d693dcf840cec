#include "tools/cli/text.h"

#include <climits>

namespace cli {

namespace {

int lengthOf(size_t size) { return size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size); }

WideString wideFrom(UINT codePage, const std::string& text) {
  if (text.empty()) return WideString();
  int length = lengthOf(text.size());
  int count = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (count <= 0) return WideString();
  WideString wide(static_cast<size_t>(count), 0);
  MultiByteToWideChar(codePage, 0, text.data(), length, &wide[0], count);
  return wide;
}

}  // namespace

WideString wideFromUtf8(const std::string& text) { return wideFrom(CP_UTF8, text); }

std::string utf8FromWide(const WideString& text) {
  if (text.empty()) return std::string();
  int length = lengthOf(text.size());
  int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return std::string();
  std::string out(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], count, nullptr, nullptr);
  return out;
}

bool ansiFromUtf8(const std::string& text, std::string& ansi) {
#ifdef _WIN32
  WideString wide = wideFromUtf8(text);
  ansi.clear();
  if (wide.empty()) return text.empty();
  int length = lengthOf(wide.size());
  BOOL lossy = FALSE;
  // No best-fit spellings: "α" must not quietly become "a" and name another file.
  int count = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &lossy);
  if (count <= 0 || lossy) return false;
  ansi.assign(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, &ansi[0], count, nullptr, &lossy);
  return !lossy;
#else
  ansi = text;
  return true;
#endif
}

std::string utf8FromAnsi(const std::string& ansi) {
#ifdef _WIN32
  return utf8FromWide(wideFrom(CP_ACP, ansi));
#else
  return ansi;
#endif
}

}  // namespace cli
