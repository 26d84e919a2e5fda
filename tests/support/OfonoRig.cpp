#include "tests/support/OfonoRig.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/Wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

#include <sys/prctl.h>
#include <cstdlib>

namespace ofonotest {

namespace {

constexpr int kStartMs = 10000; // a daemon up and answering

// A peer ends with the test, also when the test is killed: nothing is left running.
using testproc::DiesWithTheTest;
using testproc::kStopMs;

// A call on the private bus from a connection of the test's own; true when it answered.
bool Call(const QString& service, const QString& path, const QString& interface, const QString& method,
          QDBusMessage* reply = nullptr) {
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("ofonotest"));
    const QDBusMessage answer =
        bus.call(QDBusMessage::createMethodCall(service, path, interface, method), QDBus::Block, 3000);
    if (reply != nullptr)
        *reply = answer;
    return answer.type() == QDBusMessage::ReplyMessage;
}

bool CallOfono(const QString& path, const QString& interface, const QString& method,
               QDBusMessage* reply = nullptr) {
    return Call(QStringLiteral("org.ofono"), path, interface, method, reply);
}

} // namespace

PrivateBus* PrivateBus::Get(std::string& why) {
    static std::unique_ptr<PrivateBus> bus;
    static std::string failure;
    if (bus || !failure.empty()) {
        why = failure;
        return bus.get();
    }
    std::unique_ptr<PrivateBus> made(new PrivateBus);
    const QString socket = made->dir.filePath(QStringLiteral("system_bus_socket"));
    made->WriteConfig(QString());
    made->daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    DiesWithTheTest(made->daemon);
    made->daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + made->ConfigPath()});
    if (!made->daemon.waitForStarted(kStartMs) ||
        !WaitUntil([&] { return QFileInfo::exists(socket); }, kStartMs)) {
        failure = "dbus-daemon did not start (Debian package dbus)";
        why = failure;
        return nullptr;
    }
    made->address = "unix:path=" + socket.toStdString();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", made->address.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/no-session-bus", 1);
    bus = std::move(made);
    return bus.get();
}

QString PrivateBus::ConfigPath() const {
    return dir.filePath(QStringLiteral("bus.conf"));
}

void PrivateBus::WriteConfig(const QString& denials) {
    QFile config(ConfigPath());
    config.open(QIODevice::WriteOnly | QIODevice::Truncate);
    // Anyone may own any name and talk to anyone (it is the test's own bus), but for what
    // a test denies.
    config.write(
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>system</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>\n"
                       "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>\n"
                       "<allow send_type=\"method_call\"/><allow send_type=\"signal\"/>\n"
                       "<allow send_type=\"method_return\"/><allow send_type=\"error\"/>\n"
                       "<allow receive_type=\"method_call\"/><allow receive_type=\"signal\"/>\n"
                       "<allow receive_type=\"method_return\"/><allow receive_type=\"error\"/>\n"
                       "%2</policy></busconfig>\n")
            .arg(dir.filePath(QStringLiteral("system_bus_socket")), denials)
            .toUtf8());
}

bool PrivateBus::Deny(const QString& denials) {
    WriteConfig(denials);
    return Call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReloadConfig"));
}

PrivateBus::~PrivateBus() {
    QDBusConnection::disconnectFromBus(QStringLiteral("ofonotest"));
    testproc::Stop(daemon);
}

OfonoDaemon::OfonoDaemon(HandsFreeGateway& g) : gateway(g) {}

OfonoDaemon::~OfonoDaemon() {
    Stop();
}

bool OfonoDaemon::Start(std::string& why) {
    if (PrivateBus::Get(why) == nullptr)
        return false;
    QFile config(dir.filePath(QStringLiteral("phonesim.conf")));
    config.open(QIODevice::WriteOnly);
    config.write(
        QStringLiteral("[hfp]\nModem=hfp\nAddress=127.0.0.1\nPort=%1\n").arg(gateway.Port()).toUtf8());
    config.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OFONO_PHONESIM_CONFIG"), config.fileName());
    env.insert(QStringLiteral("OFONO_AT_DEBUG"), QStringLiteral("1")); // the AT dialogue in its log
    // ORVODIAL_KEEP_OFONO_LOG=1 keeps the folder with ofonod.log for a look after the run.
    if (qEnvironmentVariableIsSet("ORVODIAL_KEEP_OFONO_LOG")) {
        dir.setAutoRemove(false);
        std::fprintf(stderr, "ofonod log: %s\n", qPrintable(dir.filePath(QStringLiteral("ofonod.log"))));
    }
    daemon.setProcessEnvironment(env);
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    daemon.setStandardOutputFile(dir.filePath(QStringLiteral("ofonod.log")));
    // Only what the hands-free modem needs: no Bluetooth, udev or provisioning plugins.
    DiesWithTheTest(daemon);
    daemon.start(QStringLiteral("ofonod"),
                 {QStringLiteral("-n"), QStringLiteral("-p"), QStringLiteral("phonesim,hfpmodem,atmodem")});
    if (!daemon.waitForStarted(kStartMs)) {
        why = "ofonod did not start (Debian package ofono)";
        return false;
    }
    QDBusMessage modems;
    const bool listed = WaitUntil(
        [&] {
            return daemon.state() == QProcess::Running &&
                   CallOfono(QStringLiteral("/"), QStringLiteral("org.ofono.Manager"),
                             QStringLiteral("GetModems"), &modems) &&
                   modems.arguments().size() == 1 &&
                   QDBusMessage(modems).signature() == QStringLiteral("a(oa{sv})");
        },
        kStartMs);
    if (!listed) {
        why = "ofonod does not answer on the private bus";
        return false;
    }
    return true;
}

void OfonoDaemon::Stop() {
    testproc::Stop(daemon);
}

QVariantMap OfonoDaemon::ModemProperties(const QString& path) {
    QDBusMessage reply;
    if (!CallOfono(path, QStringLiteral("org.ofono.Modem"), QStringLiteral("GetProperties"), &reply))
        return {};
    return qdbus_cast<QVariantMap>(reply.arguments().value(0));
}

} // namespace ofonotest
