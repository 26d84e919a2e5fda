// MediaPort: the UDP port a click-to-dial leg names in its media description, so that the
// phone has a real address to send to and to hold. Whatever arrives (a phone's RTP, its
// media checks) is read and thrown away as it comes, so nothing piles up; nothing is ever
// sent and nothing kept: the driver's leg carries no audio. One per call; the socket is
// closed with the object.
// What it does not do: no RTP or RTCP parsing, no second port for RTCP.
#pragma once

#include <QObject>

#include <string>

class QSocketNotifier;

namespace localtapi::sip {

class MediaPort : public QObject {
  public:
    MediaPort() = default;
    ~MediaPort() override;
    MediaPort(const MediaPort&) = delete;
    MediaPort& operator=(const MediaPort&) = delete;

    // Binds a port the system picks on address (an IPv4 or IPv6 literal, no brackets;
    // "0.0.0.0" for any). False, with why, when it cannot.
    bool Bind(const std::string& address, std::string& why);
    int Port() const { return port; }

  private:
    static constexpr int kDatagramsPerTurn = 64;
    void Drain();

    int fd = -1;
    int port = 0;
    QSocketNotifier* notifier = nullptr; // a child of this object
};

} // namespace localtapi::sip
