// SingleDialer: one running dialer per user, reached by the next start of the program.
//
// The first dialer listens on a local socket in the user's runtime directory
// ($XDG_RUNTIME_DIR, which only that user can enter; the socket itself is also the user's
// alone). A later start hands its link, or only the wish to see the dialer, to it and
// ends. A socket left by a dialer that crashed answers nobody; the next dialer takes it
// over. What goes over the socket is one line, "open" or "link <the link as given>",
// answered "ok"; the running dialer reads the link again itself.
#pragma once

#include <QLocalServer>
#include <QObject>

#include <functional>
#include <optional>
#include <string>

namespace app {

// The socket's path for this user.
QString DialerSocketName();

// Hands the link (or, with none, just the wish to see the dialer) to the dialer already
// running for this user; true when one took it, false when none answers within timeoutMs.
bool HandToRunningDialer(const std::optional<std::string>& link, int timeoutMs);

// The running dialer's end of the socket.
class DialerServer : public QObject {
  public:
    // Called with each link's number (none: just come to the front).
    using LinkHandler = std::function<void(std::optional<std::string> number)>;
    explicit DialerServer(LinkHandler onLink, QObject* parent = nullptr);

    // Starts listening, taking over a stale socket; false (with the reason) when it cannot.
    bool Listen(QString& error);

  private:
    void Serve(class QLocalSocket* socket);

    QLocalServer server_;
    LinkHandler onLink_;
};

} // namespace app
