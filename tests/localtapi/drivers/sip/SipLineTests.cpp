// The SIP driver: its own rules, table-driven, and click-to-dial against real peers
// (kamailio, two baresip phones) in a network namespace of the test's own.
#include "localtapi/drivers/sip/SipFrag.h"
#include "localtapi/drivers/sip/SipLine.h"
#include "tests/localtapi/drivers/sip/SipPeers.h"
#include "tests/support/ModemRig.h" // Recorder, WaitUntil

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

namespace {

using namespace localtapi::sip;
using modemtest::Recorder;

TEST(SipRules, NumbersReferTargetsAndStatusLines) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> numbers = {
        {"555-1212", "5551212"}, {"+1 (206) 555.1212", "+12065551212"}, {"*31#", "*31#"},
        {"", std::nullopt},      {" - ", std::nullopt},                 {"555a", std::nullopt},
        {"1+2", std::nullopt},   {"555>@evil", std::nullopt},           {"555;user=x", std::nullopt},
    };
    for (const auto& [in, out] : numbers)
        EXPECT_EQ(DialableNumber(in), out) << in;
    EXPECT_EQ(ReferTarget("*31#5551212", "pbx.example.com"), "<sip:*31%235551212@pbx.example.com;user=phone>");

    const std::vector<std::pair<std::string, std::optional<int>>> frags = {
        {"SIP/2.0 180 Ringing\r\n", 180}, {"SIP/2.0 200 OK", 200},     {"SIP/2.0 486", 486},
        {"SIP/2.0 99 Low", std::nullopt}, {"SIP/2.0 700 X", std::nullopt}, {"SIP/2.0 2000 X", std::nullopt},
        {"HTTP/1.1 200 OK", std::nullopt}, {"", std::nullopt},         {"SIP/2.0 1a0 X", std::nullopt},
    };
    for (const auto& [in, out] : frags)
        EXPECT_EQ(SipfragStatus(in), out) << in;

    EXPECT_EQ(InviteFailureMode(486, false), LINEDISCONNECTMODE_BUSY);
    EXPECT_EQ(InviteFailureMode(600, false), LINEDISCONNECTMODE_BUSY);
    EXPECT_EQ(InviteFailureMode(603, false), LINEDISCONNECTMODE_REJECT);
    EXPECT_EQ(InviteFailureMode(408, true), LINEDISCONNECTMODE_UNREACHABLE);
    EXPECT_EQ(InviteFailureMode(480, false), LINEDISCONNECTMODE_NOANSWER);
    EXPECT_EQ(NotifyFailureMode(404), LINEDISCONNECTMODE_BADADDRESS);
}

// A password in a file that others can read makes the line unusable; the message names the
// file and the chmod, never the password.
TEST(SipRules, PasswordOnlyInAFileOfTheOwnersAlone) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("telephony.ini").toStdString();
    std::ofstream(file) << "[line0]\n";
    for (const auto& [mode, ok] : std::vector<std::pair<mode_t, bool>>{{0600, true}, {0640, false}, {0604, false}}) {
        ::chmod(file.c_str(), mode);
        localtapi::LineSettings group;
        group.file = file;
        group.entries = {{"phone", "sip:201@pbx.example.com", 2}, {"password", "hunter2", 3}};
        std::vector<localtapi::ConfigProblem> problems;
        const auto s = ReadSipSettings(group, problems);
        EXPECT_EQ(s.has_value(), ok) << std::oct << mode;
        std::string all;
        for (const auto& p : problems)
            all += p.text + "\n";
        EXPECT_EQ(all.find("hunter2"), std::string::npos) << all;
        if (!ok) {
            EXPECT_NE(all.find("chmod 600 " + file), std::string::npos) << all;
        }
    }
    localtapi::LineSettings bad;
    bad.entries = {{"phone", "201", 2}};
    std::vector<localtapi::ConfigProblem> problems;
    EXPECT_FALSE(ReadSipSettings(bad, problems));
}

SipSettings Settings(const std::string& phone, const std::string& password = "secret",
                     int timeout = 10) {
    localtapi::LineSettings group;
    group.entries = {{"phone", phone, 1}, {"password", password, 2}, {"autoanswer", "yes", 3},
                     {"timeout", std::to_string(timeout), 4}};
    std::vector<localtapi::ConfigProblem> problems;
    return ReadSipSettings(group, problems).value();
}

class SipClickToDial : public ::testing::Test {
  protected:
    void Start(bool phoneAnswers = true, bool calleeAnswers = true) {
        if (qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1")
            GTEST_SKIP() << "runs in its own network namespace (ctest's sip_peer_tests)";
        peers = std::make_unique<siptest::SipPeers>(phoneAnswers, calleeAnswers);
        std::string why;
        ASSERT_TRUE(peers->Start(why)) << why;
    }
    std::unique_ptr<SipLine> Line() { return Line(Settings(peers->PhoneUri())); }
    std::unique_ptr<SipLine> Line(SipSettings settings) {
        auto line = std::make_unique<SipLine>(std::move(settings));
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

    std::unique_ptr<siptest::SipPeers> peers;
    Recorder sink;
    std::string remarks;
};

TEST_F(SipClickToDial, ThePhoneCallsTheNumberAndKeepsTheCallAfterTheDrop) {
    Start();
    auto line = Line();
    ASSERT_EQ(line->Open(sink), 0) << remarks;
    ASSERT_EQ(line->MakeCall(1, 7, "555-1212"), 0);
    ASSERT_TRUE(WaitFor("CONNECTED")) << sink.log << "\n" << remarks;
    ASSERT_EQ(line->Drop(2, 7), 0);
    ASSERT_TRUE(WaitFor("reply 2 0")) << sink.log << "\n" << remarks;
    line->Close();
    // The callee answers at once: its ringing may never be reported.
    EXPECT_TRUE(sink.log == "reply 1 0, DIALTONE, DIALING, PROCEEDING, CONNECTED, IDLE, reply 2 0" ||
                sink.log == "reply 1 0, DIALTONE, DIALING, PROCEEDING, RINGBACK, CONNECTED, IDLE, reply 2 0")
        << sink.log;
    // The phone and the callee, still talking.
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("5551212") != std::string::npos; }, 5000)) << PhoneCalls();
    EXPECT_NE(CalleeCalls().find("201"), std::string::npos) << CalleeCalls();
    EXPECT_EQ(PhoneCalls().find("orvodial"), std::string::npos) << "the driver's leg is gone: " << PhoneCalls();
}

TEST_F(SipClickToDial, WrongPasswordIsUnavailableAndTheReasonIsTraced) {
    Start();
    auto line = Line(Settings(peers->PhoneUri(), "wrong"));
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
    ASSERT_TRUE(WaitFor("DISCONNECTED")) << sink.log;
    EXPECT_NE(sink.log.find("DISCONNECTED UNAVAIL"), std::string::npos) << sink.log;
    EXPECT_NE(remarks.find("refused the user name and password"), std::string::npos) << remarks;
    EXPECT_EQ(remarks.find("wrong"), std::string::npos) << "the password in a remark: " << remarks;
}

TEST_F(SipClickToDial, DropWhileThePhoneRingsCancelsIt) {
    Start(false);
    auto line = Line();
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
    ASSERT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") != std::string::npos; }, 10000)) << PhoneCalls();
    ASSERT_EQ(line->Drop(2, 7), 0);
    ASSERT_TRUE(WaitFor("IDLE, reply 2 0")) << sink.log;
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 5000)) << PhoneCalls();
}

TEST_F(SipClickToDial, PhoneNotAnsweringThenRejecting) {
    Start(false);
    auto line = Line(Settings(peers->PhoneUri(), "secret", 2));
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
    ASSERT_TRUE(WaitFor("DISCONNECTED", 10000)) << sink.log;
    EXPECT_NE(sink.log.find("DISCONNECTED NOANSWER"), std::string::npos) << sink.log;
    ASSERT_EQ(line->Drop(2, 7), 0);
    ASSERT_TRUE(WaitFor("reply 2 0")) << sink.log;

    Recorder again;
    sink = Recorder{};
    ASSERT_EQ(line->MakeCall(3, 8, "5551212"), 0);
    ASSERT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") != std::string::npos; }, 10000));
    peers->Phone().Command("hangup"); // the user declines
    ASSERT_TRUE(WaitFor("DISCONNECTED")) << sink.log;
    EXPECT_NE(sink.log.find("DISCONNECTED BUSY"), std::string::npos) << sink.log << "\n" << remarks;
}

TEST_F(SipClickToDial, CloseRightAfterTheDropStillEndsTheDialog) {
    Start();
    auto line = Line();
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
    ASSERT_TRUE(WaitFor("PROCEEDING")) << sink.log;
    ASSERT_TRUE(WaitFor("CONNECTED")) << sink.log;
    ASSERT_EQ(line->Drop(2, 7), 0);
    line->Close(); // as the Dial command does, back to back
    EXPECT_TRUE(WaitUntil([&] { return !line->Busy(); }, 8000)) << "the stack did not shut down";
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 5000)) << PhoneCalls();
    EXPECT_NE(PhoneCalls().find("5551212"), std::string::npos) << PhoneCalls();
}

TEST_F(SipClickToDial, NoServerIsUnreachable) {
    Start();
    auto line = Line(Settings("sip:201@10.77.0.1:5999")); // nothing listens there
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
    ASSERT_TRUE(WaitFor("DISCONNECTED", 40000)) << sink.log;
    EXPECT_NE(sink.log.find("DISCONNECTED UNREACHABLE"), std::string::npos) << sink.log << "\n" << remarks;
}

} // namespace
