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
}

ModemLine::~ModemLine() {
    Close();
}

DeviceCaps ModemLine::Caps() const {
    return s.caps;
}

LONG ModemLine::Open(LineDriverSink& target) {
    if (gone)
        return LINEERR_NODEVICE;
    const int error = channel.Open(s.port, s.speed);
    if (error == ENOENT || error == ENODEV || error == ENXIO || error == ENOTDIR || error == EISDIR ||
        error == ENOTTY)
        return LINEERR_NODEVICE; // nothing there, or not a serial device
    if (error != 0)
        return LINEERR_RESOURCEUNAVAIL; // held by another program, no permission, ...

    // The modem must answer AT (no answer: nothing modem-like on that port), then accept
    // the init string (ERROR: the init string is wrong for this modem).
    std::optional<LONG> result;
    QEventLoop loop;
    SendAt([&](const Outcome& at) {
        if (at.result != Result::Ok) {
            result = (at.timedOut || at.gone) ? LINEERR_NODEVICE : LINEERR_RESOURCEUNAVAIL;
            loop.quit();
            return;
        }
        SendInit([&](const Outcome& init) {
            if (init.result == Result::Ok)
                result = 0;
            else if (init.result == Result::Error)
                result = LINEERR_OPERATIONFAILED;
            else
                result = LINEERR_NODEVICE;
            loop.quit();
        });
    });
    if (!result) {
        openLoop = &loop;
        // Bounded: each command ends by its result, its timeout or the port's loss. Clicks
        // and keys wait, so the user cannot start a second operation meanwhile.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        openLoop = nullptr;
    }
    if (!result || *result != 0) {
        // Failed, or Close was called meanwhile: release the port.
        channel.Close();
        return result ? *result : LINEERR_RESOURCEUNAVAIL;
    }
    sink = &target;
    return 0;
}

void ModemLine::Close() {
    sink = nullptr;
    // Best effort, since the answer is not awaited; closing the port drops DTR as well.
    if (call && channel.IsOpen() && !gone) {
        if (call->dialling && !call->aborting)
            channel.Write("\r");
        else if (!call->dialling && !call->hangingUp)
            channel.Write("ATH\r");
    }
    call.reset();
    ringTimer.stop();
    ringCount = 0;
    channel.Close();
    if (openLoop != nullptr)
        openLoop->quit();
}

LONG ModemLine::MakeCall(RequestId request, CallId id, const char* destination) {
    if (gone)
        return LINEERR_NODEVICE;
    if (sink == nullptr || !channel.IsOpen())
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
    if (call->dialling)
        AbortDial(); // the dial's result then leads to the hang-up
    else
        Hangup();
    return 0;
}

void ModemLine::ReleaseCall(CallId id) {
    if (!call || call->id != id)
        return;
    call->released = true;
    if (channel.Busy()) {
        // A check, a dial or a hang-up is out; its continuation finishes the call quietly.
        if (call->dialling)
            AbortDial();
        return;
    }
    Hangup();
}

// ---- Commands ---------------------------------------------------------------------------

// Any character stops a dial in progress; the modem then ends the dial command with a
// result (NO CARRIER on most modems, OK on some), which completes the same command.
void ModemLine::AbortDial() {
    if (!call || call->aborting)
        return;
    call->aborting = true;
    channel.Abort(t.abort);
}

void ModemLine::SendAt(Done done) {
    channel.Send("AT", t.command, std::move(done));
}

void ModemLine::SendInit(Done done) {
    channel.Send(s.init, t.command, std::move(done));
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
    call->dialling = true;
    call->aborting = false;
    channel.Send(piece, DialTimeout(piece), [this](const Outcome& o) { OnDialResult(o); });
}

void ModemLine::OnDialResult(const Outcome& o) {
    if (!call || o.gone)
        return;
    if (call->dropRequest != 0 || call->released) {
        call->dialling = false;
        Hangup();
        return;
    }
    if (o.timedOut) {
        if (!call->aborting) {
            // The modem said nothing in time: stop the dial and wait for its result.
            call->aborting = true;
            channel.Abort(t.abort, [this](const Outcome& a) { OnDialResult(a); });
            return;
        }
        call->dialling = false;
        Disconnect(LINEDISCONNECTMODE_UNKNOWN);
        return;
    }
    call->dialling = false;
    if (call->aborting) {
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
    call->hangingUp = true;
    channel.Send("ATH", t.command, [this](const Outcome& o) { OnHangup(o); });
}

void ModemLine::OnHangup(const Outcome& o) {
    if (!call || o.gone)
        return;
    if (call->released) {
        EndCall();
        return;
    }
    const RequestId request = call->dropRequest;
    call->dropRequest = 0;
    call->hangingUp = false;
    if (o.result == Result::Ok) {
        const CallId id = call->id;
        EndCall();
        if (Complete(request, 0))
            sink->CallState(id, LINECALLSTATE_IDLE, 0);
        return;
    }
    // No answer, or refused: the modem's state is unknown. The call stays (a later drop
    // may try again) but is reported disconnected, once.
    if (Complete(request, LINEERR_OPERATIONFAILED))
        Disconnect(LINEDISCONNECTMODE_UNKNOWN);
}

void ModemLine::Disconnect(DWORD mode) {
    if (!call || call->disconnected)
        return;
    call->disconnected = true;
    Report(LINECALLSTATE_DISCONNECTED, mode);
}

bool ModemLine::Report(DWORD state, DWORD mode) {
    if (sink == nullptr || !call)
        return false;
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

void ModemLine::EndCall() {
    call.reset();
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
    if (result == Result::NoCarrier && call && call->makeRequest == 0)
        Disconnect(LINEDISCONNECTMODE_NORMAL);
}

void ModemLine::OnPortGone() {
    if (sink == nullptr) {
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
            Disconnect(LINEDISCONNECTMODE_UNAVAIL);
            if (call && call->dropRequest != 0) {
                const RequestId request = call->dropRequest;
                const CallId id = call->id;
                EndCall();
                if (!Complete(request, 0))
                    return;
                sink->CallState(id, LINECALLSTATE_IDLE, 0);
            }
        }
    }
    EndCall();
    if (sink != nullptr)
        sink->DeviceRemoved();
}

} // namespace localtapi::modem
