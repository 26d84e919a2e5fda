#include "localtapi/drivers/sip/LocalRoute.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace localtapi::sip {

LocalRoute LocalAddressToward(const std::string& host, const std::string& port) {
    LocalRoute route;
    std::string name = host;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(name.c_str(), port.c_str(), &hints, &found); error != 0) {
        route.why = "the name " + name + " has no address (" + ::gai_strerror(error) + ")";
        return route;
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> held(found, &::freeaddrinfo);
    int lastError = 0;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        sockaddr_storage local{};
        socklen_t length = sizeof local;
        const bool ok = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 &&
                        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
        lastError = errno;
        ::close(fd);
        if (!ok)
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        const void* bytes =
            local.ss_family == AF_INET6
                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr)
                : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(&local)->sin_addr);
        if (::inet_ntop(local.ss_family, bytes, text, sizeof text) == nullptr)
            continue;
        route.outcome = LocalRoute::Outcome::Found;
        route.address = text;
        return route;
    }
    route.outcome = LocalRoute::Outcome::NoRoute;
    route.why = "no network reaches " + name + " (" + std::strerror(lastError) + ")";
    return route;
}

} // namespace localtapi::sip
