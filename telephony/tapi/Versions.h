// The telephony API versions, by name. A version is a 32-bit value with the major version
// in the high 16 bits and the minor version in the low 16 bits (0x00010003 is 1.3).
// Negotiation only ever answers one of the published versions listed here.
#pragma once

#include "telephony/tapi/Types.h"

#include <iterator>

namespace telephony::tapi {

inline constexpr DWORD kVersion1_3 = 0x00010003;
inline constexpr DWORD kVersion1_4 = 0x00010004;
inline constexpr DWORD kVersion2_0 = 0x00020000;
inline constexpr DWORD kVersion2_1 = 0x00020001;
inline constexpr DWORD kVersion2_2 = 0x00020002;
inline constexpr DWORD kVersion3_0 = 0x00030000;
inline constexpr DWORD kVersion3_1 = 0x00030001;

// Every published version, in ascending order.
inline constexpr DWORD kPublishedVersions[] = {kVersion1_3, kVersion1_4, kVersion2_0, kVersion2_1,
                                                kVersion2_2, kVersion3_0, kVersion3_1};

constexpr bool IsPublishedVersion(DWORD version) {
    for (DWORD v : kPublishedVersions)
        if (v == version)
            return true;
    return false;
}

// The highest published version within [low, high]; 0 when there is none.
constexpr DWORD HighestPublishedVersion(DWORD low, DWORD high) {
    for (auto it = std::rbegin(kPublishedVersions); it != std::rend(kPublishedVersions); ++it)
        if (*it >= low && *it <= high)
            return *it;
    return 0;
}

} // namespace telephony::tapi
