// The oFono line's open: oFono on the bus, the modem found, followed and powered, and the
// modem's own signals (switched off, removed, oFono gone) while opening and open.
#include "localtapi/drivers/ofono/OfonoLine.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace localtapi::ofono {

namespace {

// What the line follows while open. Slots that take the whole message: a slot with typed
// arguments is matched only once Qt knows the types, which a first call in the process may
// not yet. The calls' signals come from any path: a match made when a call appears could
// miss its first changes; the slots keep to this modem's calls.
const Subscription kFollowed[] = {
    {Subscription::Object::Modem, &kModem, "PropertyChanged", SLOT(OnModemPropertyChanged(QDBusMessage))},
    {Subscription::Object::Root, &kManager, "ModemRemoved", SLOT(OnModemRemoved(QDBusObjectPath))},
    {Subscription::Object::Modem, &kCallManager, "CallAdded", SLOT(OnCallAdded(QDBusObjectPath, QVariantMap))},
    {Subscription::Object::Modem, &kCallManager, "CallRemoved", SLOT(OnCallRemoved(QDBusObjectPath))},
    {Subscription::Object::Any, &kCall, "PropertyChanged", SLOT(OnCallPropertyChanged(QDBusMessage))},
    {Subscription::Object::Any, &kCall, "DisconnectReason", SLOT(OnCallDisconnectReason(QDBusMessage))},
};

} // namespace

LONG OfonoLine::Open(LineDriverSink& target) {
    if (std::string why; !bus.Connect(why)) {
        Remark("no system bus to reach oFono on: " + why, true);
        return LINEERR_NODEVICE;
    }
    if (!bus.OfonoRunning(t.call)) {
        Remark("oFono is not running: no org.ofono on the system bus (start it: systemctl start ofono)",
               true);
        return LINEERR_NODEVICE;
    }
    QString path;
    QVariantMap properties;
    if (const LONG found = FindModem(path, properties); found != 0)
        return found;
    line = LineStep::Opening;
    modemPath = path;
    modemProperties = properties;
    lostWhileOpening = false;
    Follow();
    if (const LONG powered = PowerUp(properties); powered != 0) {
        Unfollow();
        line = LineStep::Closed;
        modemPath.clear();
        modemProperties.clear();
        return powered;
    }
    line = LineStep::Open;
    sink = &target; // from here on the modem's changes are the line's
    return 0;
}

LONG OfonoLine::FindModem(QString& path, QVariantMap& properties) {
    const auto reply = bus.Await(OfonoCall(QStringLiteral("/"), kManager, "GetModems"), t.call);
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
        return bus.Await(OfonoCall(modemPath, kModem, "SetProperty") << name << QVariant::fromValue(QDBusVariant(true)),
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
    // Voice calls are offered once the modem is up: its property changes wake the wait.
    // Asked once as well, so that a change signalled before the subscription took hold is
    // not missed.
    if (!OffersVoiceCalls(modemProperties)) {
        auto* ask = new QDBusPendingCallWatcher(bus.Send(OfonoCall(modemPath, kModem, "GetProperties"), t.call), this);
        connect(ask, &QDBusPendingCallWatcher::finished, this, [this, ask] {
            ask->deleteLater();
            const QDBusMessage reply = ask->reply();
            if (reply.type() == QDBusMessage::ReplyMessage && line == LineStep::Opening) {
                modemProperties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
                Wake();
            }
        });
        WaitUntil([this] { return OffersVoiceCalls(modemProperties) || lostWhileOpening; }, t.powerUp);
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

// Waits in a nested loop, bounded, until done; each Wake looks again.
bool OfonoLine::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(deadline.remainingTimeAsDuration()), &loop, &QEventLoop::quit);
        waiting = &loop;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        waiting = nullptr;
    }
    return done();
}

void OfonoLine::Wake() {
    if (waiting != nullptr)
        waiting->quit();
}

void OfonoLine::Follow() {
    bus.Follow(kFollowed, modemPath, this, SLOT(OnServiceGone()));
}

void OfonoLine::Unfollow() {
    bus.Unfollow(kFollowed, modemPath, this);
    seenCalls.clear();
}

void OfonoLine::OnModemPropertyChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (line == LineStep::Closed || args.size() != 2)
        return;
    const QString name = args[0].toString();
    const QVariant value = args[1].value<QDBusVariant>().variant();
    modemProperties.insert(name, value);
    Wake();
    if (name == QLatin1String("Powered") && !value.toBool() && line == LineStep::Open)
        Lost("the modem " + modemPath.toStdString() + " was switched off");
}

void OfonoLine::OnModemRemoved(const QDBusObjectPath& path) {
    if (line == LineStep::Closed || path.path() != modemPath)
        return;
    if (line == LineStep::Opening) {
        lostWhileOpening = true;
        Wake();
    } else {
        Lost("the modem " + modemPath.toStdString() + " is gone (the phone out of reach or unpaired?)");
    }
}

void OfonoLine::OnServiceGone() {
    if (line == LineStep::Open) {
        Lost("oFono stopped");
    } else if (line == LineStep::Opening) {
        lostWhileOpening = true;
        Wake();
    }
}

} // namespace localtapi::ofono
