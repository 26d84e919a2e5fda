// The real oFono daemon for the oFono driver's tests: a private system bus (one
// dbus-daemon for the test program, at a fixed socket in a folder of the run, since the
// D-Bus library reads the bus's address once per process), and per test an ofonod whose
// phonesim plugin has one hands-free modem, /hfp, talking to a HandsFreeGateway. Both
// are started by the test and stopped by their PIDs; every wait is bounded.
#pragma once

#include "tests/support/HandsFreeGateway.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>
#include <string>

namespace ofonotest {

// The test program's system bus; started on first use, stopped at exit. Sets
// DBUS_SYSTEM_BUS_ADDRESS (and points the session bus at nothing). Null with a reason in
// `why` when dbus-daemon cannot start.
class PrivateBus {
  public:
    static PrivateBus* Get(std::string& why);
    ~PrivateBus();
    const std::string& Address() const { return address; }
    // The bus's policy with these rules (<deny .../> elements) added, in effect at once for
    // every connection; an empty text lifts them. True when the bus took it.
    bool Deny(const QString& denials);

  private:
    PrivateBus() = default;
    QString ConfigPath() const;
    void WriteConfig(const QString& denials);
    QTemporaryDir dir;
    QProcess daemon;
    std::string address;
};

// An ofonod on the private bus with its phonesim modem /hfp on `gateway`.
class OfonoDaemon {
  public:
    explicit OfonoDaemon(HandsFreeGateway& gateway);
    ~OfonoDaemon();
    // Started and owning org.ofono, with /hfp listed; false (why) otherwise.
    bool Start(std::string& why);
    void Stop();
    // The modem's properties as oFono tells them to anyone on the bus (empty: no answer).
    QVariantMap ModemProperties(const QString& path = QStringLiteral("/hfp"));

  private:
    HandsFreeGateway& gateway;
    QTemporaryDir dir;
    QProcess daemon;
};

} // namespace ofonotest
