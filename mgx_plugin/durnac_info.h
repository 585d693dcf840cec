// Durnac's information table, as GetPluginInfo hands it to the host.
#pragma once

#include "plugin_api/plugin_api.h"

namespace durnac {

inline constexpr spi::PluginInfoTable kPluginInfo = {
    "00AM",
    "MGX extract plug-in ver.0.01 (c) 2026 the Vantrel tool set",
    "*.mgx",
    "MGX archive",
};

}  // namespace durnac
