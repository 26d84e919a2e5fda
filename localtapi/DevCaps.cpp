#include "localtapi/DevCaps.h"

#include <cstring>

namespace localtapi {

namespace tapi = telephony::tapi;

DWORD DevCapsFixedSize(DWORD version) {
    if (version < tapi::kVersion1_4)
        return offsetof(LINEDEVCAPS, dwLineFeatures);
    if (version < tapi::kVersion2_0)
        return offsetof(LINEDEVCAPS, dwSettableDevStatus);
    if (version < tapi::kVersion2_2)
        return offsetof(LINEDEVCAPS, PermanentLineGuid);
    if (version < tapi::kVersion3_0)
        return offsetof(LINEDEVCAPS, dwAddressTypes);
    return sizeof(LINEDEVCAPS);
}

LONG WriteDevCaps(const DeviceCaps& dc, DWORD version, LINEDEVCAPS& caps) {
    const DWORD fixed = DevCapsFixedSize(version);
    const DWORD total = caps.dwTotalSize;
    if (total < fixed)
        return LINEERR_STRUCTURETOOSMALL;
    auto* bytes = reinterpret_cast<unsigned char*>(&caps);
    std::memset(bytes + sizeof(DWORD), 0, fixed - sizeof(DWORD));
    caps.dwPermanentLineID = dc.permanentLineID;
    caps.dwStringFormat = STRINGFORMAT_ASCII;
    caps.dwAddressModes = dc.addressModes;
    caps.dwNumAddresses = dc.numAddresses;
    caps.dwBearerModes = dc.bearerModes;
    caps.dwMaxRate = dc.maxRate;
    caps.dwMediaModes = dc.mediaModes;
    caps.dwGenerateToneModes = dc.generateToneModes;
    caps.dwGenerateToneMaxNumFreq = dc.generateToneMaxNumFreq;
    caps.dwDevCapFlags = dc.devCapFlags;
    caps.dwMaxNumActiveCalls = dc.maxNumActiveCalls;
    caps.dwAnswerMode = LINEANSWERMODE_NONE; // no incoming calls
    caps.dwLineStates = LINEDEVSTATE_OTHER | LINEDEVSTATE_OPEN | LINEDEVSTATE_CLOSE | LINEDEVSTATE_REINIT;
    caps.dwNumTerminals = dc.numTerminals;
    if (fixed > offsetof(LINEDEVCAPS, dwLineFeatures))
        caps.dwLineFeatures = dc.lineFeatures;

    DWORD used = fixed;
    DWORD needed = fixed;
    auto place = [&](const std::string& text, DWORD& size, DWORD& offset) {
        const auto length = static_cast<DWORD>(text.size() + 1);
        needed += length;
        if (total - used < length)
            return;
        std::memcpy(bytes + used, text.c_str(), length);
        size = length;
        offset = used;
        used += length;
    };
    // Placed through locals: the fields sit in a packed structure.
    DWORD providerSize = 0, providerOffset = 0, switchSize = 0, switchOffset = 0, nameSize = 0, nameOffset = 0;
    place(dc.providerInfo, providerSize, providerOffset);
    place(dc.switchInfo, switchSize, switchOffset);
    place(dc.lineName, nameSize, nameOffset);
    caps.dwProviderInfoSize = providerSize;
    caps.dwProviderInfoOffset = providerOffset;
    caps.dwSwitchInfoSize = switchSize;
    caps.dwSwitchInfoOffset = switchOffset;
    caps.dwLineNameSize = nameSize;
    caps.dwLineNameOffset = nameOffset;
    caps.dwNeededSize = needed;
    caps.dwUsedSize = used;
    return 0;
}

} // namespace localtapi
