// The process's telephony service: created on first use from the configuration file and
// the trace setting in the environment, with the Qt dialogs; it lives until the process
// ends.
#include "LineDialogs.h"

namespace mTAPIDecs {

std::shared_ptr<TapiApi> SystemTapi() {
    static const std::shared_ptr<localtapi::LocalTapi> service = [] {
        localtapi::LocalTapi::Options options;
        options.configuration = localtapi::LoadConfiguration(localtapi::ConfigurationPath());
        options.trace = localtapi::Trace::FromEnvironment();
        return localtapi::NewLocalTapi(std::move(options));
    }();
    return service;
}

} // namespace mTAPIDecs
