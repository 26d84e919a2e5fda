// The oFono driver against the real ofonod on a private system bus, its hands-free modem
// played by HandsFreeGateway: the whole call, the drop that keeps the call and the one that
// hangs it up, the far end busy, a refused dial, the modem removed mid-call and back, a
// modem that cannot be powered, oFono stopping and restarting, oFono not running, a modem
// that does not exist. And the driver's own rules, table-driven.
#include "localtapi/drivers/ofono/OfonoLine.h"
#include "tests/support/DriverRecorder.h"
#include "tests/support/Wait.h"
#include "tests/support/OfonoRig.h"

#include <gtest/gtest.h>

namespace {

using namespace localtapi::ofono;
using drivertest::Recorder;

TEST(OfonoNumbers, SeparatorsGoDigitsStarHashAndALeadingPlusStay) {
    const struct {
        const char* in;
        const char* out; // null: refused
    } rows[] = {
        {"555-1212", "5551212"},      {"+1 (206) 555.1212", "+12065551212"}, {"*31#5551212", "*31#5551212"},
        {"", nullptr},                {" - ", nullptr},                      {"+", nullptr},
        {"555-12a2", nullptr},        {"1+2", nullptr},                      {"555,1212", nullptr},
        {"5551212W9", nullptr},       {"++1", nullptr},                      {"555\t1212", nullptr},
    };
    for (const auto& row : rows) {
        const auto number = DialableNumber(row.in);
        if (row.out == nullptr)
            EXPECT_FALSE(number) << "'" << row.in << "' became '" << number.value_or("") << "'";
        else
            EXPECT_EQ(number.value_or("(refused)"), row.out) << row.in;
    }
}

TEST(OfonoNumbers, DisconnectReasons) {
    EXPECT_EQ(DisconnectModeFor("local", false), LINEDISCONNECTMODE_NORMAL);
    EXPECT_EQ(DisconnectModeFor("local", true), LINEDISCONNECTMODE_NORMAL);
    EXPECT_EQ(DisconnectModeFor("remote", true), LINEDISCONNECTMODE_NORMAL);
    EXPECT_EQ(DisconnectModeFor("remote", false), LINEDISCONNECTMODE_BUSY);
    EXPECT_EQ(DisconnectModeFor("network", true), LINEDISCONNECTMODE_UNAVAIL);
    EXPECT_EQ(DisconnectModeFor("", false), LINEDISCONNECTMODE_UNKNOWN);
}

TEST(OfonoSettings, ModemMustBeAnObjectPath) {
    for (const auto& [value, ok] : std::vector<std::pair<std::string, bool>>{
             {"", true}, {"/hfp/org/bluez/hci0/dev_00_11_22_33_44_55", true}, {"hfp", false}, {"/a b", false}}) {
        localtapi::LineSettings group;
        group.entries.push_back({"modem", value, 3});
        std::vector<localtapi::ConfigProblem> problems;
        EXPECT_EQ(ReadOfonoSettings(group, problems).has_value(), ok) << value;
        EXPECT_EQ(problems.empty(), ok) << value;
    }
}

// Short waits: oFono on this machine answers in milliseconds.
constexpr OfonoTimeouts kTimeouts{.call = std::chrono::milliseconds(3000),
                                  .powerUp = std::chrono::milliseconds(8000),
                                  .hangup = std::chrono::milliseconds(3000)};

OfonoSettings Settings(const std::string& modem = "", bool hangupOnDrop = false) {
    localtapi::LineSettings group;
    if (!modem.empty())
        group.entries.push_back({"modem", modem, 2});
    group.entries.push_back({"hangup_on_drop", hangupOnDrop ? "yes" : "no", 3});
    std::vector<localtapi::ConfigProblem> problems;
    return ReadOfonoSettings(group, problems).value();
}

class OfonoLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        if (!ofono.Start(why))
            GTEST_SKIP() << why;
    }
    std::unique_ptr<OfonoLine> Line(OfonoSettings settings = Settings()) {
        auto line = std::make_unique<OfonoLine>(std::move(settings), kTimeouts);
        line->SetRemarks([this](const std::string& text, bool forUser) {
            remarks += (forUser ? "! " : "  ") + text + "\n";
        });
        return line;
    }
    bool WaitFor(const std::string& event) {
        return WaitUntil([&] { return sink.log.find(event) != std::string::npos; }, 8000);
    }
    bool WaitHeard(const std::string& command) {
        return WaitUntil([&] { return gateway.Heard(command); }, 8000);
    }
    // Opened, and a call to 555-1212 as far as `until` (the sink's log).
    void CallUntil(OfonoLine& line, const std::string& until) {
        ASSERT_EQ(line.Open(sink), 0) << remarks;
        ASSERT_EQ(line.MakeCall(1, 7, "555-1212"), 0);
        ASSERT_TRUE(WaitHeard("ATD5551212;")) << "the phone never heard the dial";
        ASSERT_TRUE(WaitFor("DIALING")) << sink.log;
        if (until == "DIALING")
            return;
        gateway.Ring();
        ASSERT_TRUE(WaitFor("RINGBACK")) << sink.log;
        if (until == "RINGBACK")
            return;
        gateway.Answer();
        ASSERT_TRUE(WaitFor("CONNECTED")) << sink.log;
    }
    // Events run a little longer, for what must not happen to show if it would.
    static void Settle() { WaitUntil([] { return false; }, 300); }

    HandsFreeGateway gateway;
    ofonotest::OfonoDaemon ofono{gateway};
    Recorder sink;
    std::string remarks;
};

TEST_F(OfonoLineTest, WholeCallThenTheDropLeavesItOnThePhone) {
    ASSERT_FALSE(ofono.ModemProperties().value(QStringLiteral("Powered")).toBool()) << "a modem that is off";
    auto line = Line();
    CallUntil(*line, "CONNECTED");
    EXPECT_TRUE(ofono.ModemProperties().value(QStringLiteral("Powered")).toBool()) << "the open powered it";
    EXPECT_EQ(sink.log, "reply 1 0, DIALING, RINGBACK, CONNECTED");
    ASSERT_EQ(line->Drop(2, 7), 0);
    ASSERT_TRUE(WaitFor("reply 2 0"));
    line->Close();
    Settle();
    EXPECT_EQ(sink.log, "reply 1 0, DIALING, RINGBACK, CONNECTED, IDLE, reply 2 0");
    EXPECT_FALSE(gateway.HeardHangup()) << "the phone keeps the call";
    EXPECT_EQ(gateway.state, HandsFreeGateway::State::Active);
}

TEST_F(OfonoLineTest, HangupOnDropHangsUpAndIsIdleWhenTheCallIsGone) {
    auto line = Line(Settings("", true));
    CallUntil(*line, "CONNECTED");
    ASSERT_EQ(line->Drop(2, 7), 0);
    ASSERT_TRUE(WaitFor("reply 2 0")) << sink.log;
    EXPECT_TRUE(gateway.HeardHangup());
    EXPECT_EQ(gateway.state, HandsFreeGateway::State::None);
    EXPECT_EQ(sink.log, "reply 1 0, DIALING, RINGBACK, CONNECTED, DISCONNECTED NORMAL, IDLE, reply 2 0");
}

TEST_F(OfonoLineTest, DropWhileRingingAndCloseMidCallWithHangupOnDrop) {
    auto line = Line(Settings("", true));
    CallUntil(*line, "RINGBACK");
    line->Close(); // the line closed with the call up: torn down
    EXPECT_TRUE(WaitUntil([&] { return gateway.HeardHangup(); }, 8000));
}

TEST_F(OfonoLineTest, FarEndBusy) {
    auto line = Line();
    CallUntil(*line, "DIALING");
    gateway.Busy();
    ASSERT_TRUE(WaitFor("DISCONNECTED")) << sink.log;
    EXPECT_EQ(sink.log, "reply 1 0, DIALING, BUSY, DISCONNECTED BUSY");
    ASSERT_EQ(line->Drop(2, 7), 0);
    EXPECT_TRUE(WaitFor("IDLE, reply 2 0")) << sink.log;
}

TEST_F(OfonoLineTest, RefusedDialIsTheFailedReplyAndBadNumbersNeverLeave) {
    auto line = Line();
    ASSERT_EQ(line->Open(sink), 0) << remarks;
    EXPECT_EQ(line->MakeCall(1, 7, "555-12a2"), LINEERR_INVALADDRESS);
    EXPECT_EQ(line->MakeCall(1, 7, ""), LINEERR_INVALADDRESS);
    gateway.refuseDial = true;
    ASSERT_EQ(line->MakeCall(2, 8, "555-1212"), 0);
    ASSERT_TRUE(WaitFor("reply 2")) << sink.log;
    EXPECT_EQ(sink.log, "reply 2 OPERATIONFAILED");
    EXPECT_NE(remarks.find("oFono refused to dial: org.ofono.Error"), std::string::npos) << remarks;
    EXPECT_EQ(std::count_if(gateway.commands.begin(), gateway.commands.end(),
                            [](const std::string& c) { return c.starts_with("ATD"); }),
              1);
    // The line is free again.
    gateway.refuseDial = false;
    ASSERT_EQ(line->MakeCall(3, 9, "5551212"), 0);
    EXPECT_TRUE(WaitFor("reply 3 0")) << sink.log;
}

// The hands-free link lost mid-call (the phone out of reach): oFono powers the modem
// down, the call ends and the device goes; once the phone is back, the line opens again.
TEST_F(OfonoLineTest, PhoneOutOfReachMidCallThenBack) {
    auto line = Line();
    CallUntil(*line, "CONNECTED");
    gateway.Disconnect();
    ASSERT_TRUE(WaitFor("removed")) << sink.log << "\n" << remarks;
    EXPECT_EQ(sink.log, "reply 1 0, DIALING, RINGBACK, CONNECTED, DISCONNECTED UNAVAIL, removed");
    EXPECT_NE(remarks.find("! the modem /hfp was switched off"), std::string::npos) << remarks;
    line->Close(); // as the service does
    EXPECT_EQ(line->MakeCall(4, 10, "5551212"), LINEERR_OPERATIONUNAVAIL) << "closed";

    gateway.state = HandsFreeGateway::State::None; // the phone's call ended meanwhile
    Recorder again;
    ASSERT_EQ(line->Open(again), 0) << remarks;
    ASSERT_EQ(line->MakeCall(5, 11, "5551212"), 0);
    EXPECT_TRUE(WaitUntil([&] { return again.log.find("DIALING") != std::string::npos; }, 8000)) << again.log;
    line->Close();
}

TEST_F(OfonoLineTest, OfonoStoppingMidCallRemovesTheDevice) {
    auto line = Line();
    CallUntil(*line, "CONNECTED");
    ofono.Stop();
    ASSERT_TRUE(WaitFor("removed")) << sink.log;
    EXPECT_NE(sink.log.find("DISCONNECTED UNAVAIL"), std::string::npos) << sink.log;
    line->Close();
    EXPECT_EQ(line->Open(sink), LINEERR_NODEVICE);
    EXPECT_NE(remarks.find("! oFono is not running"), std::string::npos) << remarks;
}

// The phone refuses the hands-free link: oFono cannot power the modem, and the open says
// so at once instead of waiting out the power-up.
TEST_F(OfonoLineTest, AModemThatCannotBePowered) {
    gateway.refuseLink = true;
    auto line = Line();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(line->Open(sink), LINEERR_RESOURCEUNAVAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - started, kTimeouts.powerUp);
    EXPECT_NE(remarks.find("! the modem /hfp cannot be powered"), std::string::npos) << remarks;
    EXPECT_EQ(line->MakeCall(1, 7, "5551212"), LINEERR_OPERATIONUNAVAIL) << "not open";

    gateway.refuseLink = false; // the phone lets it link after all
    ASSERT_EQ(line->Open(sink), 0) << remarks;
    ASSERT_EQ(line->MakeCall(2, 8, "5551212"), 0);
    EXPECT_TRUE(WaitHeard("ATD5551212;"));
}

// oFono restarted while the line was open: the device goes with it, and the same driver
// opens on the new oFono and calls.
TEST_F(OfonoLineTest, OfonoRestartedTheLineWorksAgain) {
    auto line = Line();
    ASSERT_EQ(line->Open(sink), 0) << remarks;
    ofono.Stop();
    ASSERT_TRUE(WaitFor("removed")) << sink.log;
    line->Close();
    std::string why;
    ASSERT_TRUE(ofono.Start(why)) << why;
    Recorder again;
    ASSERT_EQ(line->Open(again), 0) << remarks;
    ASSERT_EQ(line->MakeCall(3, 9, "5551212"), 0);
    EXPECT_TRUE(WaitUntil([&] { return again.log.find("reply 3 0, DIALING") != std::string::npos; }, 8000))
        << again.log;
}

// oFono's own policy lets only root and users at the computer's seat call it: anyone else
// is refused by the bus, and is told so instead of "no modem".
TEST_F(OfonoLineTest, OfonoRefusesThisUser) {
    std::string why;
    ofonotest::PrivateBus* bus = ofonotest::PrivateBus::Get(why);
    ASSERT_TRUE(bus->Deny(QStringLiteral("<deny send_destination=\"org.ofono\"/>")));
    auto line = Line();
    const LONG opened = line->Open(sink);
    ASSERT_TRUE(bus->Deny(QString()));
    EXPECT_EQ(opened, LINEERR_NODEVICE);
    EXPECT_NE(remarks.find("! oFono refuses this user: its D-Bus policy"), std::string::npos) << remarks;
    EXPECT_EQ(line->Open(sink), 0) << "allowed again:\n" << remarks;
}

TEST_F(OfonoLineTest, AModemPathThatDoesNotExist) {
    auto line = Line(Settings("/hfp/org/bluez/hci0/dev_00_11_22_33_44_55"));
    EXPECT_EQ(line->Open(sink), LINEERR_NODEVICE);
    EXPECT_NE(remarks.find("! oFono has no modem /hfp/org/bluez/hci0/dev_00_11_22_33_44_55 (it has /hfp)"),
              std::string::npos)
        << remarks;
    EXPECT_TRUE(gateway.commands.empty()) << "no modem was powered";
}

TEST(OfonoNotRunning, OpenSaysSo) {
    std::string why;
    if (ofonotest::PrivateBus::Get(why) == nullptr)
        GTEST_SKIP() << why;
    std::string remarks;
    OfonoLine line(Settings(), kTimeouts);
    line.SetRemarks([&](const std::string& text, bool forUser) { remarks += (forUser ? "! " : "  ") + text + "\n"; });
    Recorder sink;
    EXPECT_EQ(line.Open(sink), LINEERR_NODEVICE);
    EXPECT_NE(remarks.find("! oFono is not running: no org.ofono on the system bus"), std::string::npos) << remarks;
}

} // namespace
