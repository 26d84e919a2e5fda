// The process's local telephony service, made on first use from the configuration file,
// with the Qt dialogs and icons. SystemTapi() (the seam the line object uses) is this
// service, under the trace when ORVODIAL_TAPI_TRACE is set.
//
// The service follows its configuration file (ConfigurationWatcher): an edit saved by
// anyone is read again, and a line's new settings apply at its next open.
//
// Both live until EndSystemTelephony(), which the program calls once its windows and line
// objects are gone and before QApplication ends: the trace first, then the service with its
// drivers and devices. Nothing of them is left for the process's exit handlers.
#pragma once

#include "localtapi/LocalTapi.h"

#include <memory>

namespace localtapi::qt {

std::shared_ptr<LocalTapi> SystemService();

// Ends the trace layer and the service (a later SystemService() would make a new one).
void EndSystemTelephony();

} // namespace localtapi::qt
