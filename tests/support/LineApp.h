// A line application's start-up on any implementation of the telephony seam, as the line
// object does it: lineInitializeExA with the hidden-window option, asking for version 3.0.
#pragma once

#include "telephony/mTAPIDecs.h"

namespace testsupport {

struct LineApp {
    LONG result = 0;
    HLINEAPP app = 0;
    DWORD devices = 0;
    DWORD version = 0; // the version the telephony answered with
};

inline LineApp StartLineApp(mTAPIDecs::TapiApi& api, LINECALLBACK callback, const char* name = "test") {
    LineApp started;
    started.version = 0x00030000;
    LINEINITIALIZEEXPARAMS params{sizeof params, 0, 0, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW, {}, 0};
    started.result =
        api.lineInitializeExA(&started.app, nullptr, callback, name, &started.devices, &started.version, &params);
    return started;
}

} // namespace testsupport
