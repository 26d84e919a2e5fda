// The real dialer (ORVODIAL_BINARY) on an X display, with a driver=ofono line on the real
// ofonod: 555-1212 typed and Enter pressed as a user would (xdotool); the phone hears the
// dial for 5551212, "Time call?" is answered No, and the phone keeps the call. Run by CTest
// under xvfb-run; skipped without a display or the binary.
#include "tests/support/OfonoRig.h"
#include "tests/support/XdoTool.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(OfonoDialer, DialsOnThePhoneAndTheDropLeavesTheCallThere) {
    const QString binary = qEnvironmentVariable("ORVODIAL_BINARY");
    if (binary.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs ORVODIAL_BINARY and an X display (CTest runs it under xvfb-run)";
    HandsFreeGateway gateway;
    ofonotest::OfonoDaemon ofono(gateway);
    std::string why;
    if (!ofono.Start(why))
        GTEST_SKIP() << why;

    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("telephony.ini")));
    config.open(QIODevice::WriteOnly);
    config.write("[line0]\ndriver=ofono\nname=My phone\n");
    config.close();
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QProcess dialer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVODIAL_TELEPHONY_CONFIG"), config.fileName());
    env.insert(QStringLiteral("ORVODIAL_TAPI_TRACE"), trace);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // The X11 platform's own libraries leak on their own in sanitizer builds.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + ":detect_leaks=0");
    dialer.setProcessEnvironment(env);
    dialer.setProcessChannelMode(QProcess::ForwardedChannels);
    // A display that xvfb-run reused right after the previous test's server went can refuse
    // the first connection: a dialer that ends before its window shows is started again.
    std::string dial;
    for (int attempt = 0; attempt < 3 && dial.empty(); ++attempt) {
        dialer.start(binary, {});
        ASSERT_TRUE(dialer.waitForStarted(10000));
        dial = xdo::Window("^Orvo Dial$", 20000, [&] { return dialer.state() == QProcess::NotRunning; });
    }
    ASSERT_FALSE(dial.empty()) << "no dial window";
    xdo::Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(dial)});
    xdo::Run({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), QStringLiteral("555-1212")});
    xdo::Run({QStringLiteral("key"), QStringLiteral("Return")});
    EXPECT_TRUE(WaitUntil([&] { return gateway.Heard("ATD5551212;"); }, 20000)) << "the phone heard no dial";

    const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
    ASSERT_FALSE(box.empty()) << "no \"Time call?\"";
    xdo::Run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(box), QStringLiteral("key"),
         QStringLiteral("Tab"), QStringLiteral("Return")}); // No
    const auto traced = [&] {
        QFile f(trace);
        f.open(QIODevice::ReadOnly);
        return f.readAll().toStdString();
    };
    EXPECT_TRUE(WaitUntil([&] { return traced().find("\nlineClose ") != std::string::npos; }, 20000))
        << "the dialer never let go of the line:\n"
        << traced();
    WaitUntil([] { return false; }, 300);
    EXPECT_NE(traced().find("\nlineDrop "), std::string::npos);
    EXPECT_FALSE(gateway.HeardHangup()) << "the phone keeps the call";
    EXPECT_EQ(gateway.state, HandsFreeGateway::State::Dialing);

    dialer.terminate();
    if (!dialer.waitForFinished(10000)) {
        dialer.kill();
        dialer.waitForFinished(5000);
    }
}

} // namespace
