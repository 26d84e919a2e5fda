// ModemLine: a line device driven through a Hayes-compatible (voice) modem on a serial
// port, for calls that the user carries on with the handset sharing the telephone line.
//
// Open takes the port and initialises the modem ("AT", then the init string), waiting
// in a nested event loop bounded by the command timeout. A call checks that the modem is
// listening ("AT", or "ATX3" for blind dialling) before it completes the request, then
// reports DIALTONE and DIALING and sends the dial commands one by one; the modem's OK to
// the last one means the digits are out and the call is PROCEEDING. Dropping aborts a
// dial in progress (one CR), then sends ATH; its OK makes the call IDLE.
//
// Result codes while dialling:
//   OK (last piece)  PROCEEDING        CONNECT          CONNECTED (a carrier answered)
//   BUSY             BUSY, then DISCONNECTED/BUSY
//   NO DIALTONE      DISCONNECTED/NODIALTONE     NO ANSWER   DISCONNECTED/NOANSWER
//   NO CARRIER       DISCONNECTED/NORMAL         ERROR       DISCONNECTED/BADADDRESS
//   no result in time: the dial is aborted, DISCONNECTED/UNKNOWN
// The modem refusing the check before dialling (ERROR, or no answer) fails the call
// request itself with LINEERR_OPERATIONFAILED.
//
// A port that disappears disconnects the call (DISCONNECTED/UNAVAIL), completes what is
// pending (a call request with LINEERR_NODEVICE, a drop with 0 and IDLE, since nothing is
// left to hang up) and reports the device removed; later operations fail with
// LINEERR_NODEVICE.
//
// What it does not know: a voice modem cannot tell when the far end answers, so a call
// that is dialled stays PROCEEDING. One call at a time; incoming calls are not taken
// (RING is reported as a line-device event only).
#pragma once

#include "DialString.h"
#include "LineDriver.h"
#include "ResultCodes.h"
#include "SerialPort.h"

#include <QObject>
#include <QTimer>

class QEventLoop;

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace modem {

using std::chrono::milliseconds;

// How long the driver waits for the modem. Each expiry is handled (the operation fails or
// the call is disconnected); nothing waits longer.
struct ModemTimeouts {
    milliseconds command{3000};     // AT, the init string, the pre-dial check, ATH
    milliseconds dialBase{30000};   // one dial command: waiting for dial tone and the line
    milliseconds dialPerChar{2500}; // plus this per dial character (a ',' pauses 2 s)
    milliseconds abort{3000};       // the modem's result after a dial is aborted
};

struct ModemSettings {
    std::string port;
    unsigned speed = 115200;
    std::string init = "AT&FE0V1&D2&C1X4";
    DialMode dialMode = DialMode::Tone;
    std::string prefix; // dialled before every number (e.g. "9," for an outside line)
    bool blind = false; // dial without waiting for dial tone (ATX3 before dialling)
    localtapi::DeviceCaps caps;
};

// Reads the modem keys of a line group; problems name key and line.
std::optional<ModemSettings> ReadModemSettings(const localtapi::LineSettings& settings,
                                               std::vector<localtapi::ConfigProblem>& problems);

class ModemLine : public localtapi::LineDriver {
  public:
    explicit ModemLine(ModemSettings settings, ModemTimeouts timeouts = {});
    ~ModemLine() override;

    localtapi::DeviceCaps Caps() const override;
    LONG Open(localtapi::LineDriverSink& sink) override;
    void Close() override;
    LONG MakeCall(localtapi::RequestId request, localtapi::CallId call, const char* destination) override;
    LONG Drop(localtapi::RequestId request, localtapi::CallId call) override;
    void ReleaseCall(localtapi::CallId call) override;

  private:
    // What a command ended with.
    struct Outcome {
        Result result = Result::None; // the final result code, None on timeout or loss
        bool timedOut = false;
        bool gone = false;
    };
    using Done = std::function<void(const Outcome&)>;

    struct Call {
        localtapi::CallId id = 0;
        localtapi::RequestId makeRequest = 0; // pending until the pre-dial check ends
        localtapi::RequestId dropRequest = 0; // pending drop
        std::vector<std::string> pieces;
        std::size_t next = 0;
        bool dialling = false;     // a dial command is out
        bool aborting = false;     // the abort character was sent for it
        bool hangingUp = false;    // ATH is out
        bool disconnected = false; // DISCONNECTED was reported
        bool released = false;     // the service forgot it: finish silently
    };

    // Commands.
    void Send(const std::string& command, milliseconds timeout, Done done);
    void Finish(const Outcome& outcome);
    void OnCommandTimeout();
    void AbortDial();

    // Open.
    void SendAt(Done done);
    void SendInit(Done done);

    // Call.
    void PreDialCheck();
    void OnPreDialCheck(const Outcome& outcome);
    void DialNext();
    void OnDialResult(const Outcome& outcome);
    void Hangup();
    void OnHangup(const Outcome& outcome);
    void Disconnect(DWORD mode);

    // Incoming bytes, unsolicited lines, a vanished port: each handled in one place.
    void OnData(std::string_view bytes);
    void OnUnsolicited(const ResponseLine& line);
    void OnStrayResult(Result result);
    void OnPortGone();

    // Sink calls for the current call; false when the driver was closed during the call.
    bool Report(DWORD state, DWORD mode);
    bool Complete(localtapi::RequestId request, LONG result);
    void EndCall();

    milliseconds DialTimeout(const std::string& piece) const;

    ModemSettings s;
    ModemTimeouts t;
    SerialPort port;
    LineAssembler lines;
    localtapi::LineDriverSink* sink = nullptr;
    bool gone = false;
    std::optional<Call> call;

    Done pending;        // the outstanding command's continuation; empty when none
    QTimer commandTimer; // its timeout
    QTimer ringTimer;    // ends a burst of RINGs
    DWORD ringCount = 0;
    QEventLoop* openLoop = nullptr; // the nested loop of Open while it waits
};

// Description and keys of the driver, for the registry and the configuration dialog.
localtapi::DriverInfo ModemDriverInfo();

} // namespace modem

namespace localtapi {
void RegisterModemDriver(DriverRegistry& registry);
}
