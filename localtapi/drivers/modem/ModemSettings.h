// ModemSettings: what a modem line group configures, its table of settings, and the
// driver's entry for the registry. The keys, defaults and help texts are the table
// kModemSettings (ModemSettings.cpp), written once.
#pragma once

#include "localtapi/LineDriver.h"
#include "localtapi/drivers/modem/DialString.h"

#include <chrono>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

namespace localtapi::modem {

using std::chrono::milliseconds;

// How long the driver waits for the modem. Each expiry is handled (the operation fails or
// the call is disconnected); nothing waits longer.
struct ModemTimeouts {
    milliseconds command{3000};     // the init commands, the pre-dial check, ATH
    milliseconds dialBase{30000};   // one dial command: waiting for dial tone and the line
    milliseconds dialPerChar{2500}; // plus this per dial character (a ',' pauses 2 s)
    milliseconds abort{3000};       // the modem's result after a dial is aborted
    milliseconds probe{700};        // each "AT" (and ATZ, AT&F) of the reset at open: a port
                                    // where nothing answers any of them is told in
                                    // (ModemLine::kProbeAttempts + 2) x probe, under 4 s
    milliseconds guard{1000};       // silence before and after "+++" (the modem's S12)
};

// The init string used when a line group gives none. Its words are sent one by one after
// the reset, so that a modem that rejects one (X4, &C1 on cheap modems) is only told so.
inline constexpr std::string_view kDefaultInit = "AT&FE0V1&D2&C1X4";

struct ModemSettings {
    std::string port;
    unsigned speed = 0;
    std::string init;
    DialMode dialMode = DialMode::Tone;
    std::string prefix; // dialled before every number (e.g. "9," for an outside line)
    bool blind = false; // dial without waiting for dial tone (ATX3 before dialling)
    DeviceCaps caps;
};

// Reads the modem keys of a line group; problems name key and line.
std::optional<ModemSettings> ReadModemSettings(const LineSettings& settings,
                                               std::vector<ConfigProblem>& problems);

// Description and settings of the driver, for the registry and the configuration dialog.
DriverInfo ModemDriverInfo();

} // namespace localtapi::modem
