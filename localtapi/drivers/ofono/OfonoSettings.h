// OfonoSettings: what an oFono line group configures, its table of settings, and the
// driver's entry for the registry. The keys, defaults and help texts are the table
// kOfonoSettings (OfonoSettings.cpp), written once.
#pragma once

#include "localtapi/DriverSettings.h"
#include "localtapi/LineDriver.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace localtapi::ofono {

struct OfonoSettings {
    std::string modem; // object path; empty: the first modem with voice calls
    bool hangupOnDrop = false;
    DeviceCaps caps;
};

std::optional<OfonoSettings> ReadOfonoSettings(const LineSettings& settings, std::vector<ConfigProblem>& problems);

// The disconnect mode of a call that ended with oFono's DisconnectReason ("local",
// "remote", "network", or empty when none came), answered or not.
DWORD DisconnectModeFor(std::string_view reason, bool answered);

// The driver's description and settings, for the registry.
DriverInfo OfonoDriverInfo();

} // namespace localtapi::ofono
