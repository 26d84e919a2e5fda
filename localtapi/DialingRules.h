// DialingRules: the caller's location and how a number is turned into what is dialled.
//
// A number in canonical form, "+<country> (<area>) <subscriber>", is dialled as a local
// call inside the location's own area, as a long-distance call inside its country, and
// as an international call otherwise; any other number is dialled as given. The
// outside-line prefix (e.g. "9,") goes in front of every number that is dialled.
// What it does not do: no calling cards, no call waiting codes, no per-area rules.
#pragma once

#include <string>
#include <string_view>

namespace localtapi {

struct Location {
    std::string outsidePrefix;               // dialled first to get an outside line
    std::string countryCode = "1";           // the location's country
    std::string areaCode;                    // the location's area
    std::string longDistancePrefix = "1";    // before the area code of another area
    std::string internationalPrefix = "011"; // before the country code of another country

    bool operator==(const Location&) const = default;
};

// The number as it would be dialled from the location.
std::string TranslateAddress(std::string_view number, const Location& location);

} // namespace localtapi
