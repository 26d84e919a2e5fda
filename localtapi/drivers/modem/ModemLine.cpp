#include "localtapi/drivers/modem/ModemLine.h"

#include <QEventLoop>

#include <cerrno>

namespace localtapi::modem {

namespace {

// A ring burst ends when no RING came for this long (modems ring every ~6 s).
constexpr milliseconds kRingGap{8000};

// Characters of a dial command that make the modem wait for something on the line (a
// second dial tone, quiet answer); each may take as long as the start of a dial.
bool WaitsOnLine(char c) {
    return c == 'W' || c == '@';
}

} // namespace

// ---- Driver -----------------------------------------------------------------------------

ModemLine::ModemLine(ModemSettings settings, ModemTimeouts timeouts) : s(std::move(settings)), t(timeouts) {
    ringTimer.setSingleShot(true);
    QObject::connect(&ringTimer, &QTimer::timeout, [this] { ringCount = 0; });
    channel.onUnsolicited = [this](const ResponseLine& line) { OnUnsolicited(line); };
    channel.onStray = [this](Result result) { OnStrayResult(result); };
    channel.onGone = [this] { OnPortGone(); };
    channel.onStep = [this](const std::string& step) { Remark(step); }; // each command and answer, for the trace
}

ModemLine::~ModemLine() {
    Close();
    if (line == LineStep::Closing) {
        // No time is left (the service waited what it could): the best that can be done
        // at once. Closing the port drops DTR as well.
        if (call && call->step == CallStep::Dialling)
            channel.Write("\r");
        channel.Write("ATH\r");
        channel.DropDtr();
        call.reset();
        FinishClose();
    }
}

DeviceCaps ModemLine::Caps() const {
    return s.caps;
}

void ModemLine::Close() {
    sink = nullptr;
    ringTimer.stop();
    ringCount = 0;
    if (line == LineStep::Opening) {
        // Closed while opening: Open sees it and lets go of the port.
        line = LineStep::Closed;
        channel.Close();
        if (openLoop != nullptr)
            openLoop->quit();
        return;
    }
    if (call && channel.IsOpen() && !gone) {
        // The call is hung up before the port is let go; EndCall then closes it.
        line = LineStep::Closing;
        Remark("closed during a call: hanging up before the port is released");
        if (!call->released)
            ReleaseCall(call->id);
        return;
    }
    call.reset();
    channel.Close();
    line = LineStep::Closed;
}

LONG ModemLine::MakeCall(RequestId request, CallId id, const char* destination) {
    if (gone)
        return LINEERR_NODEVICE;
    if (line != LineStep::Open || !channel.IsOpen())
        return LINEERR_INVALLINESTATE;
    if (call || channel.Busy())
        return LINEERR_CALLUNAVAIL;
    // A null destination only takes the line: no prefix, no digits.
    std::optional<std::vector<std::string>> pieces =
        destination ? BuildDialCommands(destination, s.prefix, s.dialMode)
                    : BuildDialCommands("", "", s.dialMode);
    if (!pieces)
        return LINEERR_INVALADDRESS;
    call = Call{};
    call->id = id;
    call->makeRequest = request;
    call->pieces = std::move(*pieces);
    PreDialCheck();
    return 0;
}

LONG ModemLine::Drop(RequestId request, CallId id) {
    if (gone)
        return LINEERR_NODEVICE;
    if (!call || call->id != id || call->released)
        return LINEERR_INVALCALLHANDLE;
    if (call->makeRequest != 0 || call->dropRequest != 0)
        return LINEERR_INVALCALLSTATE;
    call->dropRequest = request;
    EndOwnCall();
    return 0;
}

void ModemLine::ReleaseCall(CallId id) {
    if (!call || call->id != id)
        return;
    call->released = true;
    EndOwnCall();
}

// Ends the call on the modem, whatever step it is at: a dial in progress is aborted (its
// result then leads to the hang-up); a released call whose check or hang-up is out is
// finished quietly by that command's continuation; otherwise the hang-up (escape when on
// line, then ATH).
void ModemLine::EndOwnCall() {
    if (call->step == CallStep::Dialling || call->step == CallStep::Aborting) {
        AbortDial();
        return;
    }
    if (call->released && channel.Busy())
        return;
    Hangup();
}

// ---- Commands ---------------------------------------------------------------------------

// Any character stops a dial in progress; the modem then ends the dial command with a
// result (NO CARRIER on most modems, OK on some), which completes the same command.
void ModemLine::AbortDial() {
    if (!call || call->step != CallStep::Dialling)
        return;
    Enter(CallStep::Aborting);
    channel.Abort(t.abort);
}

milliseconds ModemLine::DialTimeout(const std::string& piece) const {
    milliseconds timeout = t.dialBase;
    for (char c : piece.substr(3)) // after "ATD"
        timeout += WaitsOnLine(c) ? t.dialBase : t.dialPerChar;
    return timeout;
}

// ---- Call -------------------------------------------------------------------------------

void ModemLine::PreDialCheck() {
    channel.Send(s.blind ? "ATX3" : "AT", t.command, [this](const Outcome& o) { OnPreDialCheck(o); });
}

void ModemLine::OnPreDialCheck(const Outcome& o) {
    if (!call || o.gone)
        return;
    if (call->released) {
        EndCall(); // nothing was dialled yet
        return;
    }
    const RequestId request = call->makeRequest;
    call->makeRequest = 0;
    if (o.result != Result::Ok) {
        EndCall();
        Complete(request, LINEERR_OPERATIONFAILED);
        return;
    }
    if (!Complete(request, 0))
        return;
    if (!Report(LINECALLSTATE_DIALTONE, s.blind ? LINEDIALTONEMODE_UNAVAIL : LINEDIALTONEMODE_UNKNOWN))
        return;
    if (!Report(LINECALLSTATE_DIALING, 0))
        return;
    DialNext();
}

void ModemLine::DialNext() {
    const std::string& piece = call->pieces[call->next];
    Enter(CallStep::Dialling);
    channel.Send(piece, DialTimeout(piece), [this](const Outcome& o) { OnDialResult(o); });
}

void ModemLine::OnDialResult(const Outcome& o) {
    if (!call || o.gone)
        return;
    if (call->dropRequest != 0 || call->released) {
        Hangup();
        return;
    }
    if (o.timedOut && call->step == CallStep::Dialling) {
        // The modem said nothing in time: stop the dial and wait for its result.
        Enter(CallStep::Aborting);
        channel.Abort(t.abort, [this](const Outcome& a) { OnDialResult(a); });
        return;
    }
    const bool aborted = call->step == CallStep::Aborting;
    Enter(CallStep::Dialled);
    if (o.timedOut || aborted) {
        // Aborted because the modem was silent; whatever it says now, the dial is over.
        Disconnect(LINEDISCONNECTMODE_UNKNOWN);
        return;
    }
    switch (o.result) {
    case Result::Ok:
        if (++call->next < call->pieces.size())
            DialNext();
        else
            Report(LINECALLSTATE_PROCEEDING, 0);
        return;
    case Result::Connect:
        Enter(CallStep::Online); // data mode: the hang-up escapes first
        Report(LINECALLSTATE_CONNECTED, 0);
        return;
    case Result::Busy:
        if (Report(LINECALLSTATE_BUSY, LINEBUSYMODE_UNKNOWN))
            Disconnect(LINEDISCONNECTMODE_BUSY);
        return;
    case Result::NoDialtone:
        Disconnect(LINEDISCONNECTMODE_NODIALTONE);
        return;
    case Result::NoAnswer:
        Disconnect(LINEDISCONNECTMODE_NOANSWER);
        return;
    case Result::NoCarrier:
        Disconnect(LINEDISCONNECTMODE_NORMAL);
        return;
    case Result::Error:
        Disconnect(LINEDISCONNECTMODE_BADADDRESS);
        return;
    default:
        Disconnect(LINEDISCONNECTMODE_UNKNOWN);
        return;
    }
}

void ModemLine::Hangup() {
    const bool online = call->step == CallStep::Online || channel.CarrierDetect().value_or(false);
    Enter(CallStep::HangingUp);
    if (online) {
        // On line: back to command mode first, or ATH would go out as data.
        channel.Escape(t.guard, t.command, [this](const Outcome& o) {
            if (!call || o.gone)
                return;
            if (o.result != Result::Ok)
                Remark("no OK to the escape (+++); trying ATH all the same");
            SendAth();
        });
        return;
    }
    SendAth();
}

void ModemLine::SendAth() {
    channel.Send("ATH", t.command, [this](const Outcome& o) { OnHangup(o); });
}

void ModemLine::OnHangup(const Outcome& o) {
    if (!call || o.gone)
        return;
    if (call->released) {
        if (o.result != Result::Ok) {
            LastResort();
            return;
        }
        EndCall();
        return;
    }
    const RequestId request = call->dropRequest;
    call->dropRequest = 0;
    if (o.result == Result::Ok) {
        const CallId id = call->id;
        EndCall();
        if (Complete(request, 0))
            sink->CallState(id, LINECALLSTATE_IDLE, 0);
        return;
    }
    // No answer, or refused: the modem's state is unknown. The call stays (a later drop
    // may try again) but is reported disconnected, once.
    Enter(CallStep::Dialled);
    if (Complete(request, LINEERR_OPERATIONFAILED))
        Disconnect(LINEDISCONNECTMODE_UNKNOWN);
}

// ATH went unanswered on the way out: DTR down (a modem set to &D2 hangs up), then ATZ.
void ModemLine::LastResort() {
    Remark("ATH not answered: dropping DTR, then ATZ", true);
    channel.DropDtr();
    channel.Send("ATZ", t.command, [this](const Outcome&) { EndCall(); });
}

void ModemLine::FinishClose() {
    line = LineStep::Closed;
    channel.DropDtr();
    channel.Close();
    Remark("port released");
    if (hangupLoop != nullptr)
        hangupLoop->quit();
}

void ModemLine::Disconnect(DWORD mode) {
    if (!call || call->state == LINECALLSTATE_DISCONNECTED)
        return;
    Report(LINECALLSTATE_DISCONNECTED, mode);
}

bool ModemLine::Report(DWORD state, DWORD mode) {
    if (sink == nullptr || !call)
        return false;
    call->state = state;
    if (!call->released)
        sink->CallState(call->id, state, mode);
    return sink != nullptr && call.has_value();
}

bool ModemLine::Complete(RequestId request, LONG result) {
    if (sink == nullptr)
        return false;
    sink->RequestCompleted(request, result);
    return sink != nullptr;
}

void ModemLine::Enter(CallStep step) {
    call->step = step;
}

void ModemLine::EndCall() {
    call.reset();
    if (line == LineStep::Closing)
        FinishClose();
}

// ---- Incoming ---------------------------------------------------------------------------

void ModemLine::OnUnsolicited(const ResponseLine& line) {
    // Incoming calls are not taken; a RING is passed on as a line event so that the
    // trace shows it. Caller-ID lines are ignored.
    if (line.result != Result::Ring || sink == nullptr)
        return;
    ++ringCount;
    ringTimer.start(kRingGap);
    sink->LineDevState(LINEDEVSTATE_RINGING, 0, ringCount);
}

void ModemLine::OnStrayResult(Result result) {
    // A result with no command out: a late answer to a command that timed out (ignored),
    // or the modem reporting that an established call ended.
    if (result == Result::NoCarrier && call && call->makeRequest == 0) {
        if (call->step == CallStep::Online)
            Enter(CallStep::Dialled); // the carrier is gone: back in command mode
        Disconnect(LINEDISCONNECTMODE_NORMAL);
    }
}

void ModemLine::OnPortGone() {
    Remark("the port " + s.port + " is gone", true);
    if (line == LineStep::Closing) {
        gone = true;
        channel.Forget();
        call.reset();
        FinishClose(); // nothing is left to hang up
        return;
    }
    if (line == LineStep::Opening) {
        // Lost while opening: the waiting command fails and Open releases the port.
        channel.Finish(Outcome{Result::None, false, true});
        return;
    }
    gone = true;
    channel.Forget();
    if (call && !call->released) {
        if (call->makeRequest != 0) {
            const RequestId request = call->makeRequest;
            EndCall();
            if (!Complete(request, LINEERR_NODEVICE))
                return;
        } else {
            // Disconnected, then idle: nothing is left to hang up.
            Disconnect(LINEDISCONNECTMODE_UNAVAIL);
            if (!call)
                return;
            const CallId id = call->id;
            const RequestId drop = call->dropRequest;
            EndCall();
            if (drop != 0 && !Complete(drop, 0))
                return;
            if (sink == nullptr)
                return;
            sink->CallState(id, LINECALLSTATE_IDLE, 0);
        }
    }
    EndCall();
    if (sink != nullptr)
        sink->DeviceRemoved();
}

} // namespace localtapi::modem
