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
    static const std::shared_ptr<TapiApi> api = [] {
        const std::shared_ptr<localtapi::LocalTapi> service = localtapi::qt::SystemService();
        std::shared_ptr<TapiApi> traced = telephony::trace::TracedFromEnvironment(service);
        // The drivers' steps go into the trace too. Weak: the trace may end first at exit.
        if (auto layer = std::dynamic_pointer_cast<telephony::trace::TracingTapi>(traced))
            service->SetNotes([weak = std::weak_ptr<telephony::trace::TracingTapi>(layer)](const std::string& text) {
                if (auto t = weak.lock())
                    t->Note(text);
            });
        return traced;
    }();
    return api;
}

} // namespace mTAPIDecs
