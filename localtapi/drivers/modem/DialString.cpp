#include "localtapi/drivers/modem/DialString.h"

#include <algorithm>

namespace localtapi::modem {

namespace {

bool IsDialable(char c) {
    if (c >= '0' && c <= '9')
        return true;
    if (c >= 'A' && c <= 'D')
        return true;
    switch (c) {
    case '*':
    case '#':
    case ',':
    case 'W':
    case '@':
    case '!':
    case 'P':
    case 'T':
        return true;
    default:
        return false;
    }
}

bool IsFormatting(char c) {
    switch (c) {
    case ' ':
    case '-':
    case '(':
    case ')':
    case '.':
    case ';':
    case '\t':
        return true;
    default:
        return false;
    }
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::optional<std::string> CleanDialString(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char raw : text) {
        const char c = Upper(raw);
        if (IsDialable(c))
            out.push_back(c);
        else if (!IsFormatting(c))
            return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::string>> BuildDialCommands(std::string_view number, std::string_view prefix,
                                                          DialMode mode) {
    // A telephony address may carry a subaddress after '|' and a name after '^'; neither
    // is dialled.
    number = number.substr(0, std::min(number.find('|'), number.find('^')));
    const std::optional<std::string> cleanPrefix = CleanDialString(prefix);
    const std::optional<std::string> cleanNumber = CleanDialString(number);
    if (!cleanPrefix || !cleanNumber)
        return std::nullopt;
    const std::string digits = *cleanPrefix + *cleanNumber;

    std::vector<std::string> commands;
    std::string command = mode == DialMode::Tone ? "ATDT" : "ATDP";
    for (char c : digits) {
        if (command.size() + 2 > kMaxCommandChars) { // room for c and ';'
            commands.push_back(command + ';');
            command = "ATD";
        }
        command.push_back(c);
    }
    commands.push_back(command + ';');
    return commands;
}

} // namespace localtapi::modem
