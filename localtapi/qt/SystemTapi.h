// The process's local telephony service, made on first use from the configuration file,
// with the Qt dialogs and icons; it lives until the process ends. SystemTapi() (the seam
// the line object uses) is this service, under the trace when ORVODIAL_TAPI_TRACE is set.
#pragma once

#include "localtapi/LocalTapi.h"

#include <memory>

namespace localtapi::qt {

std::shared_ptr<LocalTapi> SystemService();

} // namespace localtapi::qt
