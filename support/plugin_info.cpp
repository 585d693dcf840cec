#include "support/plugin_info.h"

namespace support {

int getPluginInfo(const spi::PluginInfoTable& table, int infono, char* buf, int buflen) {
  return spi::answerPluginInfo(table, spi::copyInfoString, infono, buf, buflen);
}

}  // namespace support
