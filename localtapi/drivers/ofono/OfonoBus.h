// OfonoBus: the oFono line's side of D-Bus. A system-bus connection of the line's own (a bus
// that restarted needs a new one, which the process-wide one would never become); oFono's
// names; method calls to it built in one place; a wait for an answer bounded twice; and the
// signals a line follows, as one table that subscribes and unsubscribes alike. It knows
// nothing of calls or call states: that is the line's (OfonoLine).
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>

class QObject;
class QDBusServiceWatcher;

namespace localtapi::ofono {

extern const QString kService;     // org.ofono
extern const QString kManager;     // org.ofono.Manager, at /
extern const QString kModem;       // org.ofono.Modem
extern const QString kCallManager; // org.ofono.VoiceCallManager, on a modem
extern const QString kCall;        // org.ofono.VoiceCall

// A signal the line follows: on which object (the modem, oFono's root, or any), of which
// interface, and the receiver's slot (SLOT(...)), which takes the whole message or the
// signal's typed arguments.
struct Subscription {
    enum class Object { Modem, Root, Any } object;
    const QString* interface;
    const char* signal;
    const char* slot;
};

// A method call to oFono: object, interface, method.
QDBusMessage OfonoCall(const QString& path, const QString& interface, const char* method);

// The interfaces a modem offers; whether voice calls are among them.
bool OffersVoiceCalls(const QVariantMap& modemProperties);

// What went wrong with a request, for the user: oFono's error name and text, or, when the
// bus refused the request, why (its own text is a dump of the policy rules it matched).
std::string Describe(const QDBusMessage& error);

class OfonoBus {
  public:
    OfonoBus();
    ~OfonoBus();

    // Connected, anew when the last connection broke; false, with why, when there is no bus.
    bool Connect(std::string& why);
    // Whether oFono is on the bus now.
    bool OfonoRunning(std::chrono::milliseconds timeout);

    // The answer to request, waited for in a nested event loop; none when it did not come
    // in timeout.
    std::optional<QDBusMessage> Await(const QDBusMessage& request, std::chrono::milliseconds timeout);
    // Sends request; the answer comes to a QDBusPendingCallWatcher of the caller's.
    QDBusPendingCall Send(const QDBusMessage& request, std::chrono::milliseconds timeout);
    // Sends request, its answer not waited for.
    void Post(const QDBusMessage& request);

    // Each subscription of the table on (follow) or off, for the modem at modemPath; while
    // followed, oFono leaving the bus calls receiver's gone slot (SLOT(...)).
    void Follow(std::span<const Subscription> table, const QString& modemPath, QObject* receiver,
                const char* gone);
    void Unfollow(std::span<const Subscription> table, const QString& modemPath, QObject* receiver);

  private:
    QString name;
    std::unique_ptr<QDBusConnection> bus;
    std::unique_ptr<QDBusServiceWatcher> watcher;
};

} // namespace localtapi::ofono
