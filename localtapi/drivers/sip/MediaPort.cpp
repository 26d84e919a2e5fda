#include "localtapi/drivers/sip/MediaPort.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace localtapi::sip {

MediaPort::~MediaPort() {
    delete notifier; // before the socket it watches goes
    if (fd >= 0)
        ::close(fd);
}

bool MediaPort::Bind(const std::string& address, std::string& why) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof *v6;
    } else {
        why = "no IP address: " + address;
        return false;
    }
    fd = ::socket(storage.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        why = "no UDP port for the media on " + address + ": " + std::strerror(errno);
        return false;
    }
    port = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &MediaPort::Drain);
    return true;
}

// A few datagrams at a time: under a flood the notifier fires again on the next turn of
// the event loop, and everything else the loop serves still gets its turn.
void MediaPort::Drain() {
    char packet[2048];
    for (int i = 0; i < kDatagramsPerTurn && ::recv(fd, packet, sizeof packet, MSG_DONTWAIT) >= 0; ++i) {
    }
}

} // namespace localtapi::sip
