// Oslin's information table, as GetPluginInfo hands it to the host.
#pragma once

#include "plugin_api/plugin_api.h"

namespace oslin {

inline constexpr spi::PluginInfoTable kPluginInfo = {
    "00IN",
    "GGA import plug-in ver.0.01 (c) 2026 the Vantrel tool set",
    "*.gg0;*.gg1",
    "GGA file",
};

}  // namespace oslin
