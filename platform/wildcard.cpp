#include "platform/wildcard.h"

#include <cstring>
#include <string>

namespace platform {
namespace {

char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Iterative glob match with one backtracking point for the last '*'.
bool globMatches(const char* p, const char* n) {
  const char* starP = nullptr;
  const char* starN = nullptr;
  while (*n) {
    if (*p == '*') {
      starP = p++;
      starN = n;
    } else if (*p == '?' || (*p && fold(*p) == fold(*n))) {
      ++p;
      ++n;
    } else if (starP) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

}  // namespace

bool wildcardMatches(const char* pattern, const char* name) {
  if (globMatches(pattern, name)) return true;
  size_t length = std::strlen(pattern);
  if (length >= 2 && pattern[length - 2] == '.' && pattern[length - 1] == '*') {
    std::string stem(pattern, length - 2);
    return globMatches(stem.c_str(), name);
  }
  return false;
}

}  // namespace platform
