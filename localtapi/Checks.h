// Checks: the argument and version checks of the telephony operations, each written once
// and returning the LINEERR code TAPI documents for the fault (0 when it passes).
//
// Versions: the service implements the published API versions from kLowestVersion to
// kServiceVersion; a device narrows that to its own range. Negotiation answers the
// highest published version inside both the application's range and the device's, and
// lineGetDevCapsA and lineOpen take only a version that negotiation could have answered.
#pragma once

#include "localtapi/LineDriver.h"

namespace localtapi {

inline constexpr DWORD kServiceVersion = telephony::tapi::kVersion3_0; // highest implemented
inline constexpr DWORD kLowestVersion = telephony::tapi::kVersion1_3;  // lowest accepted

// LINEERR_INCOMPATIBLEAPIVERSION unless version is published and within [low, high].
LONG CheckVersion(DWORD version, DWORD low, DWORD high);
// The same for a device: within both the service's range and the device's.
LONG CheckDeviceVersion(DWORD version, const DeviceCaps& caps);
// The version negotiation answers for [low, high] on a device, or the error.
LONG NegotiateVersion(DWORD low, DWORD high, const DeviceCaps& caps, DWORD& version);
// Extension versions: 0 (none), or within the device's extension range.
LONG CheckExtVersion(DWORD extVersion, const DeviceCaps& caps);

// lineOpen's privileges and media modes (media modes matter only to an owner: they are
// the calls it takes).
LONG CheckPrivileges(DWORD privileges, DWORD mediaModes, const DeviceCaps& caps);
// A device class: none, or "tapi/line" in any letter case.
bool ValidDeviceClass(LPCSTR deviceClass);
// A destination address: TAPI's dialable characters only; the dial modifiers that need a
// device capability are refused with their own codes when the device lacks it.
LONG CheckAddress(const char* address, DWORD devCapFlags);

} // namespace localtapi
