// The SIP driver's click-to-dial tests against real peers (kamailio, two baresip phones)
// in a network namespace of the test's own: the fixture, the line's settings for the
// peers, and this process's own sockets as seen from outside the SIP stack.
#pragma once

#include "localtapi/drivers/sip/SipLine.h"
#include "tests/localtapi/drivers/sip/SipPeers.h"
#include "tests/support/DriverRecorder.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QHostAddress>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace siptest {

using namespace localtapi::sip;
using drivertest::Recorder;

inline SipSettings Settings(const std::string& phone, const std::string& password = "secret", int timeout = 10) {
    localtapi::LineSettings group;
    group.entries = {{"phone", phone, 1},
                     {"password", password, 2},
                     {"autoanswer", "yes", 3},
                     {"timeout", std::to_string(timeout), 4}};
    std::vector<localtapi::ConfigProblem> problems;
    return ReadSipSettings(group, problems).value();
}

// This process's IP sockets as getsockname shows them: what the SIP stack holds, seen from
// outside it. "udp 5060", "tcp 40112" by port; the IPv4 addresses of the UDP ones.
struct OwnSocket {
    bool udp = false;
    int port = -1;
    std::string address; // IPv4 only
};
inline std::vector<OwnSocket> OwnIpSockets() {
    std::vector<OwnSocket> found;
    for (const QString& fd :
         QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System)) {
        const int n = fd.toInt();
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (::getsockname(n, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            ::getsockopt(n, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0)
            continue;
        OwnSocket own;
        own.udp = type == SOCK_DGRAM;
        if (address.ss_family == AF_INET) {
            own.port = ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
            own.address = QHostAddress(reinterpret_cast<sockaddr*>(&address)).toString().toStdString();
        } else if (address.ss_family == AF_INET6) {
            own.port = ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
        }
        if (own.port >= 0)
            found.push_back(own);
    }
    return found;
}
inline std::set<std::string> OwnSockets() {
    std::set<std::string> found;
    for (const OwnSocket& own : OwnIpSockets())
        found.insert((own.udp ? "udp " : "tcp ") + std::to_string(own.port));
    return found;
}
inline std::set<std::string> OwnUdpAddresses() {
    std::set<std::string> found;
    for (const OwnSocket& own : OwnIpSockets())
        if (own.udp && !own.address.empty())
            found.insert(own.address);
    return found;
}

class SipClickToDial : public ::testing::Test {
  protected:
    void Start(PeerOptions options = {}) {
        if (qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1")
            GTEST_SKIP() << "runs in its own network namespace (ctest's sip_peer_tests)";
        peers = std::make_unique<SipPeers>(options);
        std::string why;
        ASSERT_TRUE(peers->Start(why)) << why;
    }
    std::unique_ptr<SipLine> Line() { return Line(Settings(peers->PhoneUri())); }
    std::unique_ptr<SipLine> Line(SipSettings settings, SipTimeouts timeouts = {}) {
        auto line = std::make_unique<SipLine>(std::move(settings), timeouts);
        line->SetRemarks([this](const std::string& text, bool forUser) {
            remarks += (forUser ? "! " : "  ") + text + "\n";
        });
        return line;
    }
    bool WaitFor(const std::string& event, int ms = 15000) {
        return WaitUntil([&] { return sink.log.find(event) != std::string::npos; }, ms);
    }
    // The phone's calls as baresip lists them.
    std::string PhoneCalls() { return peers->Phone().Command("listcalls"); }
    std::string CalleeCalls() { return peers->Callee().Command("listcalls"); }

    std::unique_ptr<SipPeers> peers;
    Recorder sink;
    std::string remarks;
};

} // namespace siptest
