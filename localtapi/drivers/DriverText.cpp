#include "localtapi/drivers/DriverText.h"

namespace localtapi {

std::optional<std::string> DialableNumber(std::string_view number) {
    std::string out;
    for (char c : number) {
        if (c == ' ' || c == '-' || c == '.' || c == '(' || c == ')')
            continue;
        const bool digit = (c >= '0' && c <= '9') || c == '*' || c == '#';
        if (!digit && !(c == '+' && out.empty()))
            return std::nullopt;
        out += c;
    }
    if (out.empty() || out == "+")
        return std::nullopt;
    return out;
}

std::uint32_t StableLineId(std::string_view device) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : device) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

} // namespace localtapi
