// The real dialer (ORVODIAL_BINARY) on an X display, with a driver=ofono line on the real
// ofonod: 555-1212 typed and Enter pressed as a user would (xdotool); the phone hears the
// dial for 5551212, "Time call?" is answered No, and the phone keeps the call. With oFono
// stopped, Dial ends in "TAPI failure" at once and the trace says why. Run by CTest under
// xvfb-run; skipped without a display or the binary.
#include "tests/support/OfonoRig.h"
#include "tests/support/DialerProcess.h"

#include <gtest/gtest.h>

namespace {

// The phone's hands-free side, the real ofonod, and the real dialer on a line to it.
class OfonoDialer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (xdo::DialerProcess::Binary().isEmpty())
            GTEST_SKIP() << "needs ORVODIAL_BINARY and an X display (CTest runs it under xvfb-run)";
        std::string why;
        if (!ofono.Start(why))
            GTEST_SKIP() << why;
    }
    // The dialer started, 555-1212 typed and dialled; false when no dial window came.
    bool Dial() {
        const std::string dial = dialer.Start();
        if (dial.empty())
            return false;
        dialer.TypeAndDial(dial, QStringLiteral("555-1212"));
        return true;
    }

    HandsFreeGateway gateway;
    ofonotest::OfonoDaemon ofono{gateway};
    xdo::DialerProcess dialer{"[line0]\ndriver=ofono\nname=My phone\n"};
};

TEST_F(OfonoDialer, DialsOnThePhoneAndTheDropLeavesTheCallThere) {
    ASSERT_TRUE(Dial()) << "no dial window";
    EXPECT_TRUE(WaitUntil([&] { return gateway.Heard("ATD5551212;"); }, 20000)) << "the phone heard no dial";

    const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
    ASSERT_FALSE(box.empty()) << "no \"Time call?\"";
    dialer.AnswerNo(box);
    EXPECT_TRUE(WaitUntil([&] { return dialer.Trace().find("\nlineClose ") != std::string::npos; }, 20000))
        << "the dialer never let go of the line:\n"
        << dialer.Trace();
    WaitUntil([] { return false; }, 300);
    EXPECT_NE(dialer.Trace().find("\nlineDrop "), std::string::npos);
    EXPECT_FALSE(gateway.HeardHangup()) << "the phone keeps the call";
    EXPECT_EQ(gateway.state, HandsFreeGateway::State::Dialing);
}

TEST_F(OfonoDialer, OfonoStoppedIsATapiFailureThatSaysWhy) {
    ofono.Stop(); // the system bus stays, without oFono on it
    ASSERT_TRUE(Dial()) << "no dial window";
    const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
    ASSERT_FALSE(box.empty()) << "no \"TAPI failure\"";
    EXPECT_NE(dialer.Trace().find("# [line0] oFono is not running"), std::string::npos) << dialer.Trace();
    EXPECT_EQ(dialer.Trace().find("\nlineMakeCallA "), std::string::npos) << "dialled without a line";
    xdo::DialerProcess::PressEnter(box);
    EXPECT_TRUE(xdo::Window("^Call Timing$", 1000, [] { return false; }).empty());
}

} // namespace
