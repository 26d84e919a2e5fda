// ModemLine: a line device driven through a Hayes-compatible (voice) modem on a serial
// port, for calls that the user carries on with the handset sharing the telephone line.
//
// Open takes the port (its lock file and an exclusive open) and brings the modem into a
// known state from whatever state it was left in, waiting in a nested event loop bounded
// by the timeouts: "AT" (tried kProbeAttempts times); when nothing answers (a modem left
// in quiet mode, or busy), ATZ and AT&F, whose answer is the sign a modem is there (a port
// where none of them is answered fails at once, in a few seconds, rather than after every
// command's own timeout); then ATQ0V1E0 (results on, in words, no echo);
// then the init string: the default one word by word, a word the modem rejects reported
// and skipped; the user's own one as given, where a rejection fails the open. Why an open
// failed (no such port, port held and by whom, no permission, no answer) is remarked for
// the user. Each command is paced by the command channel (AtChannel).
//
// A call checks that the modem is listening ("AT", or "ATX3" for blind dialling) before it
// completes the request, then reports DIALTONE and DIALING and sends the dial commands one
// by one; the modem's OK to the last one means the digits are out and the call is
// PROCEEDING. Dropping aborts a dial in progress (one CR) and waits for its result; a
// modem on line (CONNECT seen, or carrier detect up) is first escaped to command mode
// ("+++" between guard times); then ATH, whose OK makes the call IDLE.
//
// Close with a call up finishes the hang-up before the port is let go (abort, escape,
// ATH and its answer; when ATH goes unanswered, DTR dropped and ATZ as the last resort),
// reporting nothing; Busy() holds meanwhile, and an Open waits for it.
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
// A port that disappears disconnects the call (DISCONNECTED/UNAVAIL, then IDLE),
// completes what is pending (a call request with LINEERR_NODEVICE, a drop with 0) and
// reports the device removed; later operations fail with LINEERR_NODEVICE until an Open
// finds the port again.
//
// A call goes through the steps of CallStep (below, with its diagram), one at a time;
// EndOwnCall ends it from whichever step it is at.
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
    bool Busy() const override { return line == LineStep::Closing; }

    // Times "AT" is tried before the modem is taken for silent.
    static constexpr int kProbeAttempts = 2;

  private:
    using Outcome = AtChannel::Outcome;
    using Done = AtChannel::Done;

    // A call's step, one at a time:
    //
    //   Checking -> Dialling -> Dialled -> Online -> HangingUp -> (gone)
    //                   |  ^        ^                  |
    //                   v  |        |                  v
    //                 Aborting -----+              Dialled (ATH failed: the call stays)
    //
    // Dialling comes again for each dial command of a dial string cut in pieces; a drop or
    // a release may start the hang-up from any step once the modem is free. Every change
    // is Enter's.
    enum class CallStep {
        Checking,  // the pre-dial check is out; the call request pending
        Dialling,  // a dial command is out
        Aborting,  // the abort character was sent for it; its result awaited
        Dialled,   // the digits are out (or the dial ended), the modem in command mode
        Online,    // the modem said CONNECT: in data mode, the hang-up escapes first
        HangingUp, // escape and ATH under way
    };
    struct Call {
        CallId id = 0;
        CallStep step = CallStep::Checking;
        RequestId makeRequest = 0; // pending until the pre-dial check ends
        RequestId dropRequest = 0; // pending drop
        std::vector<std::string> pieces;
        std::size_t next = 0;
        DWORD state = 0;       // the last LINECALLSTATE_* told (or, released, not told)
        bool released = false; // the service forgot it: finish silently
    };

    void Enter(CallStep step);
    void EndOwnCall();
    void AbortDial();

    // Open (ModemStartup.cpp): each step calls the next; finish gets 0 or a LINEERR.
    using Finish = std::function<void(LONG)>;
    LONG PortError(int error);
    void Probe(int attempt, Finish finish);
    void Revive(Finish finish);
    void Verbose(Finish finish);
    void InitWords(std::vector<std::string> words, Finish finish);
    void UserInit(Finish finish);
    void WaitForHangup();

    // Call.
    void PreDialCheck();
    void OnPreDialCheck(const Outcome& outcome);
    void DialNext();
    void OnDialResult(const Outcome& outcome);
    void Hangup();
    void SendAth();
    void OnHangup(const Outcome& outcome);
    void LastResort();
    void FinishClose();
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
    // Closed -> Opening (the port taken, the modem reset) -> Open -> Closed; or, closed
    // with a call up, Open -> Closing (the hang-up finished before the port is let go) ->
    // Closed.
    enum class LineStep { Closed, Opening, Open, Closing };
    LineStep line = LineStep::Closed;
    bool gone = false; // the port went away: NODEVICE until an Open finds it again
    std::optional<Call> call;

    QTimer ringTimer;    // ends a burst of RINGs
    DWORD ringCount = 0;
    QEventLoop* openLoop = nullptr; // the nested loop of Open while it waits
    QEventLoop* hangupLoop = nullptr; // an Open waiting for the hang-up of the last Close
};

} // namespace localtapi::modem
