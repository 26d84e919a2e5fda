// The modem driver against a modem nobody here wrote: Debian's iaxmodem, whose AT parser is
// spandsp's. It runs in its own network namespace (its IAX2 traffic cannot leave) and its
// own mount namespace (its configuration and log folders are the test's), is stopped by
// its process ID, and every wait is bounded. Needs root for the namespaces; skipped
// without iaxmodem or root.
#include "tests/support/ModemRig.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace modemtest;

class IaxModem {
  public:
    explicit IaxModem(const QString& dir) : root(dir) {
        std::filesystem::create_directories((dir + "/etc").toStdString());
        std::filesystem::create_directories((dir + "/log").toStdString());
        device = (dir + "/ttyIAX").toStdString();
        std::ofstream((dir + "/etc/orvodial").toStdString())
            << "device " << device << "\nowner root:root\nmode 660\nport 4570\nrefresh 0\n"
            << "server 127.0.0.1\npeername iaxmodem\nsecret password\ncidname OrvoDial test\n"
            << "cidnumber 5550000\ncodec slinear\n";
        process.start("unshare", {"-n", "-m", "--propagation", "private", "sh", "-c",
                                  "mount --bind \"$1/etc\" /etc/iaxmodem && mount --bind \"$1/log\" /var/log/iaxmodem"
                                  " && { ip link set lo up || true; } && exec iaxmodem orvodial",
                                  "-", dir});
    }
    ~IaxModem() {
        process.kill(); // iaxmodem itself: sh exec'd it
        process.waitForFinished(5000);
    }
    bool Ready() {
        return WaitUntil([&] { return std::filesystem::exists(device) || process.state() == QProcess::NotRunning; },
                         10000) &&
               process.state() == QProcess::Running;
    }
    std::string device;

  private:
    QString root;
    QProcess process;
};

TEST(IaxModem, OpensDialsAndHangsUpOnAThirdPartyAtParser) {
    if (::geteuid() != 0 || !std::filesystem::exists("/usr/bin/iaxmodem") ||
        !std::filesystem::is_directory("/etc/iaxmodem"))
        GTEST_SKIP() << "needs root and Debian's iaxmodem";
    if (QProcess::execute("unshare", {"-n", "-m", "true"}) != 0)
        GTEST_SKIP() << "network and mount namespaces are not allowed here";
    QTemporaryDir dir;
    IaxModem modem(dir.path());
    ASSERT_TRUE(modem.Ready()) << "iaxmodem did not start";

    ModemSimulator unused; // the rig's own simulator stays idle
    Recorder sink;
    std::string remarks;
    ModemLine line(Settings(unused, {.port = modem.device.c_str()}), kTimeouts);
    line.SetRemarks([&](const std::string& text, bool) { remarks += text + "\n"; });
    ASSERT_EQ(line.Open(sink), 0) << remarks;
    EXPECT_NE(remarks.find("-> ATX4\n<- OK\n"), std::string::npos) << "every word taken: " << remarks;

    // Its dial never ends without an IAX peer, and it takes no character as an abort: the
    // drop waits out the abort, then ATH.
    ASSERT_EQ(line.MakeCall(1, 100, "555-1212"), 0);
    ASSERT_TRUE(WaitUntil([&] { return sink.log.find("DIALING") != std::string::npos; }));
    ASSERT_TRUE(WaitUntil([&] { return remarks.find("-> ATDT5551212;") != std::string::npos; }));
    ASSERT_EQ(line.Drop(2, 100), 0);
    ASSERT_TRUE(WaitUntil([&] { return sink.log.find("IDLE") != std::string::npos; }, 8000)) << remarks;
    EXPECT_EQ(sink.log, "reply 1 0, DIALTONE, DIALING, reply 2 0, IDLE") << remarks;

    // Closed during a second dial: hung up before the port is let go, and opened again.
    ASSERT_EQ(line.MakeCall(3, 101, "555-1212"), 0);
    ASSERT_TRUE(WaitUntil([&] { return remarks.rfind("-> ATDT5551212;") > remarks.find("-> ATDT5551212;"); }));
    line.ReleaseCall(101);
    line.Close();
    ASSERT_TRUE(WaitUntil([&] { return !line.Busy(); }, 8000)) << remarks;
    EXPECT_NE(remarks.rfind("-> ATH\n<- OK\nport released"), std::string::npos) << remarks;
    EXPECT_EQ(line.Open(sink), 0) << remarks;
    line.Close();
}

} // namespace
