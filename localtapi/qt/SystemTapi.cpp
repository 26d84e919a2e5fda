#include "localtapi/qt/SystemTapi.h"

#include "localtapi/qt/LineDialogs.h"
#include "telephony/trace/TracingTapi.h"

namespace localtapi::qt {

std::shared_ptr<LocalTapi> SystemService() {
    static const std::shared_ptr<LocalTapi> service = [] {
        LocalTapi::Options options;
        options.configuration = LoadConfiguration(ConfigurationPath());
        return NewLocalTapi(std::move(options));
    }();
    return service;
}

} // namespace localtapi::qt

namespace mTAPIDecs {

std::shared_ptr<TapiApi> SystemTapi() {
    static const std::shared_ptr<TapiApi> api = telephony::trace::TracedFromEnvironment(localtapi::qt::SystemService());
    return api;
}

} // namespace mTAPIDecs
