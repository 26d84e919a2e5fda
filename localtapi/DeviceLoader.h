// LoadDevice: a line device's driver made from its settings group, and what is wrong with
// the group. The one way the service makes a driver: at start, after the settings dialog
// saved new settings, and to check the dialog's settings before they are saved.
//
// The group's driver= must name a registered driver; keys that driver does not declare
// are remarked on and ignored; the driver's factory reads the rest. A problem that made
// the device unusable says so (lineLost), so that callers can tell remarks from reasons.
// What it does not do: no file access, no opening of the device.
#pragma once

#include "localtapi/LineDriver.h"

#include <memory>
#include <string>
#include <vector>

namespace localtapi {

struct LoadProblem {
    int line = 0;          // line of the configuration file, 0 when none
    std::string text;      // for the file's problem list: "[line0] key 'port': missing ..."
    std::string bare;      // the same for the settings dialog, without the group
    bool lineLost = false; // the device was left out because of it
};

struct LoadedDevice {
    std::unique_ptr<LineDriver> driver; // null: the device was left out
    std::vector<LoadProblem> problems;
};

LoadedDevice LoadDevice(const DriverRegistry& drivers, const LineSettings& settings);

// "path:line: text" (or "path: text" without a line), as the problem list shows it.
std::string ProblemMessage(const std::string& path, int line, const std::string& text);

} // namespace localtapi
