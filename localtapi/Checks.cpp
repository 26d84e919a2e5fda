#include "localtapi/Checks.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace localtapi {

namespace {

constexpr DWORD kAllMediaModes = 0x00007FFE;

} // namespace

LONG CheckVersion(DWORD version, DWORD low, DWORD high) {
    if (!telephony::tapi::IsPublishedVersion(version) || version < low || version > high)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    return 0;
}

LONG CheckDeviceVersion(DWORD version, const DeviceCaps& caps) {
    return CheckVersion(version, std::max(caps.lowAPIVersion, kLowestVersion),
                        std::min(caps.highAPIVersion, kServiceVersion));
}

LONG NegotiateVersion(DWORD low, DWORD high, const DeviceCaps& caps, DWORD& version) {
    if (low > high)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    const DWORD v = telephony::tapi::HighestPublishedVersion(std::max({low, caps.lowAPIVersion, kLowestVersion}),
                                                             std::min({high, caps.highAPIVersion, kServiceVersion}));
    if (v == 0)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    version = v;
    return 0;
}

LONG CheckExtVersion(DWORD extVersion, const DeviceCaps& caps) {
    if (extVersion != 0 && (extVersion < caps.lowExtVersion || extVersion > caps.highExtVersion))
        return LINEERR_INCOMPATIBLEEXTVERSION;
    return 0;
}

LONG CheckPrivileges(DWORD privileges, DWORD mediaModes, const DeviceCaps& caps) {
    const bool valid = privileges == LINECALLPRIVILEGE_NONE ||
                       (privileges != 0 && (privileges & ~(LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER)) == 0);
    if (!valid)
        return LINEERR_INVALPRIVSELECT;
    if ((privileges & LINECALLPRIVILEGE_OWNER) != 0 &&
        (mediaModes == 0 || (mediaModes & ~kAllMediaModes) != 0 || (mediaModes & ~caps.mediaModes) != 0))
        return LINEERR_INVALMEDIAMODE;
    return 0;
}

bool ValidDeviceClass(LPCSTR deviceClass) {
    if (deviceClass == nullptr || *deviceClass == '\0')
        return true;
    std::string lower(deviceClass);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return lower == "tapi/line";
}

LONG CheckAddress(const char* address, DWORD devCapFlags) {
    static constexpr std::string_view kDialable = "0123456789ABCDabcd*#!PpTtWw,@$?;+ ()-.|^";
    for (const char* c = address; *c != '\0'; ++c) {
        if (kDialable.find(*c) == std::string_view::npos)
            return LINEERR_INVALADDRESS;
    }
    for (const char* c = address; *c != '\0'; ++c) {
        if (*c == '?')
            return LINEERR_DIALPROMPT;
        if ((*c == 'W' || *c == 'w') && (devCapFlags & LINEDEVCAPFLAGS_DIALDIALTONE) == 0)
            return LINEERR_DIALDIALTONE;
        if (*c == '@' && (devCapFlags & LINEDEVCAPFLAGS_DIALQUIET) == 0)
            return LINEERR_DIALQUIET;
        if (*c == '$' && (devCapFlags & LINEDEVCAPFLAGS_DIALBILLING) == 0)
            return LINEERR_DIALBILLING;
    }
    return 0;
}

} // namespace localtapi
