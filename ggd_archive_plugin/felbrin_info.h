// Felbrin's information table, as GetPluginInfo hands it to the host.
#pragma once

#include "plugin_api/plugin_api.h"

namespace felbrin {

inline constexpr spi::PluginInfoTable kPluginInfo = {
    "00AM",
    "Purple GGD extract library Ver 1.00 by the Vantrel tool set, 2026",
    "*",
    "Purple Archive File(GGD.)",
};

}  // namespace felbrin
