// Closing a modem line with a call up, in every state of the call: the hang-up finishes
// before the port is let go (the simulated modem ends on hook, in command mode), nothing
// is reported, and an open meanwhile waits for it.
#include "tests/support/ModemRig.h"

#include <gtest/gtest.h>

namespace {

using namespace modemtest;

struct Case {
    const char* name;
    Script script;
    std::string closeAt; // the line is closed once the driver reported this
    std::string ends;    // how the bytes the modem heard end
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class CloseWithACall : public testing::TestWithParam<Case> {};

TEST_P(CloseWithACall, HangsUpBeforeThePortIsReleased) {
    const Case& c = GetParam();
    Rig rig(c.script);
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    ASSERT_EQ(rig.line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(rig.WaitFor(c.closeAt)) << rig.sink.log;
    ASSERT_TRUE(WaitUntil([&] { return rig.sim.Received().ends_with("ATDT5551212;\r"); })) << "dialling";
    const std::string reported = rig.sink.log;
    rig.line.ReleaseCall(100); // as the service does before it closes the line
    rig.line.Close();
    EXPECT_TRUE(rig.line.Busy()) << "the hang-up is still under way";
    ASSERT_TRUE(WaitUntil([&] { return !rig.line.Busy(); }, 8000)) << rig.remarks;
    EXPECT_FALSE(rig.sim.OffHook()) << rig.sim.Received();
    EXPECT_FALSE(rig.sim.DataMode());
    EXPECT_TRUE(rig.sim.Received().ends_with(c.ends)) << rig.sim.Received();
    EXPECT_EQ(rig.sink.log, reported) << "nothing is reported after Close";
    EXPECT_NE(rig.remarks.find("port released"), std::string::npos) << rig.remarks;
    EXPECT_GE(rig.sim.MinCommandGapMs(), kCommandPacing.count()) << "paced";
}

INSTANTIATE_TEST_SUITE_P(
    Modem, CloseWithACall,
    testing::Values(
        Case{"WhileDialling", {.dials = {""}}, "DIALING", "ATDT5551212;\r\rATH\r"},
        Case{"Proceeding", {}, "PROCEEDING", "ATDT5551212;\rATH\r"},
        Case{"OnLineAfterConnect", {.dials = {"CONNECT"}}, "CONNECTED", "ATDT5551212;\r+++ATH\r"},
        // A modem that takes no character as an abort: its dial ends on its own, then ATH.
        Case{"NoCharacterAbort", {.charAbort = false, .dialMs = 250}, "DIALING", "ATDT5551212;\r\rATH\r"},
        // ATH never answered: DTR down and ATZ as the last resort.
        Case{"HangupUnanswered", {.ignore = {"ATH"}}, "PROCEEDING", "ATDT5551212;\rATH\rATZ\r"}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// An open right after the close waits for the hang-up and then finds the modem free.
TEST(ModemClose, OpenWaitsForTheHangup) {
    Rig rig({.dials = {""}});
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    ASSERT_EQ(rig.line.MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(rig.WaitFor("DIALING"));
    ASSERT_TRUE(WaitUntil([&] { return rig.sim.Received().ends_with("ATDT5551212;\r"); }));
    rig.line.ReleaseCall(100);
    rig.line.Close();
    const std::size_t closedAt = rig.sim.Received().size();
    ASSERT_EQ(rig.line.Open(rig.sink), 0);
    const std::string after = rig.sim.Received().substr(closedAt);
    EXPECT_TRUE(after.starts_with("\rATH\rAT\r")) << "hung up first, then opened: " << after;
    EXPECT_FALSE(rig.sim.OffHook());
    ASSERT_EQ(rig.line.MakeCall(2, 101, "5551212"), 0);
    ASSERT_TRUE(rig.WaitFor("DIALING"));
}

// Destroyed during the hang-up (the service had no time left): the best that can be done
// at once, and nothing of it runs later.
TEST(ModemClose, DestroyedDuringTheHangupLetsGoAtOnce) {
    ModemSimulator sim({.ignore = {"ATH"}});
    Recorder sink;
    auto line = std::make_unique<ModemLine>(Settings(sim, {}), kTimeouts);
    ASSERT_EQ(line->Open(sink), 0);
    ASSERT_EQ(line->MakeCall(1, 100, "5551212"), 0);
    ASSERT_TRUE(WaitUntil([&] { return sink.log.find("PROCEEDING") != std::string::npos; }));
    line->ReleaseCall(100);
    line->Close();
    ASSERT_TRUE(WaitUntil([&] { return sim.Received().ends_with("ATH\r"); }));
    EXPECT_TRUE(line->Busy()) << "waiting for the answer to ATH";
    line.reset();
    WaitUntil([] { return false; }, 700); // past every timeout of the hang-up
    EXPECT_TRUE(sim.Received().ends_with(";\rATH\rATH\r")) << sim.Received();
}

} // namespace
