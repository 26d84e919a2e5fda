// The line drivers built into the program: one line per driver, in the order the
// configuration dialog lists them. A new driver is a folder under drivers/ with its
// DriverInfo (name, settings table, factory) and its own CMakeLists.txt defining
// localtapi_driver_<folder> (its sources and dependencies; every such folder is built in),
// and one line here.
#include "localtapi/LineDriver.h"
#include "localtapi/drivers/modem/ModemSettings.h"
#include "localtapi/drivers/ofono/OfonoSettings.h"
#include "localtapi/drivers/sip/SipSettings.h"
#include "localtapi/drivers/simulated/SimulatedLine.h"

namespace localtapi {

void RegisterBuiltinDrivers(DriverRegistry& registry) {
    registry.Register(simulated::SimulatedDriverInfo());
    registry.Register(modem::ModemDriverInfo());
    registry.Register(ofono::OfonoDriverInfo());
    registry.Register(sip::SipDriverInfo());
}

} // namespace localtapi
