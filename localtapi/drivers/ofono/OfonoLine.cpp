#include "localtapi/drivers/ofono/OfonoLine.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTimer>

#include <utility>

namespace localtapi::ofono {

namespace {

// The LINEERR for a refused Dial, by oFono's error name.
LONG DialError(const QString& name) {
    if (name == QLatin1String("org.ofono.Error.InvalidFormat"))
        return LINEERR_INVALADDRESS;
    if (name == QLatin1String("org.ofono.Error.Busy") || name == QLatin1String("org.ofono.Error.InProgress"))
        return LINEERR_CALLUNAVAIL;
    if (name == QLatin1String("org.ofono.Error.NotImplemented") ||
        name == QLatin1String("org.ofono.Error.NotAvailable"))
        return LINEERR_OPERATIONUNAVAIL;
    return LINEERR_OPERATIONFAILED;
}

QDBusMessage HangupOf(const QString& callPath) {
    return OfonoCall(callPath, kCall, "Hangup");
}

} // namespace

CallStep StepAfter(CallStep step, CallEvent event) {
    switch (event) {
    case CallEvent::DialAnswered:
        return step == CallStep::Dialling ? CallStep::Following : step;
    case CallEvent::HangupSent:
        return step == CallStep::Following ? CallStep::HangingUp : step;
    case CallEvent::Gone:
        return step == CallStep::Dialling ? step : CallStep::Ended; // Dial's answer first
    }
    return step;
}

OfonoLine::OfonoLine(OfonoSettings settings, OfonoTimeouts timeouts) : s(std::move(settings)), t(timeouts) {}

OfonoLine::~OfonoLine() {
    Close();
}

DeviceCaps OfonoLine::Caps() const {
    return s.caps;
}

void OfonoLine::Close() {
    if (call && s.hangupOnDrop && Following(call->path) && call->state != LINECALLSTATE_DISCONNECTED) {
        // Closing the line tears the call down when drops hang up; the answer is not waited
        // for (the connection stays, so the request still goes out).
        bus.Post(HangupOf(call->path));
        Remark("hung up " + call->path.toStdString() + " as the line closed");
    }
    call.reset();
    Unfollow();
    line = LineStep::Closed;
    sink = nullptr;
    modemPath.clear();
    modemProperties.clear();
}

// The call's oFono object is path, and its changes are followed.
bool OfonoLine::Following(const QString& path) const {
    return call && (call->step == CallStep::Following || call->step == CallStep::HangingUp) && call->path == path;
}

void OfonoLine::Advance(CallEvent event) {
    call->step = StepAfter(call->step, event);
}

LONG OfonoLine::MakeCall(RequestId request, CallId id, const char* destination) {
    if (line != LineStep::Open)
        return LINEERR_OPERATIONUNAVAIL;
    if (call)
        return LINEERR_CALLUNAVAIL;
    if (destination == nullptr)
        return LINEERR_OPERATIONUNAVAIL; // a phone has no dial tone to hand out
    const std::optional<std::string> number = DialableNumber(destination);
    if (!number)
        return LINEERR_INVALADDRESS;
    call.emplace();
    call->id = id;
    call->makeRequest = request;
    auto* pending = new QDBusPendingCallWatcher(
        bus.Send(OfonoCall(modemPath, kCallManager, "Dial") << QString::fromStdString(*number) << QString(), t.call),
        this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, id] {
        pending->deleteLater();
        const QDBusMessage reply = pending->reply();
        if (!call || call->id != id) {
            // Forgotten (closed, released) while oFono dialled: a call nobody follows.
            if (reply.type() == QDBusMessage::ReplyMessage && s.hangupOnDrop)
                bus.Post(HangupOf(reply.arguments().value(0).value<QDBusObjectPath>().path()));
            return;
        }
        OnDialAnswer(reply);
    });
    return 0;
}

void OfonoLine::OnDialAnswer(const QDBusMessage& reply) {
    const RequestId request = std::exchange(call->makeRequest, 0);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        Remark("oFono refused to dial: " + Describe(reply), true);
        const RequestId drop = call->dropRequest;
        call.reset();
        sink->RequestCompleted(request, DialError(reply.errorName()));
        if (drop != 0)
            sink->RequestCompleted(drop, 0);
        return;
    }
    call->path = reply.arguments().value(0).value<QDBusObjectPath>().path();
    Advance(CallEvent::DialAnswered);
    // What oFono said of the call before its answer (CallAdded may also come after it).
    const auto seen = seenCalls.find(call->path);
    const QString state = seen != seenCalls.end() ? seen->second : QStringLiteral("dialing");
    // The calls gone meanwhile are forgotten: oFono gives a later call the same path again.
    std::erase_if(seenCalls, [](const auto& entry) { return entry.second == QLatin1String("disconnected"); });
    sink->RequestCompleted(request, 0);
    if (!call)
        return;
    ApplyOfonoState(state);
    if (call && call->dropRequest != 0) { // the drop that came while Dial was out
        const RequestId drop = std::exchange(call->dropRequest, 0);
        Drop(drop, call->id);
    }
}

void OfonoLine::ApplyOfonoState(const QString& state) {
    if (!call || !Following(call->path))
        return;
    if (state == QLatin1String("dialing")) {
        Report(LINECALLSTATE_DIALING, 0);
    } else if (state == QLatin1String("alerting")) {
        Report(LINECALLSTATE_RINGBACK, 0);
    } else if (state == QLatin1String("active")) {
        call->answered = true;
        Report(LINECALLSTATE_CONNECTED, 0);
    } else if (state == QLatin1String("disconnected")) {
        Finish(DisconnectModeFor(call->reason, call->answered));
    }
}

void OfonoLine::Report(DWORD state, DWORD mode) {
    if (!call || sink == nullptr || CallProgress(state) <= CallProgress(call->state))
        return;
    call->state = state;
    sink->CallState(call->id, state, mode);
}

// oFono's call ended: a drop that hung it up is done.
void OfonoLine::Finish(DWORD disconnectMode) {
    if (!call)
        return;
    const CallId id = call->id;
    if (disconnectMode == LINEDISCONNECTMODE_BUSY)
        Report(LINECALLSTATE_BUSY, LINEBUSYMODE_UNKNOWN);
    if (call && call->id == id)
        Report(LINECALLSTATE_DISCONNECTED, disconnectMode);
    if (!call || call->id != id)
        return;
    const bool hungUp = call->step == CallStep::HangingUp;
    Advance(CallEvent::Gone); // nothing more comes from oFono's object
    if (call->dropRequest != 0 && hungUp) {
        const RequestId drop = call->dropRequest;
        Report(LINECALLSTATE_IDLE, 0);
        call.reset();
        sink->RequestCompleted(drop, 0);
    }
}

LONG OfonoLine::Drop(RequestId request, CallId id) {
    if (!call || call->id != id)
        return LINEERR_INVALCALLHANDLE;
    if (call->dropRequest != 0 && call->step != CallStep::Dialling)
        return LINEERR_OPERATIONUNAVAIL; // one drop at a time
    call->dropRequest = request;
    if (call->step == CallStep::Dialling)
        return 0; // done when Dial answers
    EndOwnCall(request);
    return 0;
}

// The driver's part of the call ends, whatever step it is at: hung up (hangup_on_drop=yes,
// the call still there), or let go, so that the phone keeps it and nothing more of it is
// followed; then the drop completes.
void OfonoLine::EndOwnCall(RequestId drop) {
    if (s.hangupOnDrop && Following(call->path) && call->state != LINECALLSTATE_DISCONNECTED) {
        Hangup();
        return;
    }
    Advance(CallEvent::Gone);
    const CallId id = call->id;
    QTimer::singleShot(0, this, [this, id, drop] {
        if (!call || call->id != id || call->dropRequest != drop)
            return;
        Report(LINECALLSTATE_IDLE, 0);
        call.reset();
        sink->RequestCompleted(drop, 0);
    });
}

void OfonoLine::Hangup() {
    Advance(CallEvent::HangupSent);
    const CallId id = call->id;
    auto* pending = new QDBusPendingCallWatcher(bus.Send(HangupOf(call->path), t.call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, id] {
        pending->deleteLater();
        if (!call || call->id != id || call->dropRequest == 0)
            return;
        const QDBusMessage reply = pending->reply();
        if (reply.type() == QDBusMessage::ReplyMessage)
            return; // the call's end completes the drop
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")) {
            Finish(LINEDISCONNECTMODE_NORMAL); // already gone
            return;
        }
        // The drop fails; the call stays followed, and a later drop hangs up again.
        Remark("Hangup refused: " + Describe(reply));
        sink->RequestCompleted(std::exchange(call->dropRequest, 0), LINEERR_OPERATIONFAILED);
    });
    // oFono answered but the call never went: the drop ends all the same, with a remark.
    QTimer::singleShot(t.hangup, this, [this, id] {
        if (!call || call->id != id || call->step != CallStep::HangingUp || call->dropRequest == 0)
            return;
        Remark("the call was still there " + std::to_string(t.hangup.count()) + " ms after Hangup");
        Finish(LINEDISCONNECTMODE_UNKNOWN);
    });
}

void OfonoLine::ReleaseCall(CallId id) {
    if (call && call->id == id)
        call.reset();
}

// The modem or oFono went: the call ends, what is pending completes, the device is gone.
void OfonoLine::Lost(const std::string& why) {
    Remark(why, true);
    LineDriverSink* target = sink;
    if (call) {
        const RequestId make = call->makeRequest;
        const RequestId drop = call->dropRequest;
        if (make != 0) {
            call.reset();
            target->RequestCompleted(make, LINEERR_OPERATIONFAILED);
            if (drop != 0)
                target->RequestCompleted(drop, 0);
        } else {
            Report(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL);
            if (call && drop != 0) {
                Report(LINECALLSTATE_IDLE, 0);
                call.reset();
                target->RequestCompleted(drop, 0);
            }
        }
    }
    call.reset();
    Unfollow();
    line = LineStep::Closed;
    modemPath.clear();
    modemProperties.clear();
    sink = nullptr;
    target->DeviceRemoved(); // may close the line (and so this driver) at once
}

void OfonoLine::OnCallAdded(const QDBusObjectPath& path, const QVariantMap& properties) {
    if (line == LineStep::Closed)
        return;
    const QString object = path.path();
    seenCalls[object] = properties.value(QStringLiteral("State")).toString();
    if (Following(object))
        ApplyOfonoState(seenCalls[object]);
}

void OfonoLine::OnCallRemoved(const QDBusObjectPath& path) {
    const QString object = path.path();
    if (call && call->step == CallStep::Dialling)
        seenCalls[object] = QStringLiteral("disconnected"); // perhaps ours, gone before Dial answered
    else
        seenCalls.erase(object);
    if (Following(object))
        ApplyOfonoState(QStringLiteral("disconnected"));
}

void OfonoLine::OnCallPropertyChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() != 2 || args[0].toString() != QLatin1String("State"))
        return;
    const QString state = args[1].value<QDBusVariant>().variant().toString();
    if (const auto seen = seenCalls.find(message.path()); seen != seenCalls.end())
        seen->second = state;
    if (Following(message.path()))
        ApplyOfonoState(state);
}

void OfonoLine::OnCallDisconnectReason(const QDBusMessage& message) {
    if (Following(message.path()))
        call->reason = message.arguments().value(0).toString().toStdString();
}

} // namespace localtapi::ofono
