// Gorsel's information table, as GetPluginInfo hands it to the host.
#pragma once

#include "plugin_api/plugin_api.h"

namespace gorsel {

inline constexpr spi::PluginInfoTable kPluginInfo = {
    "00IN",
    "Purple GGD to DIB filter Ver 1.00 by the Vantrel tool set, 2026",
    "*.GGD",
    "Purple Graphic Data (GGD)",
};

}  // namespace gorsel
