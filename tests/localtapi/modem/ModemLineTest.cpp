// The modem driver against the pty simulator: byte-exact dialogues, the call states and
// replies they lead to, and the failures of opening the port.
#include "ModemLine.h"
#include "ModemSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/file.h>
#include <unistd.h>

using namespace modem;
using Outcome = ModemSimulator::DialOutcome;

namespace {

// Short waits so that "the modem never answers" costs well under a second, yet long
// enough for a loaded machine to let the simulator answer in time.
constexpr ModemTimeouts kTestTimeouts{milliseconds(600), milliseconds(800), milliseconds(0),
                                      milliseconds(400)};
constexpr int kLongestTestTimeoutMs = 800;
constexpr int kGuardMs = 5000; // no test waits longer for an event

std::string ReplyText(LONG code) {
    static const std::map<LONG, std::string> names{
        {0, "0"}, {LINEERR_OPERATIONFAILED, "OPERATIONFAILED"}, {LINEERR_NODEVICE, "NODEVICE"}};
    const auto it = names.find(code);
    return it != names.end() ? it->second : std::to_string(code);
}

std::string StateText(DWORD state, DWORD mode) {
    static const std::map<DWORD, std::string> states{{LINECALLSTATE_IDLE, "IDLE"},
                                                     {LINECALLSTATE_DIALTONE, "DIALTONE"},
                                                     {LINECALLSTATE_DIALING, "DIALING"},
                                                     {LINECALLSTATE_PROCEEDING, "PROCEEDING"},
                                                     {LINECALLSTATE_CONNECTED, "CONNECTED"},
                                                     {LINECALLSTATE_BUSY, "BUSY"},
                                                     {LINECALLSTATE_DISCONNECTED, "DISCONNECTED"}};
    static const std::map<DWORD, std::string> disconnect{{LINEDISCONNECTMODE_NORMAL, "NORMAL"},
                                                         {LINEDISCONNECTMODE_UNKNOWN, "UNKNOWN"},
                                                         {LINEDISCONNECTMODE_BUSY, "BUSY"},
                                                         {LINEDISCONNECTMODE_NOANSWER, "NOANSWER"},
                                                         {LINEDISCONNECTMODE_BADADDRESS, "BADADDRESS"},
                                                         {LINEDISCONNECTMODE_UNAVAIL, "UNAVAIL"},
                                                         {LINEDISCONNECTMODE_NODIALTONE, "NODIALTONE"}};
    std::string text = states.count(state) ? states.at(state) : std::to_string(state);
    if (state == LINECALLSTATE_DISCONNECTED)
        text += " " + (disconnect.count(mode) ? disconnect.at(mode) : std::to_string(mode));
    return text;
}

// Records what the driver reports, one line per event.
class Recorder : public localtapi::LineDriverSink {
  public:
    void RequestCompleted(localtapi::RequestId request, LONG result) override {
        events.push_back("reply " + std::to_string(request) + " " + ReplyText(result));
    }
    void CallState(localtapi::CallId, DWORD state, DWORD mode) override {
        events.push_back(StateText(state, mode));
    }
    void LineDevState(DWORD state, DWORD, DWORD count) override {
        if (state == LINEDEVSTATE_RINGING)
            events.push_back("RING " + std::to_string(count));
    }
    void DeviceRemoved() override { events.push_back("removed"); }

    bool Saw(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    std::vector<std::string> events;
};

// Runs the event loop until an event starting with `event` is recorded; false after
// kGuardMs.
bool WaitFor(const Recorder& sink, const std::string& event) {
    QElapsedTimer clock;
    clock.start();
    auto seen = [&] {
        return std::any_of(sink.events.begin(), sink.events.end(),
                           [&](const std::string& e) { return e.rfind(event, 0) == 0; });
    };
    while (!seen()) {
        if (clock.elapsed() > kGuardMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Runs the event loop until `done` holds; false after kGuardMs.
bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > kGuardMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void Settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

ModemSettings SettingsFor(const ModemSimulator& sim) {
    ModemSettings s;
    s.port = sim.Path();
    return s;
}

constexpr const char* kOpenBytes = "AT\rAT&FE0V1&D2&C1X4\r";

struct DialogueRow {
    const char* name;
    ModemSimulator::Script script;
    std::string init; // empty: the default
    bool blind;
    const char* number;
    std::string waitFor; // event after which the call is dropped ("" = no drop)
    std::string bytes;   // everything the driver sent after opening
    std::vector<std::string> events;
};

ModemSimulator::Script With(std::deque<Outcome> dials) {
    ModemSimulator::Script s;
    s.dials = std::move(dials);
    return s;
}

ModemSimulator::Script Numeric() {
    ModemSimulator::Script s;
    s.echo = false;
    s.verbose = false;
    return s;
}

ModemSimulator::Script Silent(std::string abortResult) {
    ModemSimulator::Script s = With({Outcome::Silent});
    s.abortResult = std::move(abortResult);
    return s;
}

ModemSimulator::Script NumericRing() {
    ModemSimulator::Script s;
    s.unsolicitedBeforeDialResult = "2\r";
    return s;
}

ModemSimulator::Script Noisy() {
    ModemSimulator::Script s;
    s.noise = std::string("\x01\xfe%%junk\r\n\0\r\n", 13);
    s.unsolicitedBeforeDialResult = "\r\nRING\r\n\r\nNMBR = 5550000\r\n";
    return s;
}

ModemSimulator::Script Refusing(std::set<std::string> refuse, std::set<std::string> ignore = {}) {
    ModemSimulator::Script s;
    s.refuse = std::move(refuse);
    s.ignore = std::move(ignore);
    return s;
}

const std::vector<std::string> kDialled{"reply 1 0", "DIALTONE", "DIALING", "PROCEEDING"};
const std::vector<std::string> kDialledAndDropped{"reply 1 0",  "DIALTONE",  "DIALING",
                                                  "PROCEEDING", "reply 2 0", "IDLE"};

std::vector<std::string> Failed(const std::string& how) {
    return {"reply 1 0", "DIALTONE", "DIALING", how, "reply 2 0", "IDLE"};
}

void PrintTo(const DialogueRow& row, std::ostream* os) {
    *os << row.name;
}

class Dialogue : public testing::TestWithParam<DialogueRow> {};

TEST_P(Dialogue, BytesStatesAndReplies) {
    const DialogueRow& row = GetParam();
    ModemSimulator sim(row.script);
    ASSERT_FALSE(sim.Path().empty());
    ModemSettings settings = SettingsFor(sim);
    if (!row.init.empty())
        settings.init = row.init;
    settings.blind = row.blind;
    ModemLine line(settings, kTestTimeouts);
    Recorder sink;

    ASSERT_EQ(line.Open(sink), 0);
    const std::size_t opened = sim.Received().size();
    ASSERT_EQ(line.MakeCall(1, 100, row.number), 0);
    if (!row.waitFor.empty()) {
        ASSERT_TRUE(WaitFor(sink, row.waitFor)) << testing::PrintToString(sink.events);
        ASSERT_EQ(line.Drop(2, 100), 0);
        ASSERT_TRUE(WaitFor(sink, "reply 2 ")) << testing::PrintToString(sink.events);
    } else {
        ASSERT_TRUE(WaitFor(sink, row.events.back())) << testing::PrintToString(sink.events);
    }
    Settle(30); // nothing more may follow
    EXPECT_EQ(sink.events, row.events);
    EXPECT_EQ(sim.Received().substr(opened), row.bytes);
    line.Close();
}

const std::string kLong = std::string(36, '1') + "2";

INSTANTIATE_TEST_SUITE_P(
    Modem, Dialogue,
    testing::Values(
        DialogueRow{"VerboseDefaultInit",
                    {},
                    "",
                    false,
                    "555-1212",
                    "PROCEEDING",
                    "AT\rATDT5551212;\rATH\r",
                    kDialledAndDropped},
        DialogueRow{"NumericWithoutEcho", Numeric(), "ATE0V0X4", false, "555-1212", "PROCEEDING",
                    "AT\rATDT5551212;\rATH\r", kDialledAndDropped},
        DialogueRow{"EchoOnThroughout",
                    {},
                    "ATE1V1X4",
                    false,
                    "555-1212",
                    "PROCEEDING",
                    "AT\rATDT5551212;\rATH\r",
                    kDialledAndDropped},
        DialogueRow{"NumericWithEchoAndRing",
                    NumericRing(),
                    "ATE1V0X4",
                    false,
                    "555-1212",
                    "PROCEEDING",
                    "AT\rATDT5551212;\rATH\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "RING 1", "PROCEEDING", "reply 2 0", "IDLE"}},
        DialogueRow{"NoiseRingAndCallerIdIgnored",
                    Noisy(),
                    "",
                    false,
                    "555-1212",
                    "PROCEEDING",
                    "AT\rATDT5551212;\rATH\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "RING 1", "PROCEEDING", "reply 2 0", "IDLE"}},
        DialogueRow{"LongNumberInTwoPieces",
                    {},
                    "",
                    false,
                    kLong.c_str(),
                    "PROCEEDING",
                    "AT\rATDT" + std::string(35, '1') + ";\rATD12;\rATH\r",
                    kDialledAndDropped},
        DialogueRow{"EmptyNumberTakesTheLine",
                    {},
                    "",
                    false,
                    "",
                    "PROCEEDING",
                    "AT\rATDT;\rATH\r",
                    kDialledAndDropped},
        DialogueRow{"Busy",
                    With({Outcome::Busy}),
                    "",
                    false,
                    "555-1212",
                    "DISCONNECTED BUSY",
                    "AT\rATDT5551212;\rATH\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "BUSY", "DISCONNECTED BUSY", "reply 2 0", "IDLE"}},
        DialogueRow{"NoDialtone", With({Outcome::NoDialtone}), "", false, "5551212",
                    "DISCONNECTED NODIALTONE", "AT\rATDT5551212;\rATH\r", Failed("DISCONNECTED NODIALTONE")},
        DialogueRow{"NoAnswer", With({Outcome::NoAnswer}), "", false, "5551212", "DISCONNECTED NOANSWER",
                    "AT\rATDT5551212;\rATH\r", Failed("DISCONNECTED NOANSWER")},
        DialogueRow{"NoCarrier", With({Outcome::NoCarrier}), "", false, "5551212", "DISCONNECTED NORMAL",
                    "AT\rATDT5551212;\rATH\r", Failed("DISCONNECTED NORMAL")},
        DialogueRow{"DialStringRefused", With({Outcome::Error}), "", false, "5551212",
                    "DISCONNECTED BADADDRESS", "AT\rATDT5551212;\rATH\r", Failed("DISCONNECTED BADADDRESS")},
        DialogueRow{"CarrierAnswers",
                    With({Outcome::Connect}),
                    "",
                    false,
                    "5551212",
                    "CONNECTED",
                    "AT\rATDT5551212;\rATH\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "CONNECTED", "reply 2 0", "IDLE"}},
        DialogueRow{"SecondPieceBusy",
                    With({Outcome::Ok, Outcome::Busy}),
                    "",
                    false,
                    kLong.c_str(),
                    "",
                    "AT\rATDT" + std::string(35, '1') + ";\rATD12;\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "BUSY", "DISCONNECTED BUSY"}},
        DialogueRow{"DialNeverEndsAbortedOnTimeout",
                    Silent("NO CARRIER"),
                    "",
                    false,
                    "5551212",
                    "",
                    "AT\rATDT5551212;\r\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "DISCONNECTED UNKNOWN"}},
        DialogueRow{"AbortNotAnsweredEither",
                    Silent(""),
                    "",
                    false,
                    "5551212",
                    "",
                    "AT\rATDT5551212;\r\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "DISCONNECTED UNKNOWN"}},
        DialogueRow{"DropWhileDialling",
                    Silent("NO CARRIER"),
                    "",
                    false,
                    "5551212",
                    "DIALING",
                    "AT\rATDT5551212;\r\rATH\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "reply 2 0", "IDLE"}},
        DialogueRow{"DropWhileDiallingModemSaysOk",
                    Silent("OK"),
                    "",
                    false,
                    "5551212",
                    "DIALING",
                    "AT\rATDT5551212;\r\rATH\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "reply 2 0", "IDLE"}},
        DialogueRow{"HangupRefused",
                    Refusing({"ATH"}),
                    "",
                    false,
                    "5551212",
                    "PROCEEDING",
                    "AT\rATDT5551212;\rATH\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "PROCEEDING", "reply 2 OPERATIONFAILED",
                     "DISCONNECTED UNKNOWN"}},
        DialogueRow{"HangupNeverAnswered",
                    Refusing({}, {"ATH"}),
                    "",
                    false,
                    "5551212",
                    "PROCEEDING",
                    "AT\rATDT5551212;\rATH\r",
                    {"reply 1 0", "DIALTONE", "DIALING", "PROCEEDING", "reply 2 OPERATIONFAILED",
                     "DISCONNECTED UNKNOWN"}},
        DialogueRow{"BlindDialling",
                    {},
                    "",
                    true,
                    "5551212",
                    "PROCEEDING",
                    "ATX3\rATDT5551212;\rATH\r",
                    kDialledAndDropped},
        DialogueRow{"BlindRefusedFailsTheRequest",
                    Refusing({"ATX3"}),
                    "",
                    true,
                    "5551212",
                    "",
                    "ATX3\r",
                    {"reply 1 OPERATIONFAILED"}},
        DialogueRow{"PreDialCheckUnanswered",
                    Refusing({}, {"ATX3"}),
                    "",
                    true,
                    "5551212",
                    "",
                    "ATX3\r",
                    {"reply 1 OPERATIONFAILED"}}),
    [](const testing::TestParamInfo<DialogueRow>& info) { return info.param.name; });

TEST(ModemDialogue, EchoAndNumericFollowTheInitString) {
    // The simulator starts echoing in verbose mode; the default init turns echo off.
    ModemSimulator sim;
    ModemLine line(SettingsFor(sim), kTestTimeouts);
    Recorder sink;
    ASSERT_EQ(line.Open(sink), 0);
    EXPECT_EQ(sim.Received(), kOpenBytes);
    EXPECT_FALSE(sim.Echo());
    EXPECT_TRUE(sim.Verbose());
}

TEST(ModemDialogue, PrefixAndPulseModeReachTheModem) {
    ModemSimulator sim;
    ModemSettings settings = SettingsFor(sim);
    settings.prefix = "9,";
    settings.dialMode = DialMode::Pulse;
    ModemLine line(settings, kTestTimeouts);
    Recorder sink;
    ASSERT_EQ(line.Open(sink), 0);
    const std::size_t opened = sim.Received().size();
    for (const auto& [id, number] :
         {std::pair<localtapi::CallId, const char*>{100, "555-1212"}, {101, nullptr}}) {
        sink.events.clear();
        ASSERT_EQ(line.MakeCall(1, id, number), 0);
        ASSERT_TRUE(WaitFor(sink, "PROCEEDING")) << testing::PrintToString(sink.events);
        ASSERT_EQ(line.Drop(2, id), 0);
        ASSERT_TRUE(WaitFor(sink, "IDLE")) << testing::PrintToString(sink.events);
    }
    // A call without a number only takes the line: no outside-line prefix either.
    EXPECT_EQ(sim.Received().substr(opened), "AT\rATDP9,5551212;\rATH\rAT\rATDP;\rATH\r");
}

TEST(ModemDialogue, PortVanishesMidDial) {
    ModemSimulator sim(With({Outcome::Vanish}));
    ModemLine line(SettingsFor(sim), kTestTimeouts);
    Recorder sink;
    ASSERT_EQ(line.Open(sink), 0);
    ASSERT_EQ(line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(WaitFor(sink, "removed")) << testing::PrintToString(sink.events);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"reply 1 0", "DIALTONE", "DIALING",
                                                     "DISCONNECTED UNAVAIL", "removed"}));
    EXPECT_EQ(line.MakeCall(3, 101, "5551212"), LINEERR_NODEVICE);
    EXPECT_EQ(line.Drop(4, 100), LINEERR_NODEVICE);
    line.Close();
    EXPECT_EQ(line.Open(sink), LINEERR_NODEVICE);
}

TEST(ModemDialogue, PortVanishesDuringDropCompletesIt) {
    ModemSimulator sim(Refusing({}, {"ATH"}));
    ModemLine line(SettingsFor(sim), kTestTimeouts);
    Recorder sink;
    ASSERT_EQ(line.Open(sink), 0);
    ASSERT_EQ(line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(WaitFor(sink, "PROCEEDING"));
    ASSERT_EQ(line.Drop(2, 100), 0);
    sim.Vanish();
    ASSERT_TRUE(WaitFor(sink, "removed")) << testing::PrintToString(sink.events);
    EXPECT_EQ(sink.events,
              (std::vector<std::string>{"reply 1 0", "DIALTONE", "DIALING", "PROCEEDING",
                                        "DISCONNECTED UNAVAIL", "reply 2 0", "IDLE", "removed"}));
}

TEST(ModemDialogue, RefusedAtOnce) {
    ModemSimulator sim;
    ModemLine line(SettingsFor(sim), kTestTimeouts);
    Recorder sink;
    EXPECT_EQ(line.MakeCall(1, 100, "5551212"), LINEERR_INVALLINESTATE) << "before Open";
    ASSERT_EQ(line.Open(sink), 0);
    EXPECT_EQ(line.MakeCall(1, 100, "+1 555 1212"), LINEERR_INVALADDRESS);
    EXPECT_EQ(line.Drop(2, 100), LINEERR_INVALCALLHANDLE) << "no call";
    ASSERT_EQ(line.MakeCall(1, 100, "5551212"), 0);
    EXPECT_EQ(line.MakeCall(3, 101, "5551212"), LINEERR_CALLUNAVAIL) << "one call at a time";
    EXPECT_EQ(line.Drop(4, 100), LINEERR_INVALCALLSTATE) << "request not completed yet";
    ASSERT_TRUE(WaitFor(sink, "PROCEEDING"));
    EXPECT_EQ(line.Drop(5, 999), LINEERR_INVALCALLHANDLE);
    ASSERT_EQ(line.Drop(6, 100), 0);
    EXPECT_EQ(line.Drop(7, 100), LINEERR_INVALCALLSTATE) << "drop already pending";
    ASSERT_TRUE(WaitFor(sink, "IDLE"));
    EXPECT_EQ(sink.events, (std::vector<std::string>{"reply 1 0", "DIALTONE", "DIALING", "PROCEEDING",
                                                     "reply 6 0", "IDLE"}));
}

TEST(ModemDialogue, ReleasedCallIsHungUpSilently) {
    ModemSimulator sim(Silent("NO CARRIER"));
    ModemLine line(SettingsFor(sim), kTestTimeouts);
    Recorder sink;
    ASSERT_EQ(line.Open(sink), 0);
    const std::size_t opened = sim.Received().size();
    ASSERT_EQ(line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(WaitFor(sink, "DIALING"));
    line.ReleaseCall(100);
    ASSERT_TRUE(WaitUntil([&] { return line.MakeCall(2, 101, "5551212") == 0; }))
        << "the modem is free again";
    EXPECT_EQ(sink.events, (std::vector<std::string>{"reply 1 0", "DIALTONE", "DIALING"}));
    const std::string released = "AT\rATDT5551212;\r\rATH\r";
    EXPECT_EQ(sim.Received().substr(opened, released.size()), released);
}

TEST(ModemDialogue, CloseDuringDialAbortsAndReportsNothing) {
    ModemSimulator sim(Silent("NO CARRIER"));
    ModemLine line(SettingsFor(sim), kTestTimeouts);
    Recorder sink;
    ASSERT_EQ(line.Open(sink), 0);
    ASSERT_EQ(line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(WaitFor(sink, "DIALING"));
    line.Close();
    Settle(kLongestTestTimeoutMs + 200); // no timeout of the dead call may fire
    EXPECT_EQ(sink.events, (std::vector<std::string>{"reply 1 0", "DIALTONE", "DIALING"}));
    EXPECT_TRUE(sim.Received().ends_with("ATDT5551212;\r\r")) << "the dial is aborted: " << sim.Received();
    // The port is free for the next opening.
    ASSERT_EQ(line.Open(sink), 0);
}

struct OpenRow {
    const char* name;
    ModemSimulator::Script script;
    std::string path; // empty: the simulator's
    LONG expected;
};

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

void PrintTo(const OpenRow& row, std::ostream* os) {
    *os << row.name;
}

class OpenFailure : public testing::TestWithParam<OpenRow> {};

TEST_P(OpenFailure, GivesALineErrorAndReleasesThePort) {
    const OpenRow& row = GetParam();
    ModemSimulator sim(row.script);
    ModemSettings settings = SettingsFor(sim);
    if (!row.path.empty())
        settings.port = row.path;
    ModemLine line(settings, kTestTimeouts);
    Recorder sink;
    const std::size_t fds = OpenDescriptors();
    EXPECT_EQ(line.Open(sink), row.expected);
    EXPECT_TRUE(sink.events.empty());
    EXPECT_EQ(OpenDescriptors(), fds) << "no descriptor is left open";
    // Released: another opening of the same port is not refused as busy.
    if (row.path.empty()) {
        const int fd = ::open(sim.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modem, OpenFailure,
    testing::Values(OpenRow{"MissingDevice", {}, "/dev/orvodial-no-such-modem", LINEERR_NODEVICE},
                    OpenRow{"NotATerminal", {}, "/dev/null", LINEERR_NODEVICE},
                    OpenRow{"Directory", {}, "/dev", LINEERR_NODEVICE},
                    OpenRow{"ModemSaysNothing",
                            [] {
                                ModemSimulator::Script s;
                                s.mute = true;
                                return s;
                            }(),
                            "", LINEERR_NODEVICE},
                    OpenRow{"AtRefused", Refusing({"AT"}), "", LINEERR_RESOURCEUNAVAIL},
                    OpenRow{"InitRefused", Refusing({"AT&FE0V1&D2&C1X4"}), "", LINEERR_OPERATIONFAILED},
                    OpenRow{"InitNeverAnswered", Refusing({}, {"AT&FE0V1&D2&C1X4"}), "", LINEERR_NODEVICE}),
    [](const testing::TestParamInfo<OpenRow>& info) { return info.param.name; });

TEST(ModemOpen, BusyPortIsResourceUnavailable) {
    ModemSimulator sim;
    ModemLine first(SettingsFor(sim), kTestTimeouts);
    ModemLine second(SettingsFor(sim), kTestTimeouts);
    Recorder a, b;
    ASSERT_EQ(first.Open(a), 0);
    EXPECT_EQ(second.Open(b), LINEERR_RESOURCEUNAVAIL);
    first.Close();
    EXPECT_EQ(second.Open(b), 0);
}

TEST(ModemOpen, PortVanishesWhileOpening) {
    ModemSimulator::Script script;
    script.mute = true;
    ModemSimulator sim(script);
    ModemLine line(SettingsFor(sim),
                   ModemTimeouts{milliseconds(2000), milliseconds(300), milliseconds(0), milliseconds(150)});
    Recorder sink;
    QTimer::singleShot(50, [&] { sim.Vanish(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(line.Open(sink), LINEERR_NODEVICE);
    EXPECT_LT(clock.elapsed(), 1500) << "the loss ends the wait, not the timeout";
    EXPECT_TRUE(sink.events.empty());
}

} // namespace
