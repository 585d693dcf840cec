// GetPluginInfo of the plug-ins built on this library.
#pragma once

#include "plugin_api/plugin_api.h"

namespace support {

// Copies entry `infono` of the table into `buf`: at most `buflen` bytes, the last stored byte
// always NUL, so a text that does not fit is cut and still terminated. Returns the bytes
// stored, the NUL included; 0, with `buf` untouched, for an index outside the table (the
// kind tag, the description, then one pattern/description pair), a null `buf` or a
// `buflen` of 0 or less.
int getPluginInfo(const spi::PluginInfoTable& table, int infono, char* buf, int buflen);

// GetPluginInfoW: the same rule with `buflen` and the result counted in UTF-16 characters.
int getPluginInfoW(const spi::PluginInfoTable& table, int infono, spi::WideChar* buf, int buflen);

}  // namespace support
