// The modem driver on the pty simulator, for the driver's tests: short timeouts, the
// settings a test changes, and a rig of simulator, driver and recorder.
#pragma once

#include "localtapi/drivers/modem/ModemLine.h"
#include "tests/support/DriverRecorder.h"
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

using drivertest::Recorder;

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
