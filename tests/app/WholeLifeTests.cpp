// The real dialer's whole life, one table: started with the telephony trace on, used as a
// person would (xdotool, under openbox), and ended as a person ends it: the window
// manager's close (Alt+F4), OK in a box, Enter in a dialog; never a signal. Each run must
// end by itself with its exit status and print no sanitizer report; in the sanitizer build
// (make test's asan stage) that covers its exit path: windows, line object, service,
// drivers and trace torn down, leaks included.
//
// The line runs are one per driver, each against the peer the driver's own tests use:
// one call that succeeds (answered Yes, timed, Done) and one the line refuses or that
// fails (answered No). The other runs: the two dialog options (open, OK, end), a link
// handed to a running dialer, and the start without a line device (error 380).
//
// Run by CTest as orvodial_whole_life: xvfb-run with openbox, inside a network namespace
// of its own (the SIP peers); skipped without ORVODIAL_BINARY, a display or the namespace.
#include "tests/localtapi/drivers/sip/SipPeers.h"
#include "tests/support/DialerProcess.h"
#include "tests/support/ModemSimulator.h"
#include "tests/support/OfonoRig.h"

#include <gtest/gtest.h>


#include <functional>
#include <memory>

namespace {

enum class Run { Calls, LineSettings, DialingProperties, Link, NoLine };

// A line and the peer behind it, for one run.
struct Line {
    std::string configuration;           // empty: no file (the simulated line)
    std::function<void()> beforeFailing; // what makes the second call fail, if anything
    std::shared_ptr<void> peers;         // kept alive for the run
};

struct Row {
    const char* name;
    Run run;
    std::function<Line(std::string& why)> line;
};
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

// No configuration file: the simulated line the program starts on by itself.
Line Simulated(std::string&) {
    return {"", nullptr, nullptr};
}

// The practice line, set up (the dialer asks nothing at its start).
Line Practice(std::string&) {
    return {"[line0]\ndriver=simulated\nname=Practice line\n", nullptr, nullptr};
}

// A simulated line configured with a busy number.
Line SimulatedBusy(std::string&) {
    return {"[line0]\ndriver=simulated\nname=Practice\nbusy=555-0000\n", nullptr, nullptr};
}

Line Modem(std::string&) {
    auto sim = std::make_shared<ModemSimulator>(SimScript{.refuse = {"ATDT5550000;"}});
    return {"[line0]\ndriver=modem\nname=Modem\nport=" + sim->Path() + "\n", nullptr, sim};
}

Line Sip(std::string& why) {
    auto peers = std::make_shared<siptest::SipPeers>();
    if (!peers->Start(why))
        return {};
    // 5550000 is nobody: the transfer to it fails.
    return {"[line0]\ndriver=sip\nname=Desk phone\nphone=" + peers->PhoneUri() + "\npassword=secret\nautoanswer=yes\n",
            nullptr, peers};
}

Line Ofono(std::string& why) {
    struct Rig {
        HandsFreeGateway gateway;
        ofonotest::OfonoDaemon daemon{gateway};
    };
    auto rig = std::make_shared<Rig>();
    if (!rig->daemon.Start(why))
        return {};
    return {"[line0]\ndriver=ofono\nname=My phone\n", [rig] { rig->gateway.refuseDial = true; }, rig};
}

Line NoLineGroup(std::string&) {
    return {"# no line devices\n[location]\n", nullptr, nullptr};
}

std::string Key(const std::string& window, const char* key) {
    return xdo::Run({"windowactivate", "--sync", QString::fromStdString(window), "key", "--clearmodifiers", key});
}

// Types the number, dials, and answers "Time call?": Yes times the call until Done.
void Call(xdo::DialerProcess& dialer, const std::string& dial, const char* number, bool time) {
    dialer.TypeAndDial(dial, QString::fromLatin1(number));
    const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
    ASSERT_FALSE(box.empty()) << "no box after dialling " << number;
    if (!time) {
        dialer.AnswerNo(box);
        // A call that failed before the answer ends in "TAPI failure", right after the close.
        EXPECT_TRUE(WaitUntil([&] { return dialer.Trace().find("\nlineClose ") != std::string::npos; }, 20000));
        const std::string failure = xdo::Window("^OrvoDial$", 2000, [] { return false; });
        if (!failure.empty())
            Key(failure, "Return");
        return;
    }
    Key(box, "Return"); // Yes has the focus
    const std::string timing = xdo::Window("^Call Timing$", 20000, [] { return false; });
    ASSERT_FALSE(timing.empty()) << "no timing window";
    Key(timing, "Return"); // Done
    EXPECT_TRUE(WaitUntil([] { return xdo::Run({"search", "--onlyvisible", "--name", "^Call Timing$"}).empty(); },
                          10000));
}

class WholeLife : public ::testing::TestWithParam<Row> {};

TEST_P(WholeLife, EndsCleanly) {
    const Row& row = GetParam();
    if (xdo::DialerProcess::Binary().isEmpty() || qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1")
        GTEST_SKIP() << "needs ORVODIAL_BINARY, an X display and a namespace (ctest's orvodial_whole_life)";
    std::string why;
    const Line line = row.line(why);
    ASSERT_TRUE(why.empty()) << why;
    xdo::DialerProcess dialer(line.configuration, {.checkLeaks = true, .keepErrors = true});
    int expected = 0;
    std::string otherErrors;

    switch (row.run) {
    case Run::Calls: {
        const std::string dial = dialer.Start();
        ASSERT_FALSE(dial.empty()) << "no dial window";
        Call(dialer, dial, "555-1212", true);
        if (line.beforeFailing)
            line.beforeFailing();
        Call(dialer, dial, "555-0000", false);
        Key(dial, "alt+F4");
        break;
    }
    case Run::LineSettings:
    case Run::DialingProperties: {
        const bool settings = row.run == Run::LineSettings;
        dialer.StartWith({settings ? "--line-settings" : "--dialing-properties"});
        const std::string dialog =
            xdo::Window(settings ? "^Line 0 settings$" : "^Dialing properties$", 20000, [] { return false; });
        ASSERT_FALSE(dialog.empty()) << "no dialog";
        Key(dialog, "Return"); // OK: saved
        break;
    }
    case Run::Link: {
        const std::string dial = dialer.Start();
        ASSERT_FALSE(dial.empty()) << "no dial window";
        QProcess second;
        dialer.StartProcess(second, {"tel:555-0100"});
        EXPECT_TRUE(WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 20000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0) << "the link was not handed over";
        otherErrors = second.readAllStandardError().toStdString();
        testproc::Stop(second);
        Key(dial, "Return"); // the handed number is dialled
        const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
        ASSERT_FALSE(box.empty()) << "no \"Time call?\"";
        dialer.AnswerNo(box);
        EXPECT_NE(dialer.Trace().find("\"555-0100\""), std::string::npos) << dialer.Trace();
        Key(dial, "alt+F4");
        break;
    }
    case Run::NoLine: {
        dialer.StartWith({});
        const std::string box = xdo::Window("^OrvoDial$", 20000, [] { return false; });
        ASSERT_FALSE(box.empty()) << "no error box";
        Key(box, "Return");
        expected = 1;
        break;
    }
    }
    std::string errors;
    const int status = dialer.Finish(errors);
    EXPECT_EQ(status, expected) << errors;
    for (const std::string* text : {&errors, &otherErrors})
        for (const char* report : {"Sanitizer", "runtime error:", "double free", "corrupted"})
            EXPECT_EQ(text->find(report), std::string::npos) << *text;
}

INSTANTIATE_TEST_SUITE_P(Dialer, WholeLife,
                         ::testing::Values(Row{"SimulatedLine", Run::Calls, SimulatedBusy},
                                           Row{"ModemLine", Run::Calls, Modem}, Row{"SipLine", Run::Calls, Sip},
                                           Row{"OfonoLine", Run::Calls, Ofono},
                                           Row{"LineSettings", Run::LineSettings, Simulated},
                                           Row{"DialingProperties", Run::DialingProperties, Simulated},
                                           Row{"LinkToARunningDialer", Run::Link, Practice},
                                           Row{"NoLineDevice", Run::NoLine, NoLineGroup}),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
