// Helpers of the service tests: a service built on configuration text, a recording line
// callback, a scripted driver the test drives by hand, and waiting on the event loop.
#pragma once

#include "LineDialogs.h"
#include "LocalTapi.h"

#include <QTest>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace svctest {

// Every timing of the simulated line at 0 ms, with a busy and an unanswered number.
inline const char* kFastLine = "[line0]\n"
                               "driver=simulated\n"
                               "name=Test line\n"
                               "reply_ms=0\ndialtone_ms=0\ndigit_ms=0\nproceeding_ms=0\nanswer_ms=0\n"
                               "busy_ms=0\nnoanswer_ms=0\ndrop_ms=0\n"
                               "busy=555-0100\nnoanswer=555-0199\n";

struct Message {
    DWORD hDevice, message;
    DWORD_PTR instance, p1, p2, p3;
};

// The line callback of the direct service tests: records every message and runs an
// optional hook (which may call the service again).
struct Recorder {
    static inline std::vector<Message> messages;
    static inline std::function<void(const Message&)> hook;
    static void CALLBACK Callback(DWORD hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR p1,
                                  DWORD_PTR p2, DWORD_PTR p3) {
        const Message m{hDevice, message, instance, p1, p2, p3};
        messages.push_back(m);
        if (hook)
            hook(m);
    }
    static void Reset() {
        messages.clear();
        hook = nullptr;
    }
};

// A driver whose every step the test performs itself through the sink it exposes.
struct ScriptedDriver : localtapi::LineDriver {
    struct Log {
        std::vector<std::string> calls;
        localtapi::LineDriverSink* sink = nullptr;
        LONG openResult = 0;
        std::function<void()> duringOpen;
        localtapi::RequestId lastRequest = 0;
        localtapi::CallId lastCall = 0;
    };
    explicit ScriptedDriver(std::shared_ptr<Log> l) : log(std::move(l)) {}
    localtapi::DeviceCaps Caps() const override {
        localtapi::DeviceCaps c;
        c.lineName = "Scripted";
        return c;
    }
    LONG Open(localtapi::LineDriverSink& s) override {
        log->calls.push_back("Open");
        if (log->duringOpen)
            log->duringOpen();
        if (log->openResult == 0)
            log->sink = &s;
        return log->openResult;
    }
    void Close() override {
        log->calls.push_back("Close");
        log->sink = nullptr;
    }
    LONG MakeCall(localtapi::RequestId r, localtapi::CallId c, const char* dest) override {
        log->calls.push_back(std::string("MakeCall ") + (dest ? dest : "NULL"));
        log->lastRequest = r;
        log->lastCall = c;
        return 0;
    }
    LONG Drop(localtapi::RequestId r, localtapi::CallId) override {
        log->calls.push_back("Drop");
        log->lastRequest = r;
        return 0;
    }
    void ReleaseCall(localtapi::CallId) override { log->calls.push_back("ReleaseCall"); }
    std::shared_ptr<Log> log;
};

// Registers the built-in drivers and "scripted", whose devices share one log.
inline std::function<void(localtapi::DriverRegistry&)>
WithScripted(std::shared_ptr<ScriptedDriver::Log> log) {
    return [log](localtapi::DriverRegistry& r) {
        localtapi::RegisterBuiltinDrivers(r);
        r.Register({"scripted", "test driver", {}, [log](const localtapi::LineSettings&, auto&) {
                        return std::make_unique<ScriptedDriver>(log);
                    }});
    };
}

struct ServiceSetup {
    std::string ini = kFastLine;
    std::string path = "/nonexistent/telephony.ini";
    std::string tracePath;
    std::function<void(localtapi::DriverRegistry&)> drivers = localtapi::RegisterBuiltinDrivers;
};

inline std::shared_ptr<localtapi::LocalTapi> MakeService(const ServiceSetup& setup,
                                                         std::ostream* errors = nullptr) {
    static std::ostringstream sink;
    localtapi::LocalTapi::Options o;
    o.configuration = localtapi::ParseConfiguration(setup.ini, setup.path);
    if (!setup.tracePath.empty())
        o.trace = localtapi::Trace::Open(setup.tracePath);
    o.drivers = setup.drivers;
    o.errors = errors != nullptr ? errors : &sink;
    return localtapi::NewLocalTapi(std::move(o));
}

inline std::shared_ptr<localtapi::LocalTapi> MakeService(const std::string& ini = kFastLine) {
    ServiceSetup s;
    s.ini = ini;
    return MakeService(s);
}

// Registers an application on the service with the recording callback.
inline HLINEAPP Initialize(localtapi::LocalTapi& service, DWORD* numDevs = nullptr) {
    HLINEAPP app = 0;
    DWORD devs = 0;
    DWORD version = 0x00030000;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    if (service.lineInitializeExA(&app, nullptr, &Recorder::Callback, "test", &devs, &version, &params) != 0)
        return 0;
    if (numDevs != nullptr)
        *numDevs = devs;
    return app;
}

// Lets the event loop run until pred holds (true) or the time is up (false).
inline bool WaitFor(const std::function<bool()>& pred, int ms = 3000) {
    return QTest::qWaitFor(pred, ms);
}
// Lets the event loop run for a while.
inline void Spin(int ms = 30) {
    QTest::qWait(ms);
}

inline bool Clean(const localtapi::LocalTapi& s) {
    const auto c = s.census();
    return c.apps == 0 && c.lines == 0 && c.calls == 0 && c.requests == 0 && c.queuedMessages == 0 &&
           c.icons == 0;
}

} // namespace svctest
