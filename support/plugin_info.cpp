#include "support/plugin_info.h"

namespace support {

int getPluginInfo(const spi::PluginInfoTable& table, int infono, char* buf, int buflen) {
  return spi::answerPluginInfo(table, spi::copyInfoString, infono, buf, buflen);
}

int getPluginInfoW(const spi::PluginInfoTable& table, int infono, spi::WideChar* buf, int buflen) {
  return spi::answerPluginInfoW(table, spi::copyInfoStringW, infono, buf, buflen);
}

}  // namespace support
