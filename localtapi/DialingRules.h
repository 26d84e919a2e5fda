// DialingRules: the caller's location and how a number is turned into what is dialled.
//
// A number in canonical form, "+<country> (<area>) <subscriber>" (or without the area,
// "+<country> <subscriber>"), is dialled as a local
// call inside the location's own area, as a long-distance call inside its country, and
// as an international call otherwise. A number in international form written otherwise
// ("+1-206-555-1212", "+12065551212", as links write them) is read with its digits:
// the location's country code at the front makes it a call in the country, and then the
// location's area code at the front of the rest a local call. The result has no visual
// separators. Any other number is dialled as given. The outside-line prefix (e.g. "9,")
// goes in front of every number that is dialled.
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

// True for a number in international form: a "+" first (after spaces).
bool InInternationalForm(std::string_view number);

} // namespace localtapi
