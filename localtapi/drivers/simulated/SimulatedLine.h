// SimulatedLine: a voice line device without hardware.
//
// Plays the call progress of a telephone exchange with configurable timings: dial tone,
// dialing (time per digit), proceeding, then ringback and connected, or busy, or no
// answer. Numbers that are busy or never answered, a LINEERR code with which calls are
// refused (at once or in the reply), a time after which the far end hangs up, a time after
// which the device disappears, and the supported API version range are settings. Timing
// runs on Qt timers of the service's thread; every delay may be 0.
// What it does not do: no audio, no incoming calls, one call at a time.
#pragma once

#include "localtapi/DriverSettings.h"
#include "localtapi/LineDriver.h"

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace localtapi::simulated {

// The typed settings of a simulated line. Their keys, defaults and ranges are the table
// kSimulatedSettings (SimulatedLine.cpp); read them with ReadSimulatedSettings.
struct SimulatedSettings {
    DWORD replyMs = 0;      // request to LINE_REPLY
    DWORD dialtoneMs = 0;   // dial tone before dialing starts
    DWORD digitMs = 0;      // dialing time per dialable character
    DWORD proceedingMs = 0; // dialing done to ringback / busy
    DWORD answerMs = 0;     // ringback to connected
    DWORD busyMs = 0;       // busy tone to disconnected
    DWORD noAnswerMs = 0;   // ringback to disconnected for an unanswered number
    DWORD hangupMs = 0;     // connected to the far end hanging up; 0 = never
    DWORD dropMs = 0;       // drop request to its reply and idle
    DWORD openMs = 0;       // time Open takes (spent in a nested event loop); 0 = at once
    DWORD vanishMs = 0;     // open to device removed; 0 = never
    LONG refuseCode = 0;    // LINEERR with which calls are refused; 0 = none
    bool refuseInReply = true;      // refused in LINE_REPLY (true) or by lineMakeCallA itself
    std::set<std::string> busy;     // normalized numbers
    std::set<std::string> noAnswer; // normalized numbers
    DeviceCaps caps;
};

// Reads the settings of a simulated line; problems name key and line.
std::optional<SimulatedSettings> ReadSimulatedSettings(const LineSettings& settings,
                                                       std::vector<ConfigProblem>& problems);
// The digits of a number as the simulated exchange compares them: 0-9, *, #, A-D; a
// leading + kept. Everything else (spaces, dashes, brackets, dial modifiers) dropped.
std::string NormalizeNumber(std::string_view number);

class SimulatedLine : public LineDriver {
  public:
    explicit SimulatedLine(SimulatedSettings settings);
    ~SimulatedLine() override;

    DeviceCaps Caps() const override;
    LONG Open(LineDriverSink& sink) override;
    void Close() override;
    LONG MakeCall(RequestId request, CallId call, const char* destination) override;
    LONG Drop(RequestId request, CallId call) override;
    void ReleaseCall(CallId call) override;

  private:
    struct Call {
        DWORD state = 0;
        bool dropping = false;
        std::unique_ptr<QObject> timers; // deleting it cancels the call's pending steps
    };
    void After(std::uint64_t ms, QObject* context, std::function<void()> step);
    void Enter(CallId id, DWORD state, DWORD mode);
    void Progress(CallId id, const std::string& number);

    SimulatedSettings s;
    LineDriverSink* sink = nullptr;
    std::unique_ptr<QObject> lineTimers;
    std::map<CallId, Call> calls;
    bool vanished = false;
};

// The driver's description and settings, for the registry.
DriverInfo SimulatedDriverInfo();

} // namespace localtapi::simulated
