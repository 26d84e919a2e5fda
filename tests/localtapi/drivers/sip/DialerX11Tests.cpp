// The real dialer (ORVODIAL_BINARY) on an X display inside the peers' network namespace,
// with a driver=sip line: 555-1212 typed, Enter, "Time call?" answered No; the user's phone
// is then in a call with the callee, and the dialer's own leg is gone. With a wrong
// password the call fails before the answer: "TAPI failure", and nothing is timed. Run by CTest as
// sip_dialer_x11 (in_netns.sh, xvfb-run); skipped otherwise.
#include "tests/localtapi/drivers/sip/SipPeers.h"
#include "tests/support/DialerProcess.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

TEST(SipDialer, ClickToDialFromTheDialWindow) {
    if (xdo::DialerProcess::Binary().isEmpty() || qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1")
        GTEST_SKIP()
            << "needs ORVODIAL_BINARY, an X display and the peers' namespace (ctest's sip_dialer_x11)";
    siptest::SipPeers peers;
    std::string why;
    ASSERT_TRUE(peers.Start(why)) << why;

    xdo::DialerProcess dialer("[line0]\ndriver=sip\nname=Desk phone\nphone=" + peers.PhoneUri() +
                              "\npassword=secret\nautoanswer=yes\n");
    const std::string dial = dialer.Start();
    ASSERT_FALSE(dial.empty()) << "no dial window";
    dialer.TypeAndDial(dial, QStringLiteral("555-1212"));
    const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
    ASSERT_FALSE(box.empty()) << "no \"Time call?\"";
    // The user picks up the handset and talks; then answers the question.
    EXPECT_TRUE(WaitUntil(
        [&] { return peers.Phone().Command("listcalls").find("5551212") != std::string::npos; }, 20000))
        << peers.Phone().Command("listcalls");
    dialer.AnswerNo(box);
    EXPECT_TRUE(WaitUntil([&] { return dialer.Trace().find("\nlineClose ") != std::string::npos; }, 20000))
        << dialer.Trace();
    EXPECT_TRUE(WaitUntil(
        [&] { return peers.Phone().Command("listcalls").find("orvodial") == std::string::npos; }, 10000))
        << "the dialer's own leg is still up: " << peers.Phone().Command("listcalls");
    EXPECT_NE(peers.Phone().Command("listcalls").find("5551212"), std::string::npos)
        << "the phone keeps its call";
    EXPECT_EQ(dialer.Trace().find("secret"), std::string::npos) << "the password reached the trace";
}

// The real dialer with the password only in the keyring (planted with secret-tool, as the
// keyring's own tools would): the phone calls the number.
TEST(SipDialer, ThePasswordFromTheKeyring) {
    if (xdo::DialerProcess::Binary().isEmpty() || qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1" ||
        qEnvironmentVariable("ORVODIAL_KEYRING") != "1")
        GTEST_SKIP() << "needs ORVODIAL_BINARY, an X display, the peers' namespace and a keyring "
                        "(ctest's sip_dialer_keyring_x11)";
    siptest::SipPeers peers;
    std::string why;
    ASSERT_TRUE(peers.Start(why)) << why;
    const QString entry = QString::fromStdString("OrvoDial line0: orvodial@" + peers.PhoneUri().substr(8));
    QProcess store;
    store.start(QStringLiteral("secret-tool"), {"store", "--label=" + entry, "xdg:schema", "org.qt.keychain", "server",
                                                entry, "user", "orvodial", "type", "plaintext"});
    store.write("secret");
    store.closeWriteChannel();
    ASSERT_TRUE(store.waitForFinished(10000) && store.exitCode() == 0) << store.readAllStandardError().toStdString();

    xdo::DialerProcess dialer("[line0]\ndriver=sip\nname=Desk phone\nphone=" + peers.PhoneUri() +
                              "\nkeyring=yes\nautoanswer=yes\n");
    const std::string dial = dialer.Start();
    ASSERT_FALSE(dial.empty()) << "no dial window";
    dialer.TypeAndDial(dial, QStringLiteral("555-1212"));
    const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
    ASSERT_FALSE(box.empty()) << "no box";
    EXPECT_TRUE(WaitUntil(
        [&] { return peers.Phone().Command("listcalls").find("5551212") != std::string::npos; }, 20000))
        << dialer.Trace();
    dialer.AnswerNo(box);
    EXPECT_EQ(dialer.Trace().find("secret\""), std::string::npos) << "the password reached the trace";
}

TEST(SipDialer, AWrongPasswordEndsInTapiFailureNotATimedCall) {
    if (xdo::DialerProcess::Binary().isEmpty() || qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1")
        GTEST_SKIP()
            << "needs ORVODIAL_BINARY, an X display and the peers' namespace (ctest's sip_dialer_x11)";
    siptest::SipPeers peers;
    std::string why;
    ASSERT_TRUE(peers.Start(why)) << why;

    xdo::DialerProcess dialer("[line0]\ndriver=sip\nname=Desk phone\nphone=" + peers.PhoneUri() +
                              "\npassword=not-the-secret\nautoanswer=yes\n");
    const std::string dial = dialer.Start();
    ASSERT_FALSE(dial.empty()) << "no dial window";
    dialer.TypeAndDial(dial, QStringLiteral("555-1212"));
    const std::string question = xdo::Window("^OrvoDial$", 20000, [] { return false; });
    ASSERT_FALSE(question.empty()) << "no \"Time call?\"";
    EXPECT_TRUE(WaitUntil([&] { return dialer.Trace().find("(DISCONNECTED)") != std::string::npos; }, 20000))
        << dialer.Trace();
    // Yes: the call has failed, so "TAPI failure" follows instead of the timing window.
    xdo::Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(question),
              QStringLiteral("key"), QStringLiteral("Return")});
    std::string failure;
    EXPECT_TRUE(WaitUntil([&] {
        failure = xdo::Window("^OrvoDial$", 500, [] { return false; });
        return !failure.empty() && failure != question;
    }, 10000)) << "no second box";
    EXPECT_TRUE(xdo::Window("^Call Timing$", 1000, [] { return false; }).empty()) << "a failed call was timed";
    EXPECT_NE(dialer.Trace().find("the server refused the user name and password (407)"), std::string::npos)
        << dialer.Trace();
    EXPECT_EQ(dialer.Trace().find("not-the-secret"), std::string::npos) << "the password reached the trace";
    xdo::Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(failure),
              QStringLiteral("key"), QStringLiteral("Return")});
}

} // namespace
