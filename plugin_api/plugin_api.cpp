#include "plugin_api/plugin_api.h"

#include <cstring>

namespace spi {

const char* pluginInfoEntry(const PluginInfoTable& table, int infono) {
  switch (infono) {
    case 0: return table.kind;
    case 1: return table.description;
    case 2: return table.pattern;
    case 3: return table.typeName;
    default: return nullptr;
  }
}

namespace {

// The tables hold ASCII only, so a wide copy widens each byte.
template <typename Char>
int copyTerminated(Char* dst, const char* src, int limit) {
  int stored = 0;
  while (limit > 0) {
    char c = src[stored];
    dst[stored++] = static_cast<Char>(static_cast<unsigned char>(c));
    --limit;
    if (c == '\0') break;
  }
  if (stored > 0) dst[stored - 1] = 0;
  return stored;
}

template <typename Char>
int copyPrefix(Char* dst, const char* src, int limit) {
  size_t wanted = std::strlen(src) + 1;
  int count = wanted < static_cast<size_t>(limit) ? static_cast<int>(wanted) : limit;
  for (int i = 0; i < count; ++i) dst[i] = static_cast<Char>(static_cast<unsigned char>(src[i]));
  return count;
}

template <typename Char, typename Rule>
int answer(const PluginInfoTable& table, Rule rule, int infono, Char* buf, int buflen) {
  const char* text = pluginInfoEntry(table, infono);
  if (text == nullptr || buf == nullptr || buflen <= 0) return 0;
  return rule(buf, text, buflen);
}

}  // namespace

int copyInfoString(char* dst, const char* src, int limit) { return copyTerminated(dst, src, limit); }
int copyInfoStringW(WideChar* dst, const char* src, int limit) { return copyTerminated(dst, src, limit); }
int copyInfoPrefix(char* dst, const char* src, int limit) { return copyPrefix(dst, src, limit); }
int copyInfoPrefixW(WideChar* dst, const char* src, int limit) { return copyPrefix(dst, src, limit); }

int answerPluginInfo(const PluginInfoTable& table, InfoCopyRule rule, int infono, char* buf, int buflen) {
  return answer(table, rule, infono, buf, buflen);
}

int answerPluginInfoW(const PluginInfoTable& table, InfoCopyRuleW rule, int infono, WideChar* buf, int buflen) {
  return answer(table, rule, infono, buf, buflen);
}

}  // namespace spi
