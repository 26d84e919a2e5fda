// WriteDevCaps: a line device's capabilities written into the caller's LINEDEVCAPS, as
// lineGetDevCapsA returns them for one API version.
//
// Pure: reads the capabilities and the buffer's dwTotalSize, writes nothing beyond it.
// The fixed part is the size that version published (later versions appended fields);
// the strings (provider, switch, line name) follow it, each whole and NUL-terminated, or
// left out when it does not fit; dwNeededSize tells what all of them need.
#pragma once

#include "localtapi/LineDriver.h"

namespace localtapi {

// The fixed part of LINEDEVCAPS for an API version.
DWORD DevCapsFixedSize(DWORD version);

// 0, or LINEERR_STRUCTURETOOSMALL when dwTotalSize does not hold the fixed part.
LONG WriteDevCaps(const DeviceCaps& caps, DWORD version, LINEDEVCAPS& buffer);

} // namespace localtapi
