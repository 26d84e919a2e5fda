// CommandLine: what orvodial was asked to do by its arguments, and the number in a link.
//
// orvodial [LINK] | --line-settings | --dialing-properties | --help | --version
//
// LINK is a tel: (RFC 3966), callto: or sip:/sips: URI whose user part is a telephone
// number. Its number, percent-decoded and without the URI's parameters, goes into the
// number box; a link never dials by itself. No arguments: the dialer as it always was.
// Shared by the Qt and the native Windows start-up; no toolkit, no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

enum class Action { Dial, LineSettings, DialingProperties, Help, Version };

struct CommandLine {
    Action action = Action::Dial;
    std::optional<std::string> link; // the link as given, with Action::Dial
    std::string number;              // its number
    std::string error;               // not empty: refused (the program says so, exit status 2)
};

// The arguments after the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The telephone number in a link, or why there is none (error not empty).
struct LinkNumber {
    std::string number;
    std::string error;
};
LinkNumber NumberFromLink(std::string_view link);

// The --help text.
std::string UsageText();

// Exit status of a refused command line.
inline constexpr int kUsageExitStatus = 2;

} // namespace app
