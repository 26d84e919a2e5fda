#include "DialingRules.h"

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

// Splits "+CC (AREA) SUBSCRIBER" (the area part optional); false for any other form.
bool ParseCanonical(std::string_view s, Canonical& out) {
    SkipSpaces(s);
    if (s.empty() || s.front() != '+')
        return false;
    s.remove_prefix(1);
    out.country = TakeDigits(s);
    if (out.country.empty())
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

} // namespace

std::string TranslateAddress(std::string_view number, const Location& location) {
    Canonical c;
    if (!ParseCanonical(number, c))
        return location.outsidePrefix + std::string(number);
    if (c.country != location.countryCode)
        return location.outsidePrefix + location.internationalPrefix + c.country + c.area + c.subscriber;
    if (c.area.empty() || c.area == location.areaCode)
        return location.outsidePrefix + c.subscriber;
    return location.outsidePrefix + location.longDistancePrefix + c.area + c.subscriber;
}

} // namespace localtapi
