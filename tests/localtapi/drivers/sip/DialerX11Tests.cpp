// The real dialer (ORVODIAL_BINARY) on an X display inside the peers' network namespace,
// with a driver=sip line: 555-1212 typed, Enter, "Time call?" answered No; the user's phone
// is then in a call with the callee, and the dialer's own leg is gone. With a wrong
// password the call fails before the answer: "TAPI failure", and nothing is timed. Run by CTest as
// sip_dialer_x11 (in_netns.sh, xvfb-run); skipped otherwise.
#include "tests/localtapi/drivers/sip/SipPeers.h"
#include "tests/support/DialerProcess.h"

#include <QProcess>

#include <memory>

#include <gtest/gtest.h>

namespace {

// The peers, and the real dialer on a line to the user's phone with the keys given.
class SipDialer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (xdo::DialerProcess::Binary().isEmpty() || qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1")
            GTEST_SKIP()
                << "needs ORVODIAL_BINARY, an X display and the peers' namespace (ctest's sip_dialer_x11)";
        std::string why;
        ASSERT_TRUE(peers.Start(why)) << why;
    }
    // 555-1212 typed and dialled; the first box's window, empty when none came.
    std::string Dial(const std::string& keys) {
        dialer = std::make_unique<xdo::DialerProcess>("[line0]\ndriver=sip\nname=Desk phone\nphone=" +
                                                      peers.PhoneUri() + "\n" + keys);
        const std::string dial = dialer->Start();
        if (dial.empty())
            return {};
        dialer->TypeAndDial(dial, QStringLiteral("555-1212"));
        return xdo::Window("^OrvoDial$", 20000, [] { return false; });
    }
    bool PhoneCalls(const std::string& what, int ms = 20000) {
        return WaitUntil([&] { return peers.Phone().Command("listcalls").find(what) != std::string::npos; }, ms);
    }

    siptest::SipPeers peers;
    std::unique_ptr<xdo::DialerProcess> dialer;
};

TEST_F(SipDialer, ClickToDialFromTheDialWindow) {
    const std::string box = Dial("password=secret\nautoanswer=yes\n");
    ASSERT_FALSE(box.empty()) << "no \"Time call?\"";
    // The user picks up the handset and talks; then answers the question.
    EXPECT_TRUE(PhoneCalls("5551212")) << peers.Phone().Command("listcalls");
    dialer->AnswerNo(box);
    EXPECT_TRUE(WaitUntil([&] { return dialer->Trace().find("\nlineClose ") != std::string::npos; }, 20000))
        << dialer->Trace();
    EXPECT_TRUE(WaitUntil(
        [&] { return peers.Phone().Command("listcalls").find("orvodial") == std::string::npos; }, 10000))
        << "the dialer's own leg is still up: " << peers.Phone().Command("listcalls");
    EXPECT_NE(peers.Phone().Command("listcalls").find("5551212"), std::string::npos)
        << "the phone keeps its call";
    EXPECT_EQ(dialer->Trace().find("secret"), std::string::npos) << "the password reached the trace";
}

// The real dialer with the password only in the keyring (planted with secret-tool, as the
// keyring's own tools would): the phone calls the number.
TEST_F(SipDialer, ThePasswordFromTheKeyring) {
    if (qEnvironmentVariable("ORVODIAL_KEYRING") != "1")
        GTEST_SKIP() << "needs a keyring (ctest's sip_dialer_keyring_x11)";
    const QString entry = QString::fromStdString("OrvoDial line0: orvodial@" + peers.PhoneUri().substr(8));
    QProcess store;
    store.start(QStringLiteral("secret-tool"), {"store", "--label=" + entry, "xdg:schema", "org.qt.keychain", "server",
                                                entry, "user", "orvodial", "type", "plaintext"});
    store.write("secret");
    store.closeWriteChannel();
    ASSERT_TRUE(store.waitForFinished(10000) && store.exitCode() == 0) << store.readAllStandardError().toStdString();

    const std::string box = Dial("keyring=yes\nautoanswer=yes\n");
    ASSERT_FALSE(box.empty()) << "no box";
    EXPECT_TRUE(PhoneCalls("5551212")) << dialer->Trace();
    dialer->AnswerNo(box);
    EXPECT_EQ(dialer->Trace().find("secret\""), std::string::npos) << "the password reached the trace";
}

TEST_F(SipDialer, AWrongPasswordEndsInTapiFailureNotATimedCall) {
    const std::string question = Dial("password=not-the-secret\nautoanswer=yes\n");
    ASSERT_FALSE(question.empty()) << "no \"Time call?\"";
    EXPECT_TRUE(WaitUntil([&] { return dialer->Trace().find("(DISCONNECTED)") != std::string::npos; }, 20000))
        << dialer->Trace();
    // Yes: the call has failed, so "TAPI failure" follows instead of the timing window.
    xdo::DialerProcess::PressEnter(question);
    std::string failure;
    EXPECT_TRUE(WaitUntil([&] {
        failure = xdo::Window("^OrvoDial$", 500, [] { return false; });
        return !failure.empty() && failure != question;
    }, 10000)) << "no second box";
    EXPECT_TRUE(xdo::Window("^Call Timing$", 1000, [] { return false; }).empty()) << "a failed call was timed";
    EXPECT_NE(dialer->Trace().find("the server refused the user name and password (407)"), std::string::npos)
        << dialer->Trace();
    EXPECT_EQ(dialer->Trace().find("not-the-secret"), std::string::npos) << "the password reached the trace";
    xdo::DialerProcess::PressEnter(failure);
}

} // namespace
