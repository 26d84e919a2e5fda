#include "localtapi/drivers/ofono/OfonoBus.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace localtapi::ofono {

using namespace std::chrono_literals;

const QString kService = QStringLiteral("org.ofono");
const QString kManager = QStringLiteral("org.ofono.Manager");
const QString kModem = QStringLiteral("org.ofono.Modem");
const QString kCallManager = QStringLiteral("org.ofono.VoiceCallManager");
const QString kCall = QStringLiteral("org.ofono.VoiceCall");

QDBusMessage OfonoCall(const QString& path, const QString& interface, const char* method) {
    return QDBusMessage::createMethodCall(kService, path, interface, QString::fromLatin1(method));
}

bool OffersVoiceCalls(const QVariantMap& modemProperties) {
    return qdbus_cast<QStringList>(modemProperties.value(QStringLiteral("Interfaces"))).contains(kCallManager);
}

std::string Describe(const QDBusMessage& error) {
    if (error.errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        // Debian's oFono lets only root and users logged in at the computer itself talk to
        // it; over ssh, or from a service, the bus refuses every call.
        return "oFono refuses this user: its D-Bus policy (/etc/dbus-1/system.d/ofono.conf) lets only root "
               "and users logged in at the computer itself call it";
    return (error.errorName() + QStringLiteral(": ") + error.errorMessage()).toStdString();
}

OfonoBus::OfonoBus() = default;

OfonoBus::~OfonoBus() {
    watcher.reset();
    bus.reset();
    if (!name.isEmpty())
        QDBusConnection::disconnectFromBus(name);
}

bool OfonoBus::Connect(std::string& why) {
    if (!bus || !bus->isConnected()) {
        watcher.reset();
        bus.reset();
        if (!name.isEmpty())
            QDBusConnection::disconnectFromBus(name);
        static int serial = 0;
        name = QStringLiteral("orvodial-ofono-%1").arg(++serial);
        bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(QDBusConnection::SystemBus, name));
    }
    if (bus->isConnected())
        return true;
    why = bus->lastError().message().toStdString();
    return false;
}

bool OfonoBus::OfonoRunning(std::chrono::milliseconds timeout) {
    const auto owner = Await(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                            QStringLiteral("/org/freedesktop/DBus"),
                                                            QStringLiteral("org.freedesktop.DBus"),
                                                            QStringLiteral("NameHasOwner"))
                                 << kService,
                             timeout);
    return owner && owner->type() == QDBusMessage::ReplyMessage && owner->arguments().value(0).toBool();
}

std::optional<QDBusMessage> OfonoBus::Await(const QDBusMessage& request, std::chrono::milliseconds timeout) {
    QDBusPendingCallWatcher pending(Send(request, timeout));
    if (!pending.isFinished()) {
        QEventLoop loop;
        QObject::connect(&pending, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        // Bounded twice: by the call's own timeout and, should that not fire, by this.
        QTimer::singleShot(timeout + 1s, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!pending.isFinished())
        return std::nullopt;
    return pending.reply();
}

QDBusPendingCall OfonoBus::Send(const QDBusMessage& request, std::chrono::milliseconds timeout) {
    return bus->asyncCall(request, static_cast<int>(timeout.count()));
}

void OfonoBus::Post(const QDBusMessage& request) {
    if (bus)
        bus->asyncCall(request);
}

namespace {

QString PathOf(Subscription::Object object, const QString& modemPath) {
    switch (object) {
    case Subscription::Object::Modem:
        return modemPath;
    case Subscription::Object::Root:
        return QStringLiteral("/");
    case Subscription::Object::Any:
        break;
    }
    return {};
}

} // namespace

void OfonoBus::Follow(std::span<const Subscription> table, const QString& modemPath, QObject* receiver,
                      const char* gone) {
    for (const Subscription& s : table)
        bus->connect(kService, PathOf(s.object, modemPath), *s.interface, QString::fromLatin1(s.signal), receiver,
                     s.slot);
    watcher = std::make_unique<QDBusServiceWatcher>(kService, *bus, QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(watcher.get(), SIGNAL(serviceUnregistered(QString)), receiver, gone);
}

void OfonoBus::Unfollow(std::span<const Subscription> table, const QString& modemPath, QObject* receiver) {
    if (!bus)
        return;
    for (const Subscription& s : table)
        bus->disconnect(kService, PathOf(s.object, modemPath), *s.interface, QString::fromLatin1(s.signal),
                        receiver, s.slot);
    watcher.reset();
}

} // namespace localtapi::ofono
