// The fixture of the service tests that call the service directly: a callback that records
// every message, a driver whose every step the test performs itself, and helpers to
// register, open and connect.
#pragma once

#include "tests/support/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace svctest {

using namespace localtapi;
using Strings = std::vector<std::string>;


// A message as "hDevice message instance p1 p2".
inline std::string Brief(DWORD h, DWORD message, DWORD instance, DWORD p1, DWORD p2) {
    std::ostringstream o;
    o << h << ' ' << message << ' ' << instance << ' ' << p1 << ' ' << p2;
    return o.str();
}

inline Strings g_seen;                           // every message delivered to Record, in Brief
inline std::map<DWORD, std::vector<DWORD>> g_p1; // their p1, by message
inline void CALLBACK Record(DWORD h, DWORD msg, DWORD_PTR inst, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR) {
    g_seen.push_back(Brief(h, msg, inst, p1, p2));
    g_p1[msg].push_back(p1);
}
inline void Forget() {
    g_seen.clear();
    g_p1.clear();
}

// A driver whose every step the test performs itself through the sink it keeps.
struct ScriptedDriver : LineDriver {
    static inline ScriptedDriver* last = nullptr; // the one made most recently
    ScriptedDriver() { last = this; }
    DeviceCaps Caps() const override { return {}; }
    LONG Open(LineDriverSink& s) override {
        calls.push_back("Open");
        if (duringOpen)
            duringOpen();
        if (openResult != 0)
            return openResult;
        sink = &s;
        return 0;
    }
    void Close() override { calls.push_back("Close"); }
    LONG MakeCall(RequestId r, CallId c, const char* dest) override {
        calls.push_back(std::string("MakeCall ") + dest);
        request = r;
        call = c;
        return 0;
    }
    LONG Drop(RequestId, CallId) override { return 0; }
    void ReleaseCall(CallId) override { calls.push_back("ReleaseCall"); }
    std::vector<std::string> calls;
    LineDriverSink* sink = nullptr;
    std::function<void()> duringOpen;
    LONG openResult = 0; // what Open answers
    RequestId request = 0;
    CallId call = 0;
};

class Service : public testing::Test {
  protected:
    void SetUp() override { Forget(); }

    static HLINEAPP Initialize(LocalTapi& s) {
        const testsupport::LineApp started = testsupport::StartLineApp(s, &Record);
        EXPECT_EQ(started.result, 0);
        return started.app;
    }
    static HLINE Open(LocalTapi& s, HLINEAPP app, DWORD device = 0, DWORD_PTR instance = 0x1234) {
        HLINE line = 0;
        EXPECT_EQ(s.lineOpen(app, device, &line, 0x00030000, 0, instance, LINECALLPRIVILEGE_NONE,
                             LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
                  0);
        return line;
    }
    // A service whose one device is a scripted driver, then in drv.
    std::shared_ptr<LocalTapi> Scripted() {
        ServiceSetup setup;
        setup.ini = "[line0]\ndriver=scripted\n";
        setup.drivers = [](DriverRegistry& r) {
            DriverInfo info;
            info.name = "scripted";
            info.create = [](auto&, auto&) { return std::make_unique<ScriptedDriver>(); };
            r.Register(std::move(info));
        };
        auto s = MakeService(setup);
        drv = ScriptedDriver::last;
        return s;
    }
    ScriptedDriver* drv = nullptr;
    // A line of app with a call the scripted driver has made; the messages so far forgotten.
    HLINE Connected(LocalTapi& s, HLINEAPP app, HCALL& call) {
        const HLINE line = Open(s, app);
        EXPECT_GT(s.lineMakeCallA(line, &call, "1", 0, nullptr), 0);
        drv->sink->RequestCompleted(drv->request, 0);
        Settle();
        Forget();
        return line;
    }
    static DWORD LastState() { return g_p1[LINE_CALLSTATE].empty() ? 0 : g_p1[LINE_CALLSTATE].back(); }
};

} // namespace svctest
