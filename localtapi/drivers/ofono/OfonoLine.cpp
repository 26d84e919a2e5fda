#include "localtapi/drivers/ofono/OfonoLine.h"
#include "localtapi/drivers/DriverText.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace localtapi::ofono {

namespace {

const QString kService = QStringLiteral("org.ofono");
const QString kManager = QStringLiteral("org.ofono.Manager");
const QString kModem = QStringLiteral("org.ofono.Modem");
const QString kCallManager = QStringLiteral("org.ofono.VoiceCallManager");
const QString kCall = QStringLiteral("org.ofono.VoiceCall");

// Every setting of an oFono line, written once.
constexpr SettingSpec kOfonoSettings[] = {
    TextSetting("modem", "",
                "oFono modem path, e.g. /hfp/org/bluez/hci0/dev_00_11_22_33_44_55; empty: the first with "
                "voice calls"),
    YesNoSetting("hangup_on_drop", "no", "yes: the drop hangs the call up; no: the phone keeps it"),
};

QStringList Interfaces(const QVariantMap& properties) {
    return qdbus_cast<QStringList>(properties.value(QStringLiteral("Interfaces")));
}

bool OffersVoiceCalls(const QVariantMap& properties) {
    return Interfaces(properties).contains(kCallManager);
}

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

// What went wrong with a call, for the user: oFono's error name and text, or, when the bus
// refused the call, why (its own text is a dump of the policy rules it matched).
std::string Describe(const QDBusMessage& error) {
    if (error.errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        // Debian's oFono lets only root and users logged in at the computer itself talk to
        // it; over ssh, or from a service, the bus refuses every call.
        return "oFono refuses this user: its D-Bus policy (/etc/dbus-1/system.d/ofono.conf) lets only root "
               "and users logged in at the computer itself call it";
    return (error.errorName() + QStringLiteral(": ") + error.errorMessage()).toStdString();
}

} // namespace

DWORD DisconnectModeFor(std::string_view reason, bool answered) {
    if (reason == "local")
        return LINEDISCONNECTMODE_NORMAL;
    if (reason == "remote")
        // oFono does not say why a call the far end never answered ended: busy, most often.
        return answered ? LINEDISCONNECTMODE_NORMAL : LINEDISCONNECTMODE_BUSY;
    if (reason == "network")
        return LINEDISCONNECTMODE_UNAVAIL;
    return LINEDISCONNECTMODE_UNKNOWN;
}

std::optional<OfonoSettings> ReadOfonoSettings(const LineSettings& settings,
                                               std::vector<ConfigProblem>& problems) {
    const std::optional<SettingValues> v = ReadSettings(kOfonoSettings, settings, problems);
    if (!v)
        return std::nullopt;
    OfonoSettings s;
    s.modem = v->Text("modem");
    if (!s.modem.empty() && (s.modem[0] != '/' || s.modem.find_first_of(" \t") != std::string::npos)) {
        problems.push_back({v->Line("modem"), "key 'modem': '" + s.modem + "' is not a D-Bus object path"});
        return std::nullopt;
    }
    s.hangupOnDrop = v->YesNo("hangup_on_drop");
    DeviceCaps& caps = s.caps;
    caps.lineName = !settings.name.empty() ? settings.name
                    : s.modem.empty()      ? "Mobile phone"
                                           : "Mobile phone " + s.modem;
    caps.providerInfo = "oFono voice calls" + (s.modem.empty() ? std::string() : " on " + s.modem);
    caps.permanentLineID = StableLineId("ofono:" + s.modem);
    // Voice, interactive voice, one call at a time: DeviceCaps' defaults.
    return s;
}

DriverInfo OfonoDriverInfo() {
    DriverInfo info;
    info.name = "ofono";
    info.description = "Mobile phone over Bluetooth hands-free, or a cellular modem, through oFono";
    info.settings = kOfonoSettings;
    info.defaultName = "Mobile phone";
    info.create = ReadThenMake<OfonoLine>(&ReadOfonoSettings);
    info.dialsDigits = false;
    return info;
}

OfonoLine::OfonoLine(OfonoSettings settings, OfonoTimeouts timeouts) : s(std::move(settings)), t(timeouts) {}

OfonoLine::~OfonoLine() {
    Close();
    watcher.reset();
    bus.reset();
    if (!connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName);
}

DeviceCaps OfonoLine::Caps() const {
    return s.caps;
}

std::optional<QDBusMessage> OfonoLine::Await(const QDBusMessage& request, std::chrono::milliseconds timeout) {
    QDBusPendingCallWatcher pending(bus->asyncCall(request, static_cast<int>(timeout.count())));
    if (!pending.isFinished()) {
        QEventLoop loop;
        connect(&pending, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        // Bounded twice: by the call's own timeout and, should that not fire, by this.
        QTimer::singleShot(timeout + 1s, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!pending.isFinished())
        return std::nullopt;
    return pending.reply();
}

LONG OfonoLine::Open(LineDriverSink& target) {
    // A connection of its own: a system bus that restarted needs a new one, which the
    // process-wide one would never become.
    if (!bus || !bus->isConnected()) {
        watcher.reset();
        bus.reset();
        if (!connectionName.isEmpty())
            QDBusConnection::disconnectFromBus(connectionName);
        static int serial = 0;
        connectionName = QStringLiteral("orvodial-ofono-%1").arg(++serial);
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName));
    }
    if (!bus->isConnected()) {
        Remark("no system bus to reach oFono on: " + bus->lastError().message().toStdString(), true);
        return LINEERR_NODEVICE;
    }
    const auto owner = Await(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                            QStringLiteral("/org/freedesktop/DBus"),
                                                            QStringLiteral("org.freedesktop.DBus"),
                                                            QStringLiteral("NameHasOwner"))
                                 << kService,
                             t.call);
    if (!owner || owner->type() != QDBusMessage::ReplyMessage ||
        owner->arguments().value(0).toBool() == false) {
        Remark("oFono is not running: no org.ofono on the system bus (start it: systemctl start ofono)",
               true);
        return LINEERR_NODEVICE;
    }

    QString path;
    QVariantMap properties;
    if (const LONG found = FindModem(path, properties); found != 0)
        return found;
    modemPath = path;
    modemProperties = properties;
    lostWhileOpening = false;
    Follow();
    if (const LONG powered = PowerUp(properties); powered != 0) {
        Unfollow();
        modemPath.clear();
        modemProperties.clear();
        return powered;
    }
    sink = &target; // from here on the modem's changes are the line's
    return 0;
}

LONG OfonoLine::FindModem(QString& path, QVariantMap& properties) {
    const auto reply = Await(
        QDBusMessage::createMethodCall(kService, QStringLiteral("/"), kManager, QStringLiteral("GetModems")),
        t.call);
    if (reply && reply->errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied")) {
        Remark(Describe(*reply), true); // the first call to oFono itself: nothing works
        return LINEERR_NODEVICE;
    }
    if (!reply || reply->type() != QDBusMessage::ReplyMessage) {
        Remark("oFono does not list its modems" + (reply ? ": " + Describe(*reply) : std::string(" in time")),
               true);
        return LINEERR_NODEVICE;
    }
    std::vector<std::pair<QString, QVariantMap>> modems;
    const QDBusArgument list = reply->arguments().value(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QDBusObjectPath modem;
        QVariantMap modemProperties;
        list.beginStructure();
        list >> modem >> modemProperties;
        list.endStructure();
        modems.emplace_back(modem.path(), modemProperties);
    }
    list.endArray();

    std::string names;
    for (const auto& [modem, p] : modems)
        names += (names.empty() ? "" : ", ") + modem.toStdString();
    auto pick = [&](auto&& wanted) {
        for (const auto& [modem, p] : modems)
            if (wanted(modem, p)) {
                path = modem;
                properties = p;
                return true;
            }
        return false;
    };
    if (!s.modem.empty()) {
        if (pick([&](const QString& modem, const QVariantMap&) { return modem.toStdString() == s.modem; }))
            return 0;
        Remark("oFono has no modem " + s.modem +
                   (names.empty() ? " (it has none)" : " (it has " + names + ")"),
               true);
        return LINEERR_NODEVICE;
    }
    // A modem that is off offers no interfaces yet: the first that offers voice calls,
    // else the first that is off and may once powered.
    if (pick([](const QString&, const QVariantMap& p) { return OffersVoiceCalls(p); }) ||
        pick([](const QString&, const QVariantMap& p) {
            return !p.value(QStringLiteral("Powered")).toBool();
        }))
        return 0;
    Remark(names.empty() ? "oFono has no modem: pair the phone for hands-free use, or plug the modem in"
                         : "no modem of oFono's offers voice calls (" + names + ")",
           true);
    return LINEERR_NODEVICE;
}

LONG OfonoLine::PowerUp(const QVariantMap& properties) {
    auto set = [&](const QString& name) {
        return Await(
            QDBusMessage::createMethodCall(kService, modemPath, kModem, QStringLiteral("SetProperty"))
                << name << QVariant::fromValue(QDBusVariant(true)),
            t.call);
    };
    if (!properties.value(QStringLiteral("Powered")).toBool()) {
        const auto reply = set(QStringLiteral("Powered"));
        if (!reply || reply->type() != QDBusMessage::ReplyMessage) {
            Remark("the modem " + modemPath.toStdString() + " cannot be powered" +
                       (reply ? ": " + Describe(*reply) : std::string(": no answer")),
                   true);
            return LINEERR_RESOURCEUNAVAIL;
        }
    }
    // Voice calls are offered once the modem is up; its property changes end the wait.
    if (!OffersVoiceCalls(modemProperties) && !modemPath.isEmpty()) {
        QEventLoop loop;
        QTimer timer;
        timer.setInterval(20);
        int ticks = 0;
        connect(&timer, &QTimer::timeout, &loop, [&] {
            if (OffersVoiceCalls(modemProperties) || lostWhileOpening) {
                loop.quit();
                return;
            }
            // Asked as well as told: a change signalled before the match rule took hold
            // is not missed.
            if (++ticks % 10 != 0)
                return;
            auto* ask = new QDBusPendingCallWatcher(
                bus->asyncCall(QDBusMessage::createMethodCall(kService, modemPath, kModem,
                                                              QStringLiteral("GetProperties"))),
                this);
            connect(ask, &QDBusPendingCallWatcher::finished, this, [this, ask] {
                ask->deleteLater();
                const QDBusMessage reply = ask->reply();
                if (reply.type() == QDBusMessage::ReplyMessage && !modemPath.isEmpty() && sink == nullptr)
                    modemProperties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
            });
        });
        timer.start();
        QTimer::singleShot(t.powerUp, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (lostWhileOpening) {
        Remark("the modem " + modemPath.toStdString() + " went away while it was being powered", true);
        return LINEERR_NODEVICE;
    }
    if (!OffersVoiceCalls(modemProperties)) {
        Remark("the modem " + modemPath.toStdString() + " offers no voice calls after being powered", true);
        return LINEERR_RESOURCEUNAVAIL;
    }
    // A cellular modem needs Online for calls; a hands-free one goes online by itself, and
    // one that refuses is left to say so when it is asked to dial.
    if (modemProperties.contains(QStringLiteral("Online")) &&
        !modemProperties.value(QStringLiteral("Online")).toBool()) {
        const auto reply = set(QStringLiteral("Online"));
        if (!reply || reply->type() != QDBusMessage::ReplyMessage)
            Remark("the modem " + modemPath.toStdString() + " did not go online" +
                   (reply ? ": " + Describe(*reply) : std::string()));
    }
    return 0;
}

void OfonoLine::Follow() {
    // Slots take the whole message: a slot with typed arguments is matched only once Qt
    // knows the types, which a first call in the process may not yet.
    bus->connect(kService, modemPath, kModem, QStringLiteral("PropertyChanged"), this,
                 SLOT(OnModemPropertyChanged(QDBusMessage)));
    bus->connect(kService, QStringLiteral("/"), kManager, QStringLiteral("ModemRemoved"), this,
                 SLOT(OnModemRemoved(QDBusObjectPath)));
    bus->connect(kService, modemPath, kCallManager, QStringLiteral("CallAdded"), this,
                 SLOT(OnCallAdded(QDBusObjectPath, QVariantMap)));
    bus->connect(kService, modemPath, kCallManager, QStringLiteral("CallRemoved"), this,
                 SLOT(OnCallRemoved(QDBusObjectPath)));
    // The calls' signals from any path: a match made when a call appears could miss its
    // first changes. The slots keep to this modem's calls.
    bus->connect(kService, QString(), kCall, QStringLiteral("PropertyChanged"), this,
                 SLOT(OnCallPropertyChanged(QDBusMessage)));
    bus->connect(kService, QString(), kCall, QStringLiteral("DisconnectReason"), this,
                 SLOT(OnCallDisconnectReason(QDBusMessage)));
    watcher =
        std::make_unique<QDBusServiceWatcher>(kService, *bus, QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher.get(), &QDBusServiceWatcher::serviceUnregistered, this, &OfonoLine::OnServiceGone);
}

void OfonoLine::Unfollow() {
    if (!bus)
        return;
    bus->disconnect(kService, modemPath, kModem, QStringLiteral("PropertyChanged"), this,
                    SLOT(OnModemPropertyChanged(QDBusMessage)));
    bus->disconnect(kService, QStringLiteral("/"), kManager, QStringLiteral("ModemRemoved"), this,
                    SLOT(OnModemRemoved(QDBusObjectPath)));
    bus->disconnect(kService, modemPath, kCallManager, QStringLiteral("CallAdded"), this,
                    SLOT(OnCallAdded(QDBusObjectPath, QVariantMap)));
    bus->disconnect(kService, modemPath, kCallManager, QStringLiteral("CallRemoved"), this,
                    SLOT(OnCallRemoved(QDBusObjectPath)));
    bus->disconnect(kService, QString(), kCall, QStringLiteral("PropertyChanged"), this,
                    SLOT(OnCallPropertyChanged(QDBusMessage)));
    bus->disconnect(kService, QString(), kCall, QStringLiteral("DisconnectReason"), this,
                    SLOT(OnCallDisconnectReason(QDBusMessage)));
    earlyStates.clear();
    removedEarly.clear();
    watcher.reset();
}

void OfonoLine::Close() {
    if (call && s.hangupOnDrop && !call->path.isEmpty() && call->state != LINECALLSTATE_DISCONNECTED) {
        // Closing the line tears the call down when drops hang up; the answer is not waited
        // for (the connection stays, so the request still goes out).
        bus->asyncCall(QDBusMessage::createMethodCall(kService, call->path, kCall, QStringLiteral("Hangup")));
        Remark("hung up " + call->path.toStdString() + " as the line closed");
    }
    call.reset();
    Unfollow();
    sink = nullptr;
    modemPath.clear();
    modemProperties.clear();
}

LONG OfonoLine::MakeCall(RequestId request, CallId id, const char* destination) {
    if (sink == nullptr || modemPath.isEmpty())
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
        bus->asyncCall(
            QDBusMessage::createMethodCall(kService, modemPath, kCallManager, QStringLiteral("Dial"))
                << QString::fromStdString(*number) << QString(),
            static_cast<int>(t.call.count())),
        this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, id] {
        pending->deleteLater();
        const QDBusMessage reply = pending->reply();
        if (!call || call->id != id) {
            // Forgotten (closed, released) while oFono dialled: a call nobody follows.
            if (reply.type() == QDBusMessage::ReplyMessage && s.hangupOnDrop && bus)
                bus->asyncCall(QDBusMessage::createMethodCall(
                    kService, reply.arguments().value(0).value<QDBusObjectPath>().path(), kCall,
                    QStringLiteral("Hangup")));
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
    // Known from CallAdded, which may also come after the answer; a call that came and
    // went before the answer is among the removed ones.
    const auto early = earlyStates.find(call->path);
    const QString state = removedEarly.contains(call->path) ? QStringLiteral("disconnected")
                          : early != earlyStates.end()      ? early->second
                                                            : QStringLiteral("dialing");
    removedEarly.clear();
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
    if (!call || call->makeRequest != 0 || call->path.isEmpty())
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
    call->path.clear(); // oFono's object is gone or going; nothing more comes from it
    if (call->dropRequest != 0 && call->hangingUp) {
        const RequestId drop = call->dropRequest;
        Report(LINECALLSTATE_IDLE, 0);
        call.reset();
        sink->RequestCompleted(drop, 0);
    }
}

LONG OfonoLine::Drop(RequestId request, CallId id) {
    if (!call || call->id != id)
        return LINEERR_INVALCALLHANDLE;
    if (call->dropRequest != 0 && call->makeRequest == 0)
        return LINEERR_OPERATIONUNAVAIL; // one drop at a time
    call->dropRequest = request;
    if (call->makeRequest != 0)
        return 0; // done when Dial answers
    if (s.hangupOnDrop && !call->path.isEmpty() && call->state != LINECALLSTATE_DISCONNECTED) {
        Hangup();
        return 0;
    }
    // Let go: the phone keeps the call; nothing more of it is followed.
    call->path.clear();
    QTimer::singleShot(0, this, [this, id, request] {
        if (!call || call->id != id || call->dropRequest != request)
            return;
        Report(LINECALLSTATE_IDLE, 0);
        call.reset();
        sink->RequestCompleted(request, 0);
    });
    return 0;
}

void OfonoLine::Hangup() {
    call->hangingUp = true;
    const CallId id = call->id;
    auto* pending = new QDBusPendingCallWatcher(
        bus->asyncCall(QDBusMessage::createMethodCall(kService, call->path, kCall, QStringLiteral("Hangup")),
                       static_cast<int>(t.call.count())),
        this);
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
        Remark("Hangup refused: " + Describe(reply));
        call->hangingUp = false;
        sink->RequestCompleted(std::exchange(call->dropRequest, 0), LINEERR_OPERATIONFAILED);
    });
    // oFono answered but the call never went: the drop ends all the same, with a remark.
    QTimer::singleShot(t.hangup, this, [this, id] {
        if (!call || call->id != id || !call->hangingUp || call->dropRequest == 0)
            return;
        Remark("the call was still there " + std::to_string(t.hangup.count()) + " ms after Hangup");
        Finish(LINEDISCONNECTMODE_UNKNOWN);
    });
}

void OfonoLine::ReleaseCall(CallId id) {
    if (call && call->id == id)
        call.reset();
}

void OfonoLine::OnModemPropertyChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (modemPath.isEmpty() || args.size() != 2)
        return;
    const QString name = args[0].toString();
    const QVariant value = args[1].value<QDBusVariant>().variant();
    modemProperties.insert(name, value);
    if (name == QLatin1String("Powered") && !value.toBool() && sink != nullptr)
        Lost("the modem " + modemPath.toStdString() + " was switched off");
}

void OfonoLine::OnModemRemoved(const QDBusObjectPath& path) {
    if (path.path() != modemPath)
        return;
    if (sink == nullptr)
        lostWhileOpening = true;
    else
        Lost("the modem " + modemPath.toStdString() + " is gone (the phone out of reach or unpaired?)");
}

void OfonoLine::OnServiceGone() {
    if (sink != nullptr)
        Lost("oFono stopped");
    else if (!modemPath.isEmpty())
        lostWhileOpening = true;
}

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
    modemPath.clear();
    modemProperties.clear();
    sink = nullptr;
    target->DeviceRemoved(); // may close the line (and so this driver) at once
}

void OfonoLine::OnCallAdded(const QDBusObjectPath& path, const QVariantMap& properties) {
    if (modemPath.isEmpty())
        return;
    const QString object = path.path();
    earlyStates[object] = properties.value(QStringLiteral("State")).toString();
    if (call && call->path == object)
        ApplyOfonoState(earlyStates[object]);
}

void OfonoLine::OnCallRemoved(const QDBusObjectPath& path) {
    const QString object = path.path();
    earlyStates.erase(object);
    if (call && call->path == object)
        ApplyOfonoState(QStringLiteral("disconnected"));
    else if (call && call->makeRequest != 0)
        removedEarly.insert(object);
}

void OfonoLine::OnCallPropertyChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() != 2 || args[0].toString() != QLatin1String("State"))
        return;
    const QString state = args[1].value<QDBusVariant>().variant().toString();
    const auto known = earlyStates.find(message.path());
    if (known != earlyStates.end())
        known->second = state;
    if (call && call->path == message.path())
        ApplyOfonoState(state);
}

void OfonoLine::OnCallDisconnectReason(const QDBusMessage& message) {
    if (call && call->path == message.path())
        call->reason = message.arguments().value(0).toString().toStdString();
}

} // namespace localtapi::ofono
