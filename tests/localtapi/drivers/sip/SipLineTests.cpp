// The SIP driver's calls against real peers: the phone calls the number and keeps the call,
// drops at every step, a wrong password, a phone that does not answer or refuses, a busy
// callee, a refused REFER, no server.
#include "tests/localtapi/drivers/sip/SipLineFixture.h"

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
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("5551212") != std::string::npos; }, 5000))
        << PhoneCalls();
    EXPECT_NE(CalleeCalls().find("201"), std::string::npos) << CalleeCalls();
    EXPECT_EQ(PhoneCalls().find("orvodial"), std::string::npos)
        << "the driver's leg is gone: " << PhoneCalls();
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
    // Released without a drop, the failed call is forgotten: the line takes the next one.
    line->ReleaseCall(7);
    EXPECT_EQ(line->MakeCall(3, 8, "5551212"), 0);
}

TEST_F(SipClickToDial, DropWhileThePhoneRingsCancelsIt) {
    Start({.phoneAnswers = false});
    auto line = Line();
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
    ASSERT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") != std::string::npos; }, 10000))
        << PhoneCalls();
    ASSERT_EQ(line->Drop(2, 7), 0);
    ASSERT_TRUE(WaitFor("IDLE, reply 2 0")) << sink.log;
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 5000))
        << PhoneCalls();
}

TEST_F(SipClickToDial, PhoneNotAnsweringThenRejecting) {
    Start({.phoneAnswers = false});
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
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 5000))
        << PhoneCalls();
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

TEST_F(SipClickToDial, CalleeBusyIsReportedAndTheDropEndsTheDriversLeg) {
    Start({.phoneAnswers = true, .calleeAnswers = false});
    auto line = Line();
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
    ASSERT_TRUE(WaitUntil([&] { return CalleeCalls().find("201") != std::string::npos; }, 15000)) << sink.log;
    peers->Callee().Command("hangup"); // busy: 486
    ASSERT_TRUE(WaitFor("BUSY")) << sink.log << "\n" << remarks;
    EXPECT_EQ(sink.log.find("CONNECTED"), std::string::npos) << sink.log;
    ASSERT_EQ(line->Drop(2, 7), 0);
    ASSERT_TRUE(WaitFor("IDLE, reply 2 0")) << sink.log;
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 5000))
        << PhoneCalls();
}

// The phone (here its proxy) refuses the REFER: the call is unavailable and the driver
// ends its leg by itself.
TEST_F(SipClickToDial, ReferRefusedIsUnavailableAndEndsTheDriversLeg) {
    for (int answer : {405, 603}) {
        SCOPED_TRACE(answer);
        sink = Recorder{};
        remarks.clear();
        Start({.phoneAnswers = true, .calleeAnswers = true, .referAnswer = answer});
        auto line = Line();
        ASSERT_EQ(line->Open(sink), 0);
        ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
        ASSERT_TRUE(WaitFor("DISCONNECTED")) << sink.log << "\n" << remarks;
        EXPECT_NE(sink.log.find("DISCONNECTED UNAVAIL"), std::string::npos) << sink.log;
        EXPECT_NE(remarks.find("refused the REFER: " + std::to_string(answer)), std::string::npos) << remarks;
        EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 5000))
            << "no BYE: " << PhoneCalls();
        EXPECT_EQ(CalleeCalls().find("201"), std::string::npos) << CalleeCalls();
        ASSERT_EQ(line->Drop(2, 7), 0);
        EXPECT_TRUE(WaitFor("IDLE, reply 2 0")) << sink.log;
        line.reset();
        peers.reset();
    }
}

// The user drops while the phone's answer to the REFER is on its way: the BYE follows the
// REFER (the stack sends a dialog's requests one after the other), also when the drop's
// own wait has run out and the call has long been idle for the application.
TEST_F(SipClickToDial, DropWhileTheReferIsPendingSendsByeAfterIt) {
    Start({.phoneAnswers = true, .calleeAnswers = true, .referAnswer = 0, .referDelayMs = 1500});
    auto line = Line(Settings(peers->PhoneUri()), {.drop = std::chrono::milliseconds(300)});
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 7, "5551212"), 0);
    ASSERT_TRUE(WaitUntil([&] { return remarks.find("REFER to") != std::string::npos; }, 15000)) << remarks;
    ASSERT_EQ(line->Drop(2, 7), 0);
    ASSERT_TRUE(WaitFor("IDLE, reply 2 0")) << sink.log;
    EXPECT_EQ(sink.log, "reply 1 0, DIALTONE, DIALING, PROCEEDING, IDLE, reply 2 0")
        << "states after the drop";
    EXPECT_NE(PhoneCalls().find("orvodial"), std::string::npos) << "the REFER is still held up";
    EXPECT_TRUE(WaitUntil([&] { return PhoneCalls().find("orvodial") == std::string::npos; }, 8000))
        << PhoneCalls();
    EXPECT_NE(PhoneCalls().find("5551212"), std::string::npos)
        << "the phone calls the number: " << PhoneCalls();
}

// lineShutdown in the middle of a call, through the service: the phone keeps its call to
// the number, the driver's dialog ends, and none of its sockets is left open.
} // namespace
