// Helpers of the service tests: a service built on configuration text, waiting on events.
#pragma once

#include "localtapi/LocalTapi.h"
#include "localtapi/qt/LineDialogs.h"
#include "telephony/trace/TracingTapi.h"
#include "tests/support/LineApp.h"
#include "tests/support/Wait.h"

#include <QTest>

#include <functional>
#include <memory>
#include <sstream>
#include <string>

namespace svctest {

// Every timing of the simulated line at 0 ms, with a busy and an unanswered number.
inline const char* kFastLine = "[line0]\ndriver=simulated\nname=Test line\n"
                               "reply_ms=0\ndialtone_ms=0\ndigit_ms=0\nproceeding_ms=0\nanswer_ms=0\n"
                               "busy_ms=0\nnoanswer_ms=0\ndrop_ms=0\nbusy=555-0100\nnoanswer=555-0199\n";

struct ServiceSetup {
    std::string ini = kFastLine, path = "/nonexistent/telephony.ini";
    std::function<void(localtapi::DriverRegistry&)> drivers = localtapi::RegisterBuiltinDrivers;
    std::ostream* errors = nullptr; // null: discarded
};

inline std::shared_ptr<localtapi::LocalTapi> MakeService(const ServiceSetup& setup) {
    static std::ostringstream sink;
    localtapi::LocalTapi::Options o;
    o.configuration = localtapi::ParseConfiguration(setup.ini, setup.path);
    o.drivers = setup.drivers;
    o.errors = setup.errors != nullptr ? setup.errors : &sink;
    return localtapi::qt::NewLocalTapi(std::move(o));
}

inline std::shared_ptr<localtapi::LocalTapi> MakeService(const std::string& ini = kFastLine) {
    ServiceSetup s;
    s.ini = ini;
    return MakeService(s);
}

// The service under the telephony trace, written to the file at path.
inline std::shared_ptr<mTAPIDecs::TapiApi> Traced(std::shared_ptr<mTAPIDecs::TapiApi> api, const std::string& path) {
    return std::make_shared<telephony::trace::TracingTapi>(std::move(api), telephony::trace::TraceFile::Open(path));
}


inline bool Clean(const localtapi::LocalTapi& s) {
    const auto c = s.census();
    return c.apps + c.lines + c.calls + c.requests + c.queuedMessages + c.icons == 0;
}

} // namespace svctest
