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
//
// The line goes Closed -> Opening (finding and powering the modem) -> Open, and back to
// Closed when closed or when the modem or oFono goes. A call goes one way only:
//
//   Dialling -> Following -> HangingUp -> Ended
//   Dial out    oFono's call   Hangup sent   gone, or let go
//
// Every step is StepAfter's; EndOwnCall ends the driver's part from whatever step it is
// at (lets go of the call, or hangs it up with hangup_on_drop=yes).
#pragma once

#include "localtapi/LineDriver.h"
#include "localtapi/drivers/DriverText.h"
#include "localtapi/drivers/ofono/OfonoBus.h"
#include "localtapi/drivers/ofono/OfonoSettings.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>

class QDBusMessage;
class QDBusObjectPath;
class QEventLoop;

namespace localtapi::ofono {

using namespace std::chrono_literals;

// Waits bounding the exchanges with oFono.
struct OfonoTimeouts {
    std::chrono::milliseconds call = 5s;     // one D-Bus call to its answer
    std::chrono::milliseconds powerUp = 15s; // Powered set to voice calls offered
    std::chrono::milliseconds hangup = 10s;  // Hangup sent to the call gone
};

// The number as Dial takes it: localtapi::DialableNumber.
using localtapi::DialableNumber;

enum class LineStep { Closed, Opening, Open };

enum class CallStep { Dialling, Following, HangingUp, Ended };

enum class CallEvent {
    DialAnswered, // Dial told the call's object
    HangupSent,
    Gone, // oFono's call ended, or the driver let go of it
};

// The step after step on event; an event that does not apply there leaves it, so that a
// call never goes back.
CallStep StepAfter(CallStep step, CallEvent event);

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
        CallStep step = CallStep::Dialling;
        RequestId makeRequest = 0; // while Dialling
        RequestId dropRequest = 0; // a drop that waits for Dial's answer or the call's end
        QString path;              // oFono's object, once Dial told it
        DWORD state = 0;           // the last reported LINECALLSTATE_*
        bool answered = false;
        std::string reason; // DisconnectReason, when it came
    };

    // Open's steps (OfonoOpen.cpp).
    LONG FindModem(QString& path, QVariantMap& properties);
    LONG PowerUp(const QVariantMap& properties);
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    void Wake();
    void Follow();
    void Unfollow();

    // The call.
    bool Following(const QString& path) const;
    void Advance(CallEvent event);
    void OnDialAnswer(const QDBusMessage& reply);
    void ApplyOfonoState(const QString& state);
    void Report(DWORD state, DWORD mode);
    void EndOwnCall(RequestId drop);
    void Hangup();
    void Finish(DWORD disconnectMode);
    void Lost(const std::string& why);

    OfonoSettings s;
    OfonoTimeouts t;
    OfonoBus bus;
    LineStep line = LineStep::Closed;
    LineDriverSink* sink = nullptr; // while Open
    QString modemPath;
    QVariantMap modemProperties; // kept up to date while opening and open
    bool lostWhileOpening = false; // the modem or oFono went while Open waited
    QEventLoop* waiting = nullptr; // Open's wait, woken by the modem's changes
    std::optional<Call> call;
    // The states oFono last told for this modem's calls: Dial's answer names ours, which
    // may have changed, or gone ("disconnected"), before that answer came.
    std::map<QString, QString> seenCalls;
};

} // namespace localtapi::ofono
