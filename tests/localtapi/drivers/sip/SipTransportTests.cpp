// The SIP driver's transport against real peers: a shutdown mid-call leaves no dialog and
// no socket, hostile messages are refused, TLS only to a server whose certificate checks
// out, and the local address the route to the server picks.
#include "tests/localtapi/drivers/sip/SipLineFixture.h"
#include "tests/support/LineApp.h"

#include "localtapi/LocalTapi.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

using namespace siptest;

TEST_F(SipClickToDial, ShutdownMidCallLeavesNoDialogAndNoSocket) {
    Start();
    const std::set<std::string> before = OwnSockets();
    localtapi::LocalTapi::Options options;
    std::ostringstream errors;
    options.configuration = localtapi::ParseConfiguration("[line0]\ndriver=sip\nphone=" + peers->PhoneUri() +
                                                              "\npassword=secret\nautoanswer=yes\n",
                                                          "/nonexistent/telephony.ini");
    options.errors = &errors;
    localtapi::LocalTapi service(std::move(options));
    ASSERT_EQ(errors.str(), "");
    static std::vector<DWORD> states;
    states.clear();
    LINECALLBACK record = [](DWORD, DWORD message, DWORD_PTR, DWORD_PTR p1, DWORD_PTR, DWORD_PTR) {
        if (message == LINE_CALLSTATE)
            states.push_back(static_cast<DWORD>(p1));
    };
    const testsupport::LineApp started = testsupport::StartLineApp(service, record);
    ASSERT_EQ(started.result, 0);
    ASSERT_EQ(started.devices, 1u);
    const HLINEAPP app = started.app;
    HLINE hline = 0;
    ASSERT_EQ(service.lineOpen(app, 0, &hline, 0x00030000, 0, 0, LINECALLPRIVILEGE_NONE,
                               LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
              0);
    EXPECT_GT(OwnSockets().size(), before.size()) << "the open line holds a socket";
    HCALL hcall = 0;
    ASSERT_GT(service.lineMakeCallA(hline, &hcall, "555-1212", 0, nullptr), 0);
    ASSERT_TRUE(WaitUntil(
        [&] { return std::count(states.begin(), states.end(), LINECALLSTATE_CONNECTED) > 0; }, 15000));
    ASSERT_EQ(service.lineShutdown(app), 0);
    EXPECT_TRUE(service.WaitForDevices(std::chrono::seconds(10)));
    EXPECT_EQ(OwnSockets(), before);
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 5000))
        << PhoneCalls();
    EXPECT_NE(PhoneCalls().find("5551212"), std::string::npos)
        << "the phone keeps its call: " << PhoneCalls();
}

// Whatever arrives at the driver's port from the network: requests it never takes are
// refused, nonsense is dropped or answered 400, and the line still dials afterwards.
TEST_F(SipClickToDial, HostileMessagesAreRefusedAndTheLineStillWorks) {
    Start();
    const std::set<std::string> before = OwnSockets();
    auto line = Line();
    ASSERT_EQ(line->Open(sink), 0);
    int port = 0;
    for (const std::string& s : OwnSockets())
        if (!before.count(s) && s.starts_with("udp "))
            port = std::stoi(s.substr(4));
    ASSERT_NE(port, 0) << "no UDP socket of the driver";
    // Each message from a socket of its own: answers to one (a 403 resent until an ACK that
    // never comes) are not taken for answers to the next.
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    std::string from;
    auto next = [&] {
        sockets.push_back(std::make_unique<QUdpSocket>());
        sockets.back()->bind(QHostAddress(QString::fromLatin1(siptest::kHost)), 0);
        from = std::string(siptest::kHost) + ":" + std::to_string(sockets.back()->localPort());
    };
    const std::string to = "sip:orvodial@" + std::string(siptest::kHost) + ":" + std::to_string(port);
    auto request = [&](const std::string& method, int n, const std::string& extra,
                       const std::string& body = "") {
        return method + " " + to + " SIP/2.0\r\nVia: SIP/2.0/UDP " + from + ";branch=z9hG4bK-hostile-" +
               std::to_string(n) + "\r\nMax-Forwards: 70\r\nFrom: <sip:mallory@" + from + ">;tag=m" +
               std::to_string(n) + "\r\nTo: <" + to + ">\r\nCall-ID: hostile-" + std::to_string(n) +
               "\r\nCSeq: 1 " + method + "\r\nContact: <sip:mallory@" + from + ">\r\n" + extra +
               "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    struct Case {
        std::string what;
        std::function<std::string()> message; // built once the case's socket is bound
        int lowest, highest;                  // the status answered; 0, 0: no answer
    };
    const std::string sdp = "v=0\r\no=m 1 1 IN IP4 10.77.0.1\r\ns=-\r\nc=IN IP4 10.77.0.1\r\nt=0 0\r\n"
                            "m=audio 4000 RTP/AVP 0\r\n";
    const Case cases[] = {
        {"an INVITE to the line",
         [&] { return request("INVITE", 1, "Content-Type: application/sdp\r\n", sdp); }, 403, 403},
        {"a REFER outside any dialog",
         [&] { return request("REFER", 2, "Refer-To: <sip:900@10.77.0.1>\r\n"); }, 403, 403},
        {"a NOTIFY of no subscription",
         [&] {
             return request("NOTIFY", 3,
                            "Event: refer\r\nSubscription-State: active\r\nContent-Type: message/sipfrag\r\n",
                            "SIP/2.0 200 OK\r\n");
         },
         481, 481},
        {"a malformed CSeq",
         [&] {
             return "OPTIONS " + to + " SIP/2.0\r\nVia: SIP/2.0/UDP " + from +
                    ";branch=z9hG4bK-hostile-4\r\nFrom: <sip:m@x>;tag=1\r\nTo: <" + to +
                    ">\r\nCall-ID: hostile-4\r\nCSeq: banana\r\nContent-Length: 0\r\n\r\n";
         },
         0, 400},
        {"a huge body",
         [&] { return request("MESSAGE", 5, "Content-Type: text/plain\r\n", std::string(60000, 'A')); }, 403,
         413},
        {"a body longer than it says",
         [&] { return request("INVITE", 6, "", "") + std::string(3000, '\xff'); }, 0, 499},
        {"no SIP at all",
         [] {
             using namespace std::string_literals;
             return "\x00\x01\x02 garbage\r\n\r\n"s; // the NUL bytes included
         },
         0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        next();
        QUdpSocket& mallory = *sockets.back();
        const std::string message = c.message();
        mallory.writeDatagram(message.data(), static_cast<qint64>(message.size()),
                              QHostAddress(QString::fromLatin1(siptest::kHost)), static_cast<quint16>(port));
        int status = 0;
        WaitUntil(
            [&] {
                while (mallory.hasPendingDatagrams()) {
                    QByteArray answer(static_cast<int>(mallory.pendingDatagramSize()), '\0');
                    mallory.readDatagram(answer.data(), answer.size());
                    if (answer.startsWith("SIP/2.0 ") && answer.mid(8, 3).toInt() >= 200)
                        status = answer.mid(8, 3).toInt();
                }
                return status != 0;
            },
            c.highest == 0 ? 500 : 2000);
        if (c.lowest != 0 || c.highest == 0) {
            EXPECT_GE(status, c.lowest);
        }
        EXPECT_LE(status, c.highest);
    }
    EXPECT_EQ(sink.log, "") << "a message from outside moved the line";
    ASSERT_EQ(line->MakeCall(1, 7, "555-1212"), 0);
    EXPECT_TRUE(WaitFor("CONNECTED")) << sink.log << "\n" << remarks;
}

// TLS to the server: the call goes through when the server's certificate chains to a
// trusted CA and names the host connected to; with only another CA trusted, or under
// another name, the connection is refused and the call fails: nothing goes out unchecked
// or by another way.
TEST_F(SipClickToDial, TlsCallsOnlyThroughAServerWhoseCertificateChecksOut) {
    Start({.phoneAnswers = true, .calleeAnswers = true, .referAnswer = 0, .referDelayMs = 0, .tls = true});
    struct Case {
        const char* what;
        QString trust;
        std::string host;
        bool connects;
    };
    const Case cases[] = {
        {"trusted, and its name", peers->TrustingDir(), siptest::kHost, true},
        {"signed by a CA not trusted", peers->OtherCaDir(), siptest::kHost, false},
        {"trusted, but another name", peers->TrustingDir(), "127.0.0.1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qputenv("SSL_CERT_DIR", c.trust.toLocal8Bit());
        sink = Recorder{};
        remarks.clear();
        SipSettings settings = Settings(peers->PhoneUri());
        settings.transport = "tls";
        settings.proxy = "sip:" + c.host + ":" + std::to_string(peers->TlsPort());
        auto line = Line(settings, {.drop = std::chrono::milliseconds(500),
                                    .shutdown = std::chrono::seconds(2),
                                    .server = std::chrono::seconds(3)});
        ASSERT_EQ(line->Open(sink), 0) << remarks;
        ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
        if (c.connects) {
            EXPECT_TRUE(WaitFor("CONNECTED")) << sink.log << "\n" << remarks;
            EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("5551212") != std::string::npos; }, 5000));
        } else {
            EXPECT_TRUE(WaitFor("DISCONNECTED", 6000)) << sink.log;
            EXPECT_NE(sink.log.find("DISCONNECTED UNREACHABLE"), std::string::npos) << sink.log;
            EXPECT_NE(remarks.find("certificate was not accepted"), std::string::npos) << remarks;
            EXPECT_EQ(PhoneCalls().find("orvodial"), std::string::npos) << "the phone rang: " << PhoneCalls();
        }
        ASSERT_EQ(line->Drop(2, 7), 0);
        EXPECT_TRUE(WaitFor("reply 2 0")) << sink.log;
        line->Close();
        EXPECT_TRUE(WaitUntil([&] { return !line->Busy(); }, 8000));
        EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 5000));
        if (c.connects)
            peers->Phone().Command("hangup");
    }
    qunsetenv("SSL_CERT_DIR");
}

// A remote worker's computer: a network namespace of its own with two networks, a home LAN
// (192.168.50.2/24, made first: the first interface) and a VPN (10.231.7.1/24). The office,
// the test's own namespace where the peers listen on kHost, is at the far end of one of
// them, or of neither; the other ends nowhere. The calling thread works inside the computer
// from Enter until the object goes (a thread's network namespace is its own).
class RemoteWorker {
  public:
    enum class Office { ThroughHome, ThroughVpn, Unreachable };
    explicit RemoteWorker(Office office) : office(office) {
        // Names of its own: the last computer's links may still be going away.
        static int made = 0;
        n = QString::number(++made);
    }
    ~RemoteWorker() {
        if (officeNs >= 0) {
            ::setns(officeNs, CLONE_NEWNET);
            ::close(officeNs);
        }
        computer.kill();
        computer.waitForFinished(5000);
    }
    bool Enter(std::string& why) {
        // The computer's namespace, held by a sleeping process; stopped by the destructor.
        computer.start(QStringLiteral("unshare"),
                       {QStringLiteral("-n"), QStringLiteral("sleep"), QStringLiteral("300")});
        if (!computer.waitForStarted(5000)) {
            why = "unshare did not start";
            return false;
        }
        const QString pid = QString::number(computer.processId());
        const QString own = QFile::symLinkTarget(QStringLiteral("/proc/thread-self/ns/net"));
        const QString nsPath = QStringLiteral("/proc/") + pid + QStringLiteral("/ns/net");
        if (!WaitUntil([&] { return QFile::symLinkTarget(nsPath) != own; }, 5000)) {
            why = "no namespace for the computer";
            return false;
        }
        // Each network: into the office (its far end there, addressed), or nowhere (both ends
        // in the computer).
        auto link = [&](const QString& name, const char* near, const char* far, bool toOffice) {
            return toOffice
                       ? QStringLiteral("ip link add %1-o type veth peer name %1 netns $P && "
                                        "ip addr add %3 dev %1-o && ip link set %1-o up && "
                                        "pc ip addr add %2 dev %1 && pc ip link set %1 up")
                             .arg(name, near, far)
                       : QStringLiteral(
                             "pc ip link add %1 type veth peer name %1-x && "
                             "pc ip link set %1-x up && pc ip addr add %2 dev %1 && pc ip link set %1 up")
                             .arg(name, near);
        };
        QString script =
            QStringLiteral("P=%1; pc() { nsenter -t $P -n \"$@\"; }; set -e; pc ip link set lo up; ")
                .arg(pid);
        script +=
            link("home" + n, "192.168.50.2/24", "192.168.50.1/24", office == Office::ThroughHome) + "; ";
        script += link("vpn" + n, "10.231.7.1/24", "10.231.7.2/24", office == Office::ThroughVpn) + "; ";
        // The home router is the default route; the VPN routes the office's network.
        if (office != Office::Unreachable)
            script += QStringLiteral("pc ip route add default via 192.168.50.1; ");
        if (office == Office::ThroughVpn)
            script += QStringLiteral("pc ip route add %1/32 via 10.231.7.2; ")
                          .arg(QString::fromLatin1(siptest::kHost));
        QProcess setup;
        setup.setProcessChannelMode(QProcess::MergedChannels);
        setup.start(QStringLiteral("sh"), {QStringLiteral("-c"), script});
        if (!setup.waitForFinished(10000) || setup.exitCode() != 0) {
            why = "the networks were not set up: " + setup.readAll().toStdString();
            return false;
        }
        officeNs = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int computerNs = ::open(nsPath.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        const bool entered = officeNs >= 0 && computerNs >= 0 && ::setns(computerNs, CLONE_NEWNET) == 0;
        if (computerNs >= 0)
            ::close(computerNs);
        if (!entered)
            why = std::string("setns: ") + std::strerror(errno);
        return entered;
    }

  private:
    Office office;
    QString n;
    QProcess computer;
    int officeNs = -1;
};

// On a computer with two networks the SIP stack sends from, and names in Via and Contact,
// the address the routing picks toward the server: the office (peers, phone) can answer it
// and the phone's NOTIFYs reach the driver, so the call connects. No route to the server at
// all fails the open, with the reason for the user.
TEST_F(SipClickToDial, TheAddressTheRouteToTheServerPicks) {
    Start();
    struct Case {
        const char* what;
        RemoteWorker::Office office;
        const char* address; // bound to, or nullptr: the open fails
    };
    const Case cases[] = {
        {"the office through the first network", RemoteWorker::Office::ThroughHome, "192.168.50.2"},
        {"the office through the VPN", RemoteWorker::Office::ThroughVpn, "10.231.7.1"},
        {"no route to the office", RemoteWorker::Office::Unreachable, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink = Recorder{};
        remarks.clear();
        // A phone of the test's, in the office, that reads the driver's INVITE off the wire.
        QUdpSocket listener;
        ASSERT_TRUE(listener.bind(QHostAddress(QString::fromLatin1(siptest::kHost)), 0));
        RemoteWorker computer(c.office);
        std::string why;
        ASSERT_TRUE(computer.Enter(why)) << why;
        const SipTimeouts quick{.drop = std::chrono::milliseconds(500), .shutdown = std::chrono::seconds(2)};
        if (c.address != nullptr) {
            Recorder listened;
            auto line = Line(Settings("sip:201@" + std::string(siptest::kHost) + ":" +
                                      std::to_string(listener.localPort())),
                             quick);
            ASSERT_EQ(line->Open(listened), 0) << remarks;
            ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
            ASSERT_TRUE(WaitUntil([&] { return listener.hasPendingDatagrams(); }, 5000)) << "no INVITE came";
            const std::string invite = listener.receiveDatagram().data().toStdString();
            auto header = [&](const std::string& name) {
                const std::size_t at = invite.find("\r\n" + name + ": ");
                return at == std::string::npos ? std::string()
                                               : invite.substr(at + 2, invite.find("\r\n", at + 2) - at - 2);
            };
            EXPECT_NE(header("Via").find(std::string("SIP/2.0/UDP ") + c.address + ":"), std::string::npos)
                << invite;
            EXPECT_NE(header("Contact").find(std::string("@") + c.address + ":"), std::string::npos)
                << invite;
            ASSERT_EQ(line->Drop(2, 7), 0);
            EXPECT_TRUE(WaitUntil([&] { return listened.log.find("reply 2 0") != std::string::npos; }, 3000));
            line->Close();
            EXPECT_TRUE(WaitUntil([&] { return !line->Busy(); }, 3000));
        }
        auto line = Line(Settings(peers->PhoneUri()), quick);
        if (c.address == nullptr) {
            EXPECT_EQ(line->Open(sink), LINEERR_RESOURCEUNAVAIL) << remarks;
            EXPECT_NE(remarks.find("! the SIP server cannot be reached: no network reaches 10.77.0.1"),
                      std::string::npos)
                << remarks;
            continue;
        }
        ASSERT_EQ(line->Open(sink), 0) << remarks;
        EXPECT_EQ(OwnUdpAddresses().count(c.address), 1u) << remarks;
        ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
        EXPECT_TRUE(WaitFor("CONNECTED")) << sink.log << "\n" << remarks;
        ASSERT_EQ(line->Drop(2, 7), 0);
        EXPECT_TRUE(WaitFor("reply 2 0")) << sink.log;
        line->Close();
        EXPECT_TRUE(WaitUntil([&] { return !line->Busy(); }, 8000));
        peers->Phone().Command("hangup");
    }
}

} // namespace
