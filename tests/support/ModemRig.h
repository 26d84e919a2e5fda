// The modem driver on the pty simulator, for the driver's tests: short timeouts, a sink
// that records what the driver reports as one line, and a rig of simulator and driver.
#pragma once

#include "localtapi/drivers/modem/ModemLine.h"
#include "tests/support/ModemSimulator.h"

#include <string>

namespace modemtest {

using namespace localtapi::modem;
using Script = ModemSimulator::Script;


// A silent modem costs under a second, yet a loaded machine lets the simulator answer in time.
constexpr ModemTimeouts kTimeouts{.command = milliseconds(600),
                                  .dialBase = milliseconds(800),
                                  .dialPerChar = milliseconds(0),
                                  .abort = milliseconds(400),
                                  .probe = milliseconds(150),
                                  .guard = milliseconds(120)};

// The constant's name after its prefix, e.g. "BUSY" for LINECALLSTATE_BUSY.
#define N(constant)                                                                                          \
    { static_cast<DWORD>(constant), #constant }
inline std::string Name(DWORD value, std::initializer_list<std::pair<DWORD, std::string>> names) {
    for (const auto& [v, name] : names)
        if (v == value)
            return name.substr(name.find('_') + 1);
    return std::to_string(value);
}

// Records what the driver reports as one comma-separated log.
struct Recorder : localtapi::LineDriverSink {
    std::string log;
    void Add(const std::string& event) { log += (log.empty() ? "" : ", ") + event; }
    void RequestCompleted(localtapi::RequestId request, LONG result) override {
        Add("reply " + std::to_string(request) + " " +
            (result ? Name(result, {N(LINEERR_OPERATIONFAILED), N(LINEERR_NODEVICE), N(LINEERR_INVALADDRESS),
                                   N(LINEERR_CALLUNAVAIL), N(LINEERR_OPERATIONUNAVAIL)})
                    : "0"));
    }
    void CallState(localtapi::CallId, DWORD state, DWORD mode) override {
        Add(Name(state, {N(LINECALLSTATE_IDLE), N(LINECALLSTATE_DIALTONE), N(LINECALLSTATE_DIALING),
                         N(LINECALLSTATE_PROCEEDING), N(LINECALLSTATE_RINGBACK), N(LINECALLSTATE_CONNECTED), N(LINECALLSTATE_BUSY),
                         N(LINECALLSTATE_DISCONNECTED)}));
        if (state == LINECALLSTATE_DISCONNECTED)
            log += " " + Name(mode, {N(LINEDISCONNECTMODE_NORMAL), N(LINEDISCONNECTMODE_UNKNOWN),
                                     N(LINEDISCONNECTMODE_BUSY), N(LINEDISCONNECTMODE_NOANSWER),
                                     N(LINEDISCONNECTMODE_BADADDRESS), N(LINEDISCONNECTMODE_UNAVAIL),
                                     N(LINEDISCONNECTMODE_NODIALTONE), N(LINEDISCONNECTMODE_UNREACHABLE),
                                     N(LINEDISCONNECTMODE_REJECT)});
    }
    void LineDevState(DWORD state, DWORD, DWORD count) override {
        if (state == LINEDEVSTATE_RINGING)
            Add("RING " + std::to_string(count));
    }
    void DeviceRemoved() override { Add("removed"); }
};

// What a test changes in the settings; the port is the simulator's unless given.
struct Tweak {
    std::string init = ""; // empty: the default
    bool blind = false;
    std::string prefix = "";
    DialMode mode = DialMode::Tone;
    const char* port = nullptr;
};

inline ModemSettings Settings(const ModemSimulator& sim, const Tweak& t) {
    localtapi::LineSettings group;
    group.entries.push_back({"port", t.port ? t.port : sim.Path(), 0});
    std::vector<localtapi::ConfigProblem> problems;
    ModemSettings s = ReadModemSettings(group, problems).value(); // the table's defaults
    s.init = t.init.empty() ? s.init : t.init;
    s.blind = t.blind;
    s.prefix = t.prefix;
    s.dialMode = t.mode;
    return s;
}

// A simulated modem and a driver on its pty.
struct Rig {
    explicit Rig(Script script = {}, const Tweak& tweak = {}, ModemTimeouts timeouts = kTimeouts,
                 std::string link = {})
        : sim(std::move(script), std::move(link)), settings(Settings(sim, tweak)), line(settings, timeouts) {
        line.SetRemarks([this](const std::string& text, bool forUser) {
            remarks += (forUser ? "! " : "  ") + text + "\n";
        });
    }
    bool WaitFor(const std::string& event) {
        return WaitUntil([&] { return sink.log.find(event) != std::string::npos; });
    }
    std::string remarks; // "! " for the user, "  " for the trace only; outlives the line
    Recorder sink;
    ModemSimulator sim;
    ModemSettings settings;
    ModemLine line;
};


} // namespace modemtest
