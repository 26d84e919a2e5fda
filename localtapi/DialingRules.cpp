#include "localtapi/DialingRules.h"

namespace localtapi {

namespace {

struct Canonical {
    std::string country;
    std::string area;
    std::string subscriber;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void SkipSpaces(std::string_view& s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
}

std::string TakeDigits(std::string_view& s) {
    std::string out;
    while (!s.empty() && IsDigit(s.front())) {
        out += s.front();
        s.remove_prefix(1);
    }
    return out;
}

// Splits "+CC (AREA) SUBSCRIBER" or "+CC SUBSCRIBER"; false for any other form.
bool ParseCanonical(std::string_view s, Canonical& out) {
    SkipSpaces(s);
    if (s.empty() || s.front() != '+')
        return false;
    s.remove_prefix(1);
    out.country = TakeDigits(s);
    // The country code ends with a space or the area's bracket; "+1-206-..." and
    // "+12065551212" are international numbers of another form.
    if (out.country.empty() || s.empty() || (s.front() != ' ' && s.front() != '('))
        return false;
    SkipSpaces(s);
    if (!s.empty() && s.front() == '(') {
        s.remove_prefix(1);
        SkipSpaces(s);
        out.area = TakeDigits(s);
        SkipSpaces(s);
        if (s.empty() || s.front() != ')')
            return false;
        s.remove_prefix(1);
    }
    SkipSpaces(s);
    out.subscriber = std::string(s);
    while (!out.subscriber.empty() && out.subscriber.back() == ' ')
        out.subscriber.pop_back();
    return !out.subscriber.empty();
}

// "+<digits>" with the separators space, '-' and '.': the digits; false for anything else
// (brackets belong to the canonical form, and a number with a broken one goes as given).
bool ParseInternational(std::string_view s, std::string& digits) {
    SkipSpaces(s);
    if (s.empty() || s.front() != '+')
        return false;
    s.remove_prefix(1);
    digits.clear();
    for (char c : s) {
        if (IsDigit(c))
            digits += c;
        else if (std::string_view(" -.").find(c) == std::string_view::npos)
            return false;
    }
    return !digits.empty();
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return !prefix.empty() && s.substr(0, prefix.size()) == prefix;
}

std::string TranslateDigits(const std::string& digits, const Location& location) {
    if (!StartsWith(digits, location.countryCode))
        return location.outsidePrefix + location.internationalPrefix + digits;
    const std::string national = digits.substr(location.countryCode.size());
    if (StartsWith(national, location.areaCode) && national.size() > location.areaCode.size())
        return location.outsidePrefix + national.substr(location.areaCode.size());
    return location.outsidePrefix + location.longDistancePrefix + national;
}

} // namespace

bool InInternationalForm(std::string_view number) {
    SkipSpaces(number);
    return !number.empty() && number.front() == '+';
}

std::string TranslateAddress(std::string_view number, const Location& location) {
    Canonical c;
    if (!ParseCanonical(number, c)) {
        std::string digits;
        if (ParseInternational(number, digits))
            return TranslateDigits(digits, location);
        return location.outsidePrefix + std::string(number);
    }
    if (c.country != location.countryCode)
        return location.outsidePrefix + location.internationalPrefix + c.country + c.area + c.subscriber;
    if (c.area.empty() || c.area == location.areaCode)
        return location.outsidePrefix + c.subscriber;
    return location.outsidePrefix + location.longDistancePrefix + c.area + c.subscriber;
}

} // namespace localtapi
