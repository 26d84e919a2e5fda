#include "localtapi/LineSettings.h"

#include <charconv>
#include <limits>

namespace localtapi {

namespace {

// Parses a whole unsigned 32-bit number, decimal or 0x hexadecimal; false on anything else.
bool ParseUnsigned(std::string_view text, std::uint64_t& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > 0xFFFFFFFFull)
        return false;
    out = value;
    return true;
}

void Problem(std::vector<ConfigProblem>& problems, const LineSettings::Entry& e, std::string what) {
    problems.push_back({e.line, "key '" + e.key + "': " + what});
}

} // namespace

const LineSettings::Entry* LineSettings::Find(std::string_view key) const {
    for (const Entry& e : entries)
        if (e.key == key)
            return &e;
    return nullptr;
}

std::string LineSettings::Text(std::string_view key, std::string_view fallback) const {
    const Entry* e = Find(key);
    return e ? e->value : std::string(fallback);
}

void LineSettings::Set(std::string_view key, std::string_view value) {
    for (Entry& e : entries)
        if (e.key == key) {
            e.value = std::string(value);
            return;
        }
    entries.push_back({std::string(key), std::string(value), 0});
}

bool LineSettings::Unsigned(std::string_view key, DWORD fallback, DWORD min, DWORD max, DWORD& out,
                            std::vector<ConfigProblem>& problems) const {
    out = fallback;
    const Entry* e = Find(key);
    if (e == nullptr)
        return true;
    std::uint64_t value = 0;
    if (!ParseUnsigned(e->value, value)) {
        Problem(problems, *e, "'" + e->value + "' is not a whole number");
        return false;
    }
    if (value < min || value > max) {
        Problem(problems, *e,
                e->value + " is out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")");
        return false;
    }
    out = static_cast<DWORD>(value);
    return true;
}

bool LineSettings::Signed(std::string_view key, LONG fallback, LONG& out,
                          std::vector<ConfigProblem>& problems) const {
    out = fallback;
    const Entry* e = Find(key);
    if (e == nullptr)
        return true;
    std::string_view text = e->value;
    std::uint64_t value = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (!ParseUnsigned(text, value)) {
            Problem(problems, *e, "'" + e->value + "' is not a 32-bit number");
            return false;
        }
        out = static_cast<LONG>(static_cast<DWORD>(value));
        return true;
    }
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        text.remove_prefix(1);
    if (!ParseUnsigned(text, value) || (text.size() > 2 && text[1] == 'x') ||
        value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) {
        Problem(problems, *e, "'" + e->value + "' is not a 32-bit number");
        return false;
    }
    out = negative ? static_cast<LONG>(-static_cast<std::int64_t>(value)) : static_cast<LONG>(value);
    return true;
}

} // namespace localtapi
