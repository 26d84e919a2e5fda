#include "localtapi/qt/SystemTapi.h"

#include "localtapi/ConfigurationWatcher.h"
#include "localtapi/qt/LineDialogs.h"
#include "telephony/trace/TracingTapi.h"

namespace localtapi::qt {

namespace {

// The one service of the process and the seam over it, emptied by EndSystemTelephony. The
// holder itself is never destroyed, so no exit handler ends either of them.
struct SystemTelephony {
    std::shared_ptr<LocalTapi> service;
    std::shared_ptr<mTAPIDecs::TapiApi> api;
    std::unique_ptr<ConfigurationWatcher> watcher; // the service follows its file
};

SystemTelephony& System() {
    static SystemTelephony* const system = new SystemTelephony; // never destroyed: see above
    return *system;
}

} // namespace

std::shared_ptr<LocalTapi> SystemService() {
    SystemTelephony& system = System();
    if (!system.service) {
        const std::string path = ConfigurationPath();
        LocalTapi::Options options;
        options.configuration = LoadConfiguration(path, SystemConfigurationPaths());
        system.service = NewLocalTapi(std::move(options));
        system.watcher = std::make_unique<ConfigurationWatcher>(path, [path] {
            if (const std::shared_ptr<LocalTapi>& service = System().service)
                service->Reload(LoadConfiguration(path, SystemConfigurationPaths()));
        });
    }
    return system.service;
}

void EndSystemTelephony() {
    SystemTelephony& system = System();
    // The trace holds the service: it goes first, then the service, its drivers and devices.
    system.api.reset();
    system.watcher.reset();
    system.service.reset();
}

} // namespace localtapi::qt

namespace mTAPIDecs {

std::shared_ptr<TapiApi> SystemTapi() {
    localtapi::qt::SystemTelephony& system = localtapi::qt::System();
    if (system.api)
        return system.api;
    const std::shared_ptr<localtapi::LocalTapi> service = localtapi::qt::SystemService();
    std::shared_ptr<TapiApi> traced = telephony::trace::TracedFromEnvironment(service);
    // The drivers' steps go into the trace too, while the trace is there.
    if (auto layer = std::dynamic_pointer_cast<telephony::trace::TracingTapi>(traced))
        service->SetNotes([weak = std::weak_ptr<telephony::trace::TracingTapi>(layer)](const std::string& text) {
            if (auto t = weak.lock())
                t->Note(text);
        });
    system.api = traced;
    return traced;
}

void EndSystemTapi() {
    localtapi::qt::EndSystemTelephony();
}

} // namespace mTAPIDecs
