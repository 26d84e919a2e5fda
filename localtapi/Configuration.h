// Configuration: the telephony configuration file of this program.
//
// An INI file (IniFile) with one group per line device, [line0], [line1], ..., in
// device-ID order, each with driver= and name= and the driver's own keys, and an optional
// [location] group for the dialing properties. Where the file is: the environment
// variable ORVODIAL_TELEPHONY_CONFIG, else orvodial/telephony.ini in the user's
// configuration folder (QStandardPaths: $XDG_CONFIG_HOME, else ~/.config). No file at all means one simulated line.
// Problems are collected as "file:line: what" messages; a line group with a malformed
// line, a duplicate group or no driver= is left out. Checking driver names and driver keys
// is the service's (it owns the drivers).
#pragma once

#include "localtapi/DialingRules.h"
#include "localtapi/LineDriver.h"

#include <string>
#include <string_view>
#include <vector>

namespace localtapi {

struct Configuration {
    std::string path; // where it was read from and where edits are saved
    bool fileFound = false;
    std::vector<LineSettings> lines; // device-ID order
    Location location;
    std::vector<std::string> messages; // "file:line: what is wrong"
    std::string firstLineLost;         // the first message that cost a line group
    std::string readError;             // why an existing file could not be read
    int lineGroups = 0;                // [lineN] groups in the file, usable or not
};

// The configuration file's path by the rules above.
std::string ConfigurationPath();

// The system-wide files an administrator writes, most important first: orvodial/
// telephony.ini in each of $XDG_CONFIG_DIRS (default /etc/xdg). None when
// ORVODIAL_TELEPHONY_CONFIG names the one file to read.
std::vector<std::string> SystemConfigurationPaths();

// Reads the file; a file that does not exist gives the default of one simulated line.
// With system-wide files: their line groups first, then the user's file; per group the
// user's keys override the system's, and the user's groups add to them. A system file's
// password= is refused (reported, naming the file) and its [location] is not read. No
// file at all gives the default.
Configuration LoadConfiguration(const std::string& path, const std::vector<std::string>& systemFiles = {});
// Reads configuration text as if it came from path.
Configuration ParseConfiguration(std::string_view text, const std::string& path);
// The configuration used when there is no file: one simulated line.
Configuration DefaultConfiguration(const std::string& path);

// Writes one device's group (name, driver, driver keys; keys no longer present are
// removed; values the same as a system-wide file's are left to it) or the location into the file, keeping everything else as it is. Creates the
// file and its folder when missing. False with a message on failure.
bool SaveLineSettings(const std::string& path, const LineSettings& settings, std::string& error);
bool SaveLocation(const std::string& path, const Location& location, std::string& error);

} // namespace localtapi
