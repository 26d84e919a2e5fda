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

#include "localtapi/LineDriver.h"
#include "localtapi/drivers/modem/AtChannel.h"
#include "localtapi/drivers/modem/ModemSettings.h"

#include <QObject>
#include <QTimer>

class QEventLoop;

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace localtapi::modem {

class ModemLine : public LineDriver {
  public:
    explicit ModemLine(ModemSettings settings, ModemTimeouts timeouts = {});
    ~ModemLine() override;

    DeviceCaps Caps() const override;
    LONG Open(LineDriverSink& sink) override;
    void Close() override;
    LONG MakeCall(RequestId request, CallId call, const char* destination) override;
    LONG Drop(RequestId request, CallId call) override;
    void ReleaseCall(CallId call) override;

  private:
    using Outcome = AtChannel::Outcome;
    using Done = AtChannel::Done;

    struct Call {
        CallId id = 0;
        RequestId makeRequest = 0; // pending until the pre-dial check ends
        RequestId dropRequest = 0; // pending drop
        std::vector<std::string> pieces;
        std::size_t next = 0;
        bool dialling = false;     // a dial command is out
        bool aborting = false;     // the abort character was sent for it
        bool hangingUp = false;    // ATH is out
        bool disconnected = false; // DISCONNECTED was reported
        bool released = false;     // the service forgot it: finish silently
    };

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

    // Unsolicited lines, stray results, a vanished port: each handled in one place.
    void OnUnsolicited(const ResponseLine& line);
    void OnStrayResult(Result result);
    void OnPortGone();

    // Sink calls for the current call; false when the driver was closed during the call.
    bool Report(DWORD state, DWORD mode);
    bool Complete(RequestId request, LONG result);
    void EndCall();

    milliseconds DialTimeout(const std::string& piece) const;

    ModemSettings s;
    ModemTimeouts t;
    AtChannel channel;
    LineDriverSink* sink = nullptr;
    bool gone = false;
    std::optional<Call> call;

    QTimer ringTimer;    // ends a burst of RINGs
    DWORD ringCount = 0;
    QEventLoop* openLoop = nullptr; // the nested loop of Open while it waits
};

} // namespace localtapi::modem
