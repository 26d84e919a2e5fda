// OfonoLine: a line device that is a mobile phone (over Bluetooth hands-free) or a cellular
// modem, driven through oFono on the system bus.
//
// Open finds the modem (the configured path, or the first one that offers voice calls),
// powers it if it is off (and asks for Online where the modem has that), and follows it.
// A call is VoiceCallManager.Dial; the call's State becomes the call states. The drop lets
// go of the call, so that the phone keeps it, or (hangup_on_drop=yes) hangs it up. The
// modem or oFono going away ends the call and removes the device; the next open finds it
// again. Every D-Bus exchange is asynchronous on the service's event loop: Open waits for
// its answers in a nested loop, bounded by named timeouts.
// What it does not do: no audio (it stays on the phone), no incoming calls, one call at a
// time, no SIM PIN entry.
#pragma once

#include "localtapi/DriverSettings.h"
#include "localtapi/LineDriver.h"
#include "localtapi/drivers/DriverText.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

class QDBusMessage;
class QDBusObjectPath;
class QDBusServiceWatcher;
class QDBusVariant;

namespace localtapi::ofono {

using namespace std::chrono_literals;

// Waits bounding the exchanges with oFono.
struct OfonoTimeouts {
    std::chrono::milliseconds call = 5s;     // one D-Bus call to its answer
    std::chrono::milliseconds powerUp = 15s; // Powered set to voice calls offered
    std::chrono::milliseconds hangup = 10s;  // Hangup sent to the call gone
};

// The typed settings of an oFono line; keys and defaults in kOfonoSettings (OfonoLine.cpp).
struct OfonoSettings {
    std::string modem; // object path; empty: the first modem with voice calls
    bool hangupOnDrop = false;
    DeviceCaps caps;
};

std::optional<OfonoSettings> ReadOfonoSettings(const LineSettings& settings, std::vector<ConfigProblem>& problems);

// The number as Dial takes it: localtapi::DialableNumber.
using localtapi::DialableNumber;

// The disconnect mode of a call that ended with oFono's DisconnectReason ("local",
// "remote", "network", or empty when none came), answered or not.
DWORD DisconnectModeFor(std::string_view reason, bool answered);

class OfonoLine : public QObject, public LineDriver {
    Q_OBJECT

  public:
    explicit OfonoLine(OfonoSettings settings, OfonoTimeouts timeouts = {});
    ~OfonoLine() override;

    DeviceCaps Caps() const override;
    LONG Open(LineDriverSink& sink) override;
    void Close() override;
    LONG MakeCall(RequestId request, CallId call, const char* destination) override;
    LONG Drop(RequestId request, CallId call) override;
    void ReleaseCall(CallId call) override;

  private slots:
    void OnModemPropertyChanged(const QDBusMessage& message);
    void OnModemRemoved(const QDBusObjectPath& path);
    void OnCallAdded(const QDBusObjectPath& path, const QVariantMap& properties);
    void OnCallRemoved(const QDBusObjectPath& path);
    void OnCallPropertyChanged(const QDBusMessage& message);
    void OnCallDisconnectReason(const QDBusMessage& message);
    void OnServiceGone();

  private:
    struct Call {
        Call() {} // (a constructor of its own: clang cannot make one for std::optional here)
        CallId id = 0;
        RequestId makeRequest = 0; // until Dial answers
        RequestId dropRequest = 0; // a drop that waits for Dial's answer or the call's end
        QString path;              // oFono's object; empty until Dial answers
        DWORD state = 0;           // the last reported LINECALLSTATE_*
        bool answered = false;
        std::string reason; // DisconnectReason, when it came
        bool hangingUp = false;
    };

    // Open's steps.
    std::optional<QDBusMessage> Await(const QDBusMessage& request, std::chrono::milliseconds timeout);
    LONG FindModem(QString& path, QVariantMap& properties);
    LONG PowerUp(const QVariantMap& properties);
    void Follow();
    void Unfollow();

    // The call.
    void OnDialAnswer(const QDBusMessage& reply);
    void ApplyOfonoState(const QString& state);
    void Report(DWORD state, DWORD mode);
    void Hangup();
    void Finish(DWORD disconnectMode);
    void LetGo();
    void Lost(const std::string& why);

    OfonoSettings s;
    OfonoTimeouts t;
    LineDriverSink* sink = nullptr;
    QString connectionName;
    std::unique_ptr<QDBusConnection> bus;
    std::unique_ptr<QDBusServiceWatcher> watcher;
    QString modemPath;
    QVariantMap modemProperties; // kept up to date while open
    bool lostWhileOpening = false; // the modem or oFono went while Open waited
    std::optional<Call> call;
    // States oFono sent for call objects before Dial told which one is ours.
    std::map<QString, QString> earlyStates;
    std::set<QString> removedEarly; // calls gone while Dial was still out
};

// The driver's description and settings, for the registry.
DriverInfo OfonoDriverInfo();

} // namespace localtapi::ofono
