// The modem driver against the pty simulator: byte-exact dialogues, the call states and
// replies they lead to, and the failures of opening the port.
#include "localtapi/drivers/modem/ModemLine.h"
#include "tests/support/ModemSimulator.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

using namespace localtapi::modem;
using Script = ModemSimulator::Script;

namespace {

// A silent modem costs under a second, yet a loaded machine lets the simulator answer in time.
constexpr ModemTimeouts kTimeouts{milliseconds(600), milliseconds(800), milliseconds(0), milliseconds(400)};

// The constant's name after its prefix, e.g. "BUSY" for LINECALLSTATE_BUSY.
#define N(constant)                                                                                          \
    { static_cast<DWORD>(constant), #constant }
std::string Name(DWORD value, std::initializer_list<std::pair<DWORD, std::string>> names) {
    for (const auto& [v, name] : names)
        if (v == value)
            return name.substr(name.find('_') + 1);
    return std::to_string(value);
}

// Records what the driver reports as one comma-separated log.
struct Recorder : localtapi::LineDriverSink {
    std::string log;
    void Add(const std::string& event) { log += (log.empty() ? "" : ", ") + event; }
    void RequestCompleted(localtapi::RequestId request, LONG result) override {
        Add("reply " + std::to_string(request) + " " +
            (result ? Name(result, {N(LINEERR_OPERATIONFAILED), N(LINEERR_NODEVICE)}) : "0"));
    }
    void CallState(localtapi::CallId, DWORD state, DWORD mode) override {
        Add(Name(state, {N(LINECALLSTATE_IDLE), N(LINECALLSTATE_DIALTONE), N(LINECALLSTATE_DIALING),
                         N(LINECALLSTATE_PROCEEDING), N(LINECALLSTATE_CONNECTED), N(LINECALLSTATE_BUSY),
                         N(LINECALLSTATE_DISCONNECTED)}));
        if (state == LINECALLSTATE_DISCONNECTED)
            log += " " + Name(mode, {N(LINEDISCONNECTMODE_NORMAL), N(LINEDISCONNECTMODE_UNKNOWN),
                                     N(LINEDISCONNECTMODE_BUSY), N(LINEDISCONNECTMODE_NOANSWER),
                                     N(LINEDISCONNECTMODE_BADADDRESS), N(LINEDISCONNECTMODE_UNAVAIL),
                                     N(LINEDISCONNECTMODE_NODIALTONE)});
    }
    void LineDevState(DWORD state, DWORD, DWORD count) override {
        if (state == LINEDEVSTATE_RINGING)
            Add("RING " + std::to_string(count));
    }
    void DeviceRemoved() override { Add("removed"); }
};

// What a test changes in the settings; the port is the simulator's unless given.
struct Tweak {
    std::string init = ""; // empty: the default
    bool blind = false;
    std::string prefix = "";
    DialMode mode = DialMode::Tone;
    const char* port = nullptr;
};

ModemSettings Settings(const ModemSimulator& sim, const Tweak& t) {
    localtapi::LineSettings group;
    group.entries.push_back({"port", t.port ? t.port : sim.Path(), 0});
    std::vector<localtapi::ConfigProblem> problems;
    ModemSettings s = ReadModemSettings(group, problems).value(); // the table's defaults
    s.init = t.init.empty() ? s.init : t.init;
    s.blind = t.blind;
    s.prefix = t.prefix;
    s.dialMode = t.mode;
    return s;
}

// A simulated modem and a driver on its pty.
struct Rig {
    explicit Rig(Script script = {}, const Tweak& tweak = {}, ModemTimeouts timeouts = kTimeouts)
        : sim(std::move(script)), settings(Settings(sim, tweak)), line(settings, timeouts) {}
    bool WaitFor(const std::string& event) {
        return WaitUntil([&] { return sink.log.find(event) != std::string::npos; });
    }
    ModemSimulator sim;
    ModemSettings settings;
    ModemLine line;
    Recorder sink;
};

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
        Row("CarrierAnswers", {.dials = {"CONNECT"}}, "CONNECTED", kStart + "CONNECTED" + kHungUp),
        Row("DialNeverEndsAbortedOnTimeout", {.dials = {""}}, "", kStart + "DISCONNECTED UNKNOWN",
            "AT\rATDT5551212;\r\r"),
        Row("AbortNotAnsweredEither", {.dials = {""}, .abortResult = ""}, "", kStart + "DISCONNECTED UNKNOWN",
            "AT\rATDT5551212;\r\r"),
        Row("DropWhileDialling", {.dials = {""}}, "DIALING", "reply 1 0, DIALTONE, DIALING" + kHungUp,
            "AT\rATDT5551212;\r\rATH\r"),
        Row("DropWhileDiallingModemSaysOk", {.dials = {""}, .abortResult = "OK"}, "DIALING",
            "reply 1 0, DIALTONE, DIALING" + kHungUp, "AT\rATDT5551212;\r\rATH\r"),
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

TEST(ModemDialogue, PortVanishesMidDialAndLaterOperationsFail) {
    Rig rig({.dials = {"vanish"}});
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    ASSERT_EQ(rig.line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(rig.WaitFor("removed")) << rig.sink.log;
    EXPECT_EQ(rig.sink.log, kStart + "DISCONNECTED UNAVAIL, removed");
    EXPECT_EQ(rig.line.MakeCall(3, 101, "5551212"), LINEERR_NODEVICE);
    EXPECT_EQ(rig.line.Drop(4, 100), LINEERR_NODEVICE);
    rig.line.Close();
    EXPECT_EQ(rig.line.Open(rig.sink), LINEERR_NODEVICE);
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
    rig.line.ReleaseCall(100);
    ASSERT_TRUE(WaitUntil([&] { return rig.line.MakeCall(2, 101, "5551212") == 0; })) << "the modem is free";
    EXPECT_EQ(rig.sink.log, "reply 1 0, DIALTONE, DIALING");
    EXPECT_TRUE(rig.sim.Received().substr(opened).starts_with("AT\rATDT5551212;\r\rATH\r"))
        << rig.sim.Received();
}

TEST(ModemDialogue, CloseDuringDialAbortsAndReportsNothing) {
    Rig rig({.dials = {""}});
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    ASSERT_EQ(rig.line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(rig.WaitFor("DIALING"));
    rig.line.Close();
    WaitUntil([] { return false; }, 1000); // longer than any timeout: none of the dead call may fire
    EXPECT_EQ(rig.sink.log, "reply 1 0, DIALTONE, DIALING");
    EXPECT_TRUE(rig.sim.Received().ends_with("ATDT5551212;\r\r"))
        << "the dial is aborted: " << rig.sim.Received();
    ASSERT_EQ(rig.line.Open(rig.sink), 0) << "the port is free again";
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
    } rows[] = {
        {"MissingDevice", {}, "/dev/orvodial-no-such-modem", LINEERR_NODEVICE},
        {"NotATerminal", {}, "/dev/null", LINEERR_NODEVICE},
        {"Directory", {}, "/dev", LINEERR_NODEVICE},
        {"ModemSaysNothing", {.mute = true}, nullptr, LINEERR_NODEVICE},
        {"AtRefused", {.refuse = {"AT"}}, nullptr, LINEERR_RESOURCEUNAVAIL},
        {"InitRefused", {.refuse = {"AT&FE0V1&D2&C1X4"}}, nullptr, LINEERR_OPERATIONFAILED},
        {"InitNeverAnswered", {.ignore = {"AT&FE0V1&D2&C1X4"}}, nullptr, LINEERR_NODEVICE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig(row.script, {.port = row.path});
        const std::size_t fds = OpenDescriptors();
        EXPECT_EQ(rig.line.Open(rig.sink), row.expected);
        EXPECT_EQ(rig.sink.log, "");
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
