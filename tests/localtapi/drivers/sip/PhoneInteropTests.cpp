// Click-to-dial with phones that do more inside the driver's call than answer and follow
// the REFER: each phone is a scenario that SIPp (Debian's sip-tester, a SIP stack nobody
// here wrote) plays, in a network namespace of the test's own. The phone answers the
// driver's INVITE (the case's codec and session-timer headers), takes the REFER, does the
// case's own steps inside the dialog (a hold, a refresh, an offer the driver cannot take),
// reports the transferred call answered and takes the driver's BYE. A <recv> whose
// expression does not match, or an answer the scenario does not expect, fails SIPp's call
// and so its exit status.
#include "localtapi/drivers/sip/SipLine.h"
#include "tests/localtapi/drivers/sip/SipPeers.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DriverRecorder.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace localtapi::sip;

// The phone's media description: one codec (0 PCMU, 8 PCMA, 18 G729), one direction.
std::string PhoneSdp(int codec, const std::string& direction) {
    const char* name = codec == 0 ? "PCMU" : codec == 8 ? "PCMA" : "G729";
    const std::string pt = std::to_string(codec);
    return "v=0\no=phone 1 1 IN IP4 [local_ip]\ns=-\nc=IN IP4 [local_ip]\nt=0 0\nm=audio [media_port] "
           "RTP/AVP " +
           pt + "\na=rtpmap:" + pt + " " + name + "/8000\na=" + direction + "\n";
}

// The phone's own requests inside the dialog: to the driver's Contact, From and To the
// other way round from the driver's INVITE (its headers captured there).
std::string Request(const std::string& method, int cseq, const std::string& extra, const std::string& body) {
    return "<send retrans=\"500\"><![CDATA[\n" + method +
           " [next_url] SIP/2.0\n"
           "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n"
           "From:[$phone];tag=[pid]SIPpTag01[call_number]\n"
           "To:[$driver]\n"
           "Call-ID: [call_id]\n"
           "CSeq: " +
           std::to_string(cseq) + " " + method +
           "\n"
           "Contact: <sip:201@[local_ip]:[local_port]>\n"
           "Max-Forwards: 70\n" +
           extra +
           (body.empty() || extra.find("Content-Type") != std::string::npos
                ? ""
                : "Content-Type: application/sdp\n") +
           "Content-Length: [len]\n\n" + body + "]]></send>\n";
}

std::string Ack(int cseq, const std::string& branch, const std::string& body = "") {
    return "<send><![CDATA[\nACK [next_url] SIP/2.0\n"
           "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=" +
           branch +
           "\n"
           "From:[$phone];tag=[pid]SIPpTag01[call_number]\nTo:[$driver]\nCall-ID: [call_id]\nCSeq: " +
           std::to_string(cseq) + " ACK\nContact: <sip:201@[local_ip]:[local_port]>\nMax-Forwards: 70\n" +
           (body.empty() ? "" : "Content-Type: application/sdp\n") + "Content-Length: [len]\n\n" + body +
           "]]></send>\n";
}

// A response to the driver's last request (the first one, to its INVITE, gives the dialog
// the phone's tag).
std::string Response(const std::string& status, const std::string& extra, const std::string& body = "",
                     bool tagged = false) {
    return "<send><![CDATA[\nSIP/2.0 " + status + "\n[last_Via:]\n[last_From:]\n[last_To:]" +
           (tagged ? ";tag=[pid]SIPpTag01[call_number]" : "") +
           "\n[last_Call-ID:]\n[last_CSeq:]\n"
           "Contact: <sip:201@[local_ip]:[local_port]>\n" +
           extra + (body.empty() ? "" : "Content-Type: application/sdp\n") + "Content-Length: [len]\n\n" +
           body + "]]></send>\n";
}

// Awaits the final answer to the phone's last request, its body (or a header) matching.
std::string Answer(const std::string& status, const std::string& regexp = "",
                   const std::string& where = "body") {
    return "<recv response=\"100\" optional=\"true\"/>\n<recv response=\"" + status + "\">" +
           (regexp.empty() ? ""
                           : "<action><ereg regexp=\"" + regexp + "\" search_in=\"" + where +
                                 "\" check_it=\"true\" assign_to=\"seen\"/></action>") +
           "</recv>\n";
}

struct Case {
    const char* what;
    int answerCodec;           // the phone's answer to the driver's offer
    std::string answerHeaders; // in that answer (session timers)
    std::string inDialog;      // the phone's steps after the REFER, before it reports the call
    int connectMs = 10000;
};

std::string Scenario(const Case& c) {
    const std::string trying = "Event: refer\nSubscription-State: active;expires=300\n"
                               "Content-Type: message/sipfrag\n";
    const std::string refer = "Event: refer\nSubscription-State: terminated;reason=noresource\n"
                              "Content-Type: message/sipfrag\n";
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<scenario name=\"phone\">\n"
           // The driver's offer: audio both ways (no other direction said) on its own address and
           // a real port, both laws.
           "<recv request=\"INVITE\" rrs=\"true\"><action>"
           "<ereg regexp=\"c=IN IP4 10[.]77[.]0[.]1\" search_in=\"body\" check_it=\"true\" assign_to=\"a\"/>"
           "<ereg regexp=\"m=audio [1-9][0-9]* RTP/AVP 0 8\" search_in=\"body\" check_it=\"true\" "
           "assign_to=\"m\"/>"
           "<ereg regexp=\"a=(sendonly|recvonly|inactive)\" search_in=\"body\" check_it_inverse=\"true\" "
           "assign_to=\"d\"/>"
           "<ereg regexp=\".*\" search_in=\"hdr\" header=\"From:\" check_it=\"true\" assign_to=\"driver\"/>"
           "<ereg regexp=\".*\" search_in=\"hdr\" header=\"To:\" check_it=\"true\" assign_to=\"phone\"/>"
           "</action></recv>\n" +
           Response("200 OK", c.answerHeaders, PhoneSdp(c.answerCodec, "sendrecv"), true) +
           "<recv request=\"ACK\"/>\n<recv request=\"REFER\"/>\n" + Response("202 Accepted", "") +
           Request("NOTIFY", 1, trying, "SIP/2.0 100 Trying\n") + Answer("200") + c.inDialog +
           Request("NOTIFY", 90, refer, "SIP/2.0 200 OK\n") + Answer("200") + "<recv request=\"BYE\"/>\n" +
           Response("200 OK", "") +
           // (SIPp refuses a scenario with a variable only assigned, never used.)
           "<Reference variables=\"a,m,d" +
           (c.inDialog.find("\"seen\"") != std::string::npos ? ",seen" : "") + "\"/>\n</scenario>\n";
}

// A phone as SIPp plays it, on its own port of kHost; stopped by its PID.
class ScriptedPhone {
  public:
    ScriptedPhone(const std::string& scenario, int port) : port(port) {
        QFile file(dir.filePath(QStringLiteral("phone.xml")));
        file.open(QIODevice::WriteOnly);
        file.write(scenario.data(), static_cast<qint64>(scenario.size()));
        file.close();
        testproc::DiesWithTheTest(process);
        process.setWorkingDirectory(dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("sipp"),
                      {QStringLiteral("-sf"), file.fileName(), QStringLiteral("-i"),
                       QString::fromLatin1(siptest::kHost), QStringLiteral("-p"), QString::number(port),
                       QStringLiteral("-mp"), QString::number(port + 1000), QStringLiteral("-m"),
                       QStringLiteral("1"), QStringLiteral("-nostdin"), QStringLiteral("-recv_timeout"),
                       QStringLiteral("70000"), QStringLiteral("-timeout"), QStringLiteral("90s"),
                       QStringLiteral("-timeout_error"), QStringLiteral("-trace_err"),
                       QStringLiteral("-trace_msg")});
    }
    ~ScriptedPhone() { testproc::Stop(process); }
    std::string Uri() const { return "sip:201@" + std::string(siptest::kHost) + ":" + std::to_string(port); }
    // Once its SIP port is taken (before that, the driver's INVITE would meet a closed port),
    // as the kernel lists UDP sockets: a probe binding the port could take it from SIPp.
    bool Started() {
        const QByteArray bound =
            QByteArray(" 01004D0A:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        return process.waitForStarted(5000) && WaitUntil([&] {
                   QFile table(QStringLiteral("/proc/net/udp"));
                   return table.open(QIODevice::ReadOnly) && table.readAll().contains(bound);
               });
    }
    // Its exit status once it has played the scenario to the end, or -1.
    int Finished(int ms) {
        WaitUntil([&] { return process.state() == QProcess::NotRunning; }, ms);
        return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit
                   ? process.exitCode()
                   : -1;
    }
    std::string Output() { return process.readAll().right(2000).toStdString(); }
    // What went wrong, as SIPp logged it.
    std::string Errors() {
        std::string text;
        for (const QString& log : QDir(dir.path()).entryList({QStringLiteral("*.log")})) {
            QFile f(dir.filePath(log));
            f.open(QIODevice::ReadOnly);
            text += f.readAll().right(3000).toStdString();
        }
        return text;
    }

  private:
    QTemporaryDir dir;
    QProcess process;
    int port;
};

TEST(SipPhonesNotOurs, HoldsRefreshesAndCodecsInsideTheDriversCall) {
    if (qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1")
        GTEST_SKIP() << "runs in its own network namespace (ctest's sip_phone_tests)";
    const std::string ulaw = PhoneSdp(0, "sendrecv");
    const Case cases[] = {
        {"holds the driver's leg before it transfers", 0, "",
         Request("INVITE", 2, "", PhoneSdp(0, "sendonly")) + Answer("200", "a=(recvonly|inactive)") +
             Ack(2, "[branch]")},
        {"puts it on hold with an inactive offer", 0, "",
         Request("INVITE", 2, "", PhoneSdp(0, "inactive")) + Answer("200", "a=inactive") +
             Ack(2, "[branch]")},
        {"re-INVITEs with no offer: the driver offers in its 200, the phone answers in the ACK", 0, "",
         Request("INVITE", 2, "", "") + Answer("200", "m=audio [1-9][0-9]* RTP/AVP") +
             Ack(2, "[branch]", ulaw)},
        {"holds with no codec the driver knows: 488, and the call goes on", 0, "",
         Request("INVITE", 2, "", PhoneSdp(18, "sendonly")) + Answer("488") + Ack(2, "[branch-3]")},
        {"takes A-law only", 8, "", ""},
        {"refreshes by UPDATE every 90 s", 0, "Require: timer\nSession-Expires: 90;refresher=uas\n",
         Request("UPDATE", 2, "Supported: timer\nSession-Expires: 90;refresher=uas\n", "") + Answer("200")},
        {"refreshes by re-INVITE every 1800 s, the media unchanged", 0,
         "Require: timer\nSession-Expires: 1800;refresher=uas\n",
         Request("INVITE", 2, "Supported: timer\nSession-Expires: 1800;refresher=uas\n", ulaw) +
             Answer("200", "m=audio [1-9][0-9]* RTP/AVP 0") + Ack(2, "[branch]")},
        {"refreshes by UPDATE every 1800 s", 0, "Require: timer\nSession-Expires: 1800;refresher=uas\n",
         Request("UPDATE", 2, "Supported: timer\nSession-Expires: 1800;refresher=uas\n", "") + Answer("200")},
        {"refreshes by re-INVITE every 90 s", 0, "Require: timer\nSession-Expires: 90;refresher=uas\n",
         Request("INVITE", 2, "Supported: timer\nSession-Expires: 90;refresher=uas\n", ulaw) +
             Answer("200", "m=audio [1-9][0-9]* RTP/AVP 0") + Ack(2, "[branch]")},
        {"leaves the refreshing to the driver (90 s)", 0,
         "Require: timer\nSession-Expires: 90;refresher=uac\n",
         "<recv request=\"UPDATE\"/>\n" + Response("200 OK", "Session-Expires: 90;refresher=uac\n"), 60000},
    };
    int port = 5300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port += 10; // SIPp also takes the ports after its media port (RTCP, video)
        ScriptedPhone phone(Scenario(c), port);
        ASSERT_TRUE(phone.Started()) << "sipp did not start: " << phone.Output();
        localtapi::LineSettings group;
        group.entries = {{"phone", phone.Uri(), 1}, {"password", "secret", 2}};
        std::vector<localtapi::ConfigProblem> problems;
        SipLine line(ReadSipSettings(group, problems).value());
        std::string remarks;
        line.SetRemarks([&](const std::string& text, bool) { remarks += text + "\n"; });
        drivertest::Recorder sink;
        ASSERT_EQ(line.Open(sink), 0) << remarks;
        ASSERT_EQ(line.MakeCall(1, 7, "555-1212"), 0);
        EXPECT_TRUE(WaitUntil([&] { return sink.log.find("CONNECTED") != std::string::npos; }, c.connectMs))
            << sink.log << "\n"
            << remarks << phone.Errors();
        EXPECT_EQ(sink.log.find("DISCONNECTED"), std::string::npos) << sink.log << "\n" << remarks;
        ASSERT_EQ(line.Drop(2, 7), 0);
        EXPECT_TRUE(WaitUntil([&] { return sink.log.find("reply 2 0") != std::string::npos; }, 10000))
            << sink.log;
        line.Close();
        EXPECT_EQ(phone.Finished(10000), 0) << "the phone's scenario failed\n" << remarks << phone.Errors();
    }
}

} // namespace
