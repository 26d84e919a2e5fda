#include "localtapi/drivers/sip/SipFrag.h"

namespace localtapi::sip {

std::optional<int> SipfragStatus(std::string_view body) {
    const std::size_t end = body.find_first_of("\r\n");
    std::string_view line = body.substr(0, end);
    constexpr std::string_view kVersion = "SIP/2.0 ";
    if (line.size() < kVersion.size() + 3 || line.substr(0, kVersion.size()) != kVersion)
        return std::nullopt;
    line.remove_prefix(kVersion.size());
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return std::nullopt;
        code = code * 10 + (line[i] - '0');
    }
    // Three digits, then the reason phrase after a space, or nothing.
    if (line.size() > 3 && line[3] != ' ')
        return std::nullopt;
    if (code < 100 || code > 699)
        return std::nullopt;
    return code;
}

} // namespace localtapi::sip
