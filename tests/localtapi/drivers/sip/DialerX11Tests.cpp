// The real dialer (ORVODIAL_BINARY) on an X display inside the peers' network namespace,
// with a driver=sip line: 555-1212 typed, Enter, "Time call?" answered No; the user's phone
// is then in a call with the callee, and the dialer's own leg is gone. Run by CTest as
// sip_dialer_x11 (in_netns.sh, xvfb-run); skipped otherwise.
#include "tests/localtapi/drivers/sip/SipPeers.h"
#include "tests/support/XdoTool.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(SipDialer, ClickToDialFromTheDialWindow) {
    const QString binary = qEnvironmentVariable("ORVODIAL_BINARY");
    if (binary.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY") ||
        qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1")
        GTEST_SKIP()
            << "needs ORVODIAL_BINARY, an X display and the peers' namespace (ctest's sip_dialer_x11)";
    siptest::SipPeers peers;
    std::string why;
    ASSERT_TRUE(peers.Start(why)) << why;

    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("telephony.ini")));
    config.open(QIODevice::WriteOnly);
    config.write(("[line0]\ndriver=sip\nname=Desk phone\nphone=" + peers.PhoneUri() +
                  "\npassword=secret\nautoanswer=yes\n")
                     .c_str());
    config.close();
    config.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner); // it holds a password
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QProcess dialer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVODIAL_TELEPHONY_CONFIG"), config.fileName());
    env.insert(QStringLiteral("ORVODIAL_TAPI_TRACE"), trace);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + ":detect_leaks=0");
    dialer.setProcessEnvironment(env);
    dialer.setProcessChannelMode(QProcess::ForwardedChannels);
    dialer.start(binary, {});
    ASSERT_TRUE(dialer.waitForStarted(10000));

    const std::string dial =
        xdo::Window("^Orvo Dial$", 20000, [&] { return dialer.state() == QProcess::NotRunning; });
    ASSERT_FALSE(dial.empty()) << "no dial window";
    xdo::Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(dial)});
    xdo::Run({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"),
              QStringLiteral("555-1212")});
    xdo::Run({QStringLiteral("key"), QStringLiteral("Return")});
    const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
    ASSERT_FALSE(box.empty()) << "no \"Time call?\"";
    // The user picks up the handset and talks; then answers the question.
    EXPECT_TRUE(WaitUntil(
        [&] { return peers.Phone().Command("listcalls").find("5551212") != std::string::npos; }, 20000))
        << peers.Phone().Command("listcalls");
    xdo::Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(box),
              QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("Return")}); // No
    const auto traced = [&] {
        QFile f(trace);
        f.open(QIODevice::ReadOnly);
        return f.readAll().toStdString();
    };
    EXPECT_TRUE(WaitUntil([&] { return traced().find("\nlineClose ") != std::string::npos; }, 20000))
        << traced();
    EXPECT_TRUE(WaitUntil(
        [&] { return peers.Phone().Command("listcalls").find("orvodial") == std::string::npos; }, 10000))
        << "the dialer's own leg is still up: " << peers.Phone().Command("listcalls");
    EXPECT_NE(peers.Phone().Command("listcalls").find("5551212"), std::string::npos)
        << "the phone keeps its call";
    EXPECT_EQ(traced().find("secret"), std::string::npos) << "the password reached the trace";

    dialer.terminate();
    if (!dialer.waitForFinished(10000)) {
        dialer.kill();
        dialer.waitForFinished(5000);
    }
}

} // namespace
