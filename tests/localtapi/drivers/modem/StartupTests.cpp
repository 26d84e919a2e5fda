// Opening a modem line from whatever state the modem was left in: the reset, the init
// string word by word, the pacing of commands, and the ports' lock files.
#include "tests/support/ModemRig.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace modemtest;

const std::string kDefaultOpen = "AT\rAT&F\rATQ0V1E0\rAT&D2\rAT&C1\rATX4\r";

TEST(ModemStartup, TheResetAndTheInitString) {
    const struct {
        const char* name;
        Script script;
        std::string init; // empty: the default
        std::string bytes;
        std::string remark = {}; // a remark that must be there
    } rows[] = {
        {"Default", {}, "", kDefaultOpen},
        {"NumericResultsLeftOn", {.verbose = false}, "", kDefaultOpen},
        // Left in quiet mode by another program: no answer to AT, so ATZ and AT&F first.
        {"QuietMode", {.quiet = true}, "", "AT\rAT\rATZ\rAT&F\rATQ0V1E0\rAT&D2\rAT&C1\rATX4\r",
         "no answer to AT"},
        // A cheap modem rejects one word of the default string: skipped, reported.
        {"RejectedWord", {.refuse = {"AT&C1"}}, "", kDefaultOpen, "refused AT&C1; going on without it"},
        {"OwnInitAsGiven", {}, "ATE1V1X3&D2", "AT\rATQ0V1E0\rATE1V1X3&D2\r"},
        // A modem that loses a command line begun within 0.1 s of a result.
        {"SlowModemLosesHastyCommands", {.loseWithinMs = 90}, "", kDefaultOpen},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig(row.script, {.init = row.init});
        ASSERT_EQ(rig.line.Open(rig.sink), 0) << rig.remarks;
        EXPECT_EQ(rig.sim.Received(), row.bytes);
        EXPECT_GE(rig.sim.MinCommandGapMs(), kCommandPacing.count());
        if (!row.remark.empty()) {
            EXPECT_NE(rig.remarks.find(row.remark), std::string::npos) << rig.remarks;
        }
        ASSERT_EQ(rig.line.MakeCall(1, 100, "5551212"), 0);
        EXPECT_TRUE(rig.WaitFor("PROCEEDING")) << rig.sink.log;
    }
}

// With the driver's own timeouts: a port where nothing answers like a modem fails within
// 4 s (the user is looking at a dial window meanwhile); a modem that answers late in the
// reset still opens.
TEST(ModemStartup, NothingThatAnswersIsToldWithinFourSeconds) {
    const struct {
        const char* name;
        Script script;
        LONG expected;
    } rows[] = {
        {"SilentDevice", {.mute = true}, LINEERR_NODEVICE},
        {"GarbageTalker", {.babble = "\r\n#\x7f?!~\r\n"}, LINEERR_NODEVICE},
        {"FloodingDevice", {.mute = true, .floodMs = 5}, LINEERR_NODEVICE},
        {"QuietModeModem", {.quiet = true}, 0},
        {"PlainModem", {}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig(row.script, {}, ModemTimeouts{});
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(rig.line.Open(rig.sink), row.expected) << rig.remarks;
        EXPECT_LT(clock.elapsed(), 4000);
        if (row.expected != 0) {
            EXPECT_NE(rig.remarks.find("! no modem answers on " + rig.sim.Path() + ": nothing answered"),
                      std::string::npos)
                << rig.remarks;
        }
    }
}

std::string LockFile(const ModemSimulator& sim) {
    const std::string path = sim.Path();
    return std::string(std::getenv("ORVODIAL_LOCK_DIR")) + "/LCK.." + path.substr(path.rfind('/') + 1);
}

void WriteLock(const std::string& file, pid_t pid) {
    std::ofstream(file) << std::string(10 - std::to_string(pid).size(), ' ') << pid << "\n";
}

TEST(ModemStartup, LockFilesOfOtherProgramsAreHonoured) {
    Rig rig;
    const std::string lock = LockFile(rig.sim);

    // Held by a live process (here: process 1): busy, and the user is told by whom.
    WriteLock(lock, 1);
    EXPECT_EQ(rig.line.Open(rig.sink), LINEERR_RESOURCEUNAVAIL);
    EXPECT_NE(rig.remarks.find("! " + rig.sim.Path() + " is in use by process 1"), std::string::npos)
        << rig.remarks;
    EXPECT_TRUE(std::filesystem::exists(lock)) << "another's lock is left alone";

    // Left by a process that has ended: stale, removed, and the port is ours.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    WriteLock(lock, child);
    ASSERT_EQ(rig.line.Open(rig.sink), 0) << rig.remarks;
    std::ifstream in(lock);
    pid_t holder = 0;
    in >> holder;
    EXPECT_EQ(holder, ::getpid()) << "our own lock, in the same format";
    rig.line.Close();
    EXPECT_FALSE(std::filesystem::exists(lock)) << "released with the port";
}

} // namespace
