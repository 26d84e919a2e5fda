// The modem driver against the pty simulator: byte-exact dialogues, the call states and
// replies they lead to, and the failures of opening the port.
#include "tests/support/ModemRig.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>


namespace {

using namespace modemtest;

const std::string kStart = "reply 1 0, DIALTONE, DIALING, ";
const std::string kHungUp = ", reply 2 0, IDLE";
const std::string kDialled = kStart + "PROCEEDING" + kHungUp;
const std::string kBytes = "AT\rATDT5551212;\rATH\r";
const std::string kLong = std::string(36, '1') + "2";

struct Row {
    const char* name;
    Script script;
    std::string dropAt; // the call is dropped once this is seen; empty: not dropped
    std::string events;
    std::string bytes = kBytes; // everything the driver sent after opening
    const char* number = "555-1212";
    Tweak tweak = {};
    std::string dropWhenHeard = {}; // ... and once the modem has heard this
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class Dialogue : public testing::TestWithParam<Row> {};

TEST_P(Dialogue, BytesStatesAndReplies) {
    const Row& row = GetParam();
    Rig rig(row.script, row.tweak);
    ASSERT_FALSE(rig.sim.Path().empty());
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    const std::size_t opened = rig.sim.Received().size();
    ASSERT_EQ(rig.line.MakeCall(1, 100, row.number), 0);
    if (!row.dropAt.empty()) {
        ASSERT_TRUE(rig.WaitFor(row.dropAt)) << rig.sink.log;
        ASSERT_TRUE(WaitUntil([&] { return rig.sim.Received().find(row.dropWhenHeard) != std::string::npos; }));
        ASSERT_EQ(rig.line.Drop(2, 100), 0);
    }
    WaitUntil([&] { return rig.sink.log == row.events; });
    WaitUntil([] { return false; }, 30); // nothing more may follow
    EXPECT_EQ(rig.sink.log, row.events);
    EXPECT_EQ(rig.sim.Received().substr(opened), row.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Modem, Dialogue,
    testing::Values(
        Row("VerboseDefaultInit", {}, "PROCEEDING", kDialled),
        Row("EchoOnThroughout", {}, "PROCEEDING", kDialled, kBytes, "555-1212", {.init = "ATE1V1X4"}),
        Row("NumericWithEchoAndRing", {.echo = false, .verbose = false, .beforeDialResult = "2\r"},
            "PROCEEDING", kStart + "RING 1, PROCEEDING" + kHungUp, kBytes, "555-1212", {.init = "ATE1V0X4"}),
        Row("NoiseRingAndCallerIdIgnored",
            {.noise = std::string("\x01\xfe%%junk\r\n\0\r\n", 13),
             .beforeDialResult = "\r\nRING\r\n\r\nNMBR = 5550000\r\n"},
            "PROCEEDING", kStart + "RING 1, PROCEEDING" + kHungUp),
        Row("LongNumberInTwoPiecesSecondBusy", {.dials = {"OK", "BUSY"}}, "",
            kStart + "BUSY, DISCONNECTED BUSY", "AT\rATDT" + std::string(35, '1') + ";\rATD12;\r",
            kLong.c_str()),
        Row("Busy", {.dials = {"BUSY"}}, "DISCONNECTED", kStart + "BUSY, DISCONNECTED BUSY" + kHungUp),
        Row("NoDialtone", {.dials = {"NO DIALTONE"}}, "DISCONNECTED",
            kStart + "DISCONNECTED NODIALTONE" + kHungUp),
        Row("NoAnswer", {.dials = {"NO ANSWER"}}, "DISCONNECTED", kStart + "DISCONNECTED NOANSWER" + kHungUp),
        Row("NoCarrier", {.dials = {"NO CARRIER"}}, "DISCONNECTED", kStart + "DISCONNECTED NORMAL" + kHungUp),
        Row("DialStringRefused", {.dials = {"ERROR"}}, "DISCONNECTED",
            kStart + "DISCONNECTED BADADDRESS" + kHungUp),
        // On line after CONNECT: back to command mode ("+++") before ATH.
        Row("CarrierAnswers", {.dials = {"CONNECT"}}, "CONNECTED", kStart + "CONNECTED" + kHungUp,
            "AT\rATDT5551212;\r+++ATH\r"),
        Row("DialNeverEndsAbortedOnTimeout", {.dials = {""}}, "", kStart + "DISCONNECTED UNKNOWN",
            "AT\rATDT5551212;\r\r"),
        Row("AbortNotAnsweredEither", {.dials = {""}, .abortResult = ""}, "", kStart + "DISCONNECTED UNKNOWN",
            "AT\rATDT5551212;\r\r"),
        Row("DropWhileDialling", {.dials = {""}}, "DIALING", "reply 1 0, DIALTONE, DIALING" + kHungUp,
            "AT\rATDT5551212;\r\rATH\r", "555-1212", {}, "ATDT5551212;\r"),
        Row("DropWhileDiallingModemSaysOk", {.dials = {""}, .abortResult = "OK"}, "DIALING",
            "reply 1 0, DIALTONE, DIALING" + kHungUp, "AT\rATDT5551212;\r\rATH\r", "555-1212", {},
            "ATDT5551212;\r"),
        Row("HangupRefused", {.refuse = {"ATH"}}, "PROCEEDING",
            kStart + "PROCEEDING, reply 2 OPERATIONFAILED, DISCONNECTED UNKNOWN"),
        Row("PortVanishesDuringHangup", {.vanishOn = "ATH"}, "PROCEEDING",
            kStart + "PROCEEDING, DISCONNECTED UNAVAIL" + kHungUp + ", removed"),
        Row("BlindDialling", {}, "PROCEEDING", kDialled, "ATX3\rATDT5551212;\rATH\r", "555-1212",
            {.blind = true}),
        Row("BlindRefusedFailsTheRequest", {.refuse = {"ATX3"}}, "", "reply 1 OPERATIONFAILED", "ATX3\r",
            "555-1212", {.blind = true}),
        Row("PrefixAndPulseModeReachTheModem", {}, "PROCEEDING", kDialled, "AT\rATDP9,5551212;\rATH\r",
            "555-1212", {.prefix = "9,", .mode = DialMode::Pulse}),
        Row("NoNumberNoPrefix", {}, "PROCEEDING", kDialled, "AT\rATDP;\rATH\r", nullptr,
            {.prefix = "9,", .mode = DialMode::Pulse})),
    [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

// Unplugged mid-dial: disconnected, idle, removed; operations fail until the port is back
// (at the same path), and then the line works again without a new driver.
TEST(ModemDialogue, PortVanishesMidDialAndComesBack) {
    const std::string link = testing::TempDir() + "orvodial-modem-" + std::to_string(::getpid());
    auto rig = std::make_unique<Rig>(Script{.dials = {"vanish"}}, Tweak{}, kTimeouts, link);
    ASSERT_EQ(rig->line.Open(rig->sink), 0);
    ASSERT_EQ(rig->line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(rig->WaitFor("removed")) << rig->sink.log;
    EXPECT_EQ(rig->sink.log, kStart + "DISCONNECTED UNAVAIL, IDLE, removed");
    EXPECT_NE(rig->remarks.find("! the port " + link + " is gone"), std::string::npos) << rig->remarks;
    EXPECT_EQ(rig->line.MakeCall(3, 101, "5551212"), LINEERR_NODEVICE);
    EXPECT_EQ(rig->line.Drop(4, 100), LINEERR_NODEVICE);
    rig->line.Close();
    EXPECT_EQ(rig->line.Open(rig->sink), LINEERR_NODEVICE);
    EXPECT_NE(rig->remarks.find("! no such port " + link), std::string::npos) << rig->remarks;

    ModemSimulator back({}, link); // plugged in again
    rig->sink.log.clear();
    ASSERT_EQ(rig->line.Open(rig->sink), 0);
    ASSERT_EQ(rig->line.MakeCall(5, 102, "5551212"), 0);
    ASSERT_TRUE(rig->WaitFor("PROCEEDING")) << rig->sink.log;
    EXPECT_TRUE(back.OffHook());
    rig->line.Close();
    rig.reset();
    std::filesystem::remove(link);
}

TEST(ModemDialogue, RefusedAtOnce) {
    Rig rig;
    EXPECT_EQ(rig.line.MakeCall(1, 100, "5551212"), LINEERR_INVALLINESTATE) << "before Open";
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    EXPECT_EQ(rig.line.MakeCall(1, 100, "+1 555 1212"), LINEERR_INVALADDRESS);
    EXPECT_EQ(rig.line.Drop(2, 100), LINEERR_INVALCALLHANDLE) << "no call";
    ASSERT_EQ(rig.line.MakeCall(1, 100, "5551212"), 0);
    EXPECT_EQ(rig.line.MakeCall(3, 101, "5551212"), LINEERR_CALLUNAVAIL) << "one call at a time";
    EXPECT_EQ(rig.line.Drop(4, 100), LINEERR_INVALCALLSTATE) << "request not completed yet";
    ASSERT_TRUE(rig.WaitFor("PROCEEDING"));
    EXPECT_EQ(rig.line.Drop(5, 999), LINEERR_INVALCALLHANDLE);
    ASSERT_EQ(rig.line.Drop(6, 100), 0);
    EXPECT_EQ(rig.line.Drop(7, 100), LINEERR_INVALCALLSTATE) << "drop already pending";
    ASSERT_TRUE(rig.WaitFor("IDLE"));
    EXPECT_EQ(rig.sink.log, kStart + "PROCEEDING, reply 6 0, IDLE");
}

TEST(ModemDialogue, ReleasedCallIsHungUpSilently) {
    Rig rig({.dials = {""}});
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    const std::size_t opened = rig.sim.Received().size();
    ASSERT_EQ(rig.line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(rig.WaitFor("DIALING"));
    ASSERT_TRUE(WaitUntil([&] { return rig.sim.Received().ends_with("ATDT5551212;\r"); }));
    rig.line.ReleaseCall(100);
    ASSERT_TRUE(WaitUntil([&] { return rig.line.MakeCall(2, 101, "5551212") == 0; })) << "the modem is free";
    EXPECT_EQ(rig.sink.log, "reply 1 0, DIALTONE, DIALING");
    EXPECT_TRUE(rig.sim.Received().substr(opened).starts_with("AT\rATDT5551212;\r\rATH\r"))
        << rig.sim.Received();
}



std::size_t OpenDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

TEST(ModemOpen, FailureGivesALineErrorAndReleasesThePort) {
    const struct {
        const char* name;
        Script script;
        const char* path; // nullptr: the simulator's
        LONG expected;
        std::string says; // the remark for the user
        std::string init = {};
    } rows[] = {
        {"MissingDevice", {}, "/dev/orvodial-no-such-modem", LINEERR_NODEVICE, "no such port"},
        {"NotATerminal", {}, "/dev/null", LINEERR_NODEVICE, "/dev/null is not a serial port"},
        {"Directory", {}, "/dev", LINEERR_NODEVICE, "/dev is not a serial port"},
        {"ModemSaysNothing", {.mute = true}, nullptr, LINEERR_NODEVICE, "no modem answers on"},
        {"AtRefused", {.refuse = {"AT"}}, nullptr, LINEERR_RESOURCEUNAVAIL, "refuses AT"},
        {"OwnInitRefused", {.refuse = {"ATE0V1X4S7=60"}}, nullptr, LINEERR_OPERATIONFAILED,
         "refused the init string ATE0V1X4S7=60", "ATE0V1X4S7=60"},
        {"OwnInitNeverAnswered", {.ignore = {"ATE0V1X4S7=60"}}, nullptr, LINEERR_NODEVICE,
         "does not answer the init string", "ATE0V1X4S7=60"},
        {"StopsAnsweringDuringInit", {.ignore = {"AT&C1"}}, nullptr, LINEERR_NODEVICE, "stopped answering (AT&C1)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig(row.script, {.init = row.init, .port = row.path});
        const std::size_t fds = OpenDescriptors();
        EXPECT_EQ(rig.line.Open(rig.sink), row.expected);
        EXPECT_EQ(rig.sink.log, "");
        EXPECT_NE(rig.remarks.find("! "), std::string::npos) << rig.remarks;
        EXPECT_NE(rig.remarks.find(row.says), std::string::npos) << rig.remarks;
        EXPECT_EQ(OpenDescriptors(), fds) << "no descriptor is left open";
        if (row.path == nullptr) { // released: another opening is not refused as busy
            const int fd = ::open(rig.sim.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
            ::close(fd);
        }
    }
}

TEST(ModemOpen, BusyPortIsResourceUnavailable) {
    Rig rig;
    ModemLine second(rig.settings, kTimeouts);
    Recorder other;
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    EXPECT_EQ(second.Open(other), LINEERR_RESOURCEUNAVAIL);
    rig.line.Close();
    EXPECT_EQ(second.Open(other), 0);
}

TEST(ModemOpen, PortVanishingEndsTheWait) {
    Rig rig({.mute = true}, {}, {milliseconds(2000), milliseconds(300), {}, milliseconds(150)});
    QTimer::singleShot(50, [&] { rig.sim.Vanish(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(rig.line.Open(rig.sink), LINEERR_NODEVICE);
    EXPECT_LT(clock.elapsed(), 1500) << "the loss ends the wait, not the timeout";
    EXPECT_EQ(rig.sink.log, "");
}

} // namespace
