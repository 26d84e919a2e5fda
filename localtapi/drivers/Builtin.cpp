// The drivers built into the program. Each driver folder provides one Register function;
// add a line here for a new one.
#include "LineDriver.h"

namespace localtapi {

void RegisterSimulatedDriver(DriverRegistry& registry);
void RegisterModemDriver(DriverRegistry& registry);

void RegisterBuiltinDrivers(DriverRegistry& registry) {
    RegisterSimulatedDriver(registry);
    RegisterModemDriver(registry);
}

} // namespace localtapi
