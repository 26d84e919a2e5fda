// The trace layer over a scripted telephony API: the application keeps its own callback
// instance, each operation is written with its outputs and result, each message as it
// reaches the application, and a callback may release the layer it is called through.
#include "telephony/trace/TracingTapi.h"
#include "tests/support/FakeTapi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using telephony::trace::TraceFile;
using telephony::trace::TracingTapi;

namespace {

std::vector<DWORD_PTR> g_instances;
std::function<void()> g_during;
void CALLBACK Record(DWORD, DWORD, DWORD_PTR instance, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    g_instances.push_back(instance);
    if (g_during)
        g_during();
}

struct Rig {
    std::string path = testing::TempDir() + "tracing_tapi_" +
                       testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    std::shared_ptr<testsupport::FakeTapi> fake = std::make_shared<testsupport::FakeTapi>();
    std::shared_ptr<TracingTapi> traced;
    HLINEAPP app = 0;
    HLINE line = 0;

    Rig() {
        std::remove(path.c_str());
        traced = std::make_shared<TracingTapi>(fake, TraceFile::Open(path));
        g_instances.clear();
        g_during = nullptr;
        fake->devices.resize(1);
        DWORD devs = 0, version = 0x00030000;
        LINEINITIALIZEEXPARAMS params{sizeof params, 0, 0, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW, {}, 0};
        EXPECT_EQ(traced->lineInitializeExA(&app, nullptr, &Record, "app", &devs, &version, &params), 0);
        EXPECT_EQ(traced->lineOpen(app, 0, &line, 0x00030000, 0, 0x1234, 1, 4, nullptr), 0);
    }
    ~Rig() { g_during = nullptr; }
    std::vector<std::string> Lines() const {
        std::ifstream in(path);
        std::vector<std::string> out;
        for (std::string l; std::getline(in, l);)
            out.push_back(l.substr(0, l.find('\r')));
        return out;
    }
};

} // namespace

TEST(TracingTapi, TheApplicationKeepsItsInstanceAndMessagesAreTraced) {
    Rig rig;
    ASSERT_EQ(rig.fake->openCalls.size(), 1u);
    EXPECT_NE(rig.fake->openCalls[0].instance, 0x1234u) << "the layer's own route goes below";
    rig.fake->deliver(LINE_REPLY, 7, static_cast<DWORD>(LINEERR_CALLUNAVAIL));
    rig.fake->deliver(LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0x0C00);
    rig.fake->deliver(LINE_CREATE, 1, 0, 0, DWORD_PTR{0}); // belongs to no line
    rig.fake->deliver(LINE_REPLY, 8, 0, 0, DWORD_PTR{0x999}); // an instance the layer never gave
    EXPECT_EQ(g_instances, (std::vector<DWORD_PTR>{0x1234, 0x1234, 0, 0x999}));
    const std::vector<std::string> lines = rig.Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], "LINE_REPLY 0 0x1234 7 2147483653 0 (LINEERR_CALLUNAVAIL)");
    EXPECT_EQ(lines[3], "LINE_CALLSTATE 3072 0x1234 256 0 0 (CONNECTED)");
    EXPECT_EQ(lines[4], "LINE_CREATE 0 NULL 1 0 0");
}

TEST(TracingTapi, OperationsWithTheirOutputsAndResults) {
    Rig rig;
    rig.fake->devices[0].apiVersion = 0x00020001;
    rig.fake->makeCallResult = LINEERR_INVALADDRESS;
    DWORD version = 0;
    LINEEXTENSIONID ext{1, 2, 3, 4};
    rig.traced->lineNegotiateAPIVersion(rig.app, 0, 0x00010003, 0x00030000, &version, &ext);
    HCALL call = 0;
    rig.traced->lineMakeCallA(rig.line, &call, "5\"5", 0, nullptr);
    rig.traced->lineDrop(0x0C00, nullptr, 0);
    rig.traced->lineShutdown(rig.app);
    const std::vector<std::string> lines = rig.Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind("lineInitializeExA &2560 NULL 0x", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "lineOpen 2560 0 &2816 0x00030000 0x00000000 0x1234 1 4 NULL -> 0");
    EXPECT_EQ(lines[2], "lineNegotiateAPIVersion 2560 0 0x00010003 0x00030000 &0x00020001 &{0,0,0,0} -> 0");
    EXPECT_EQ(lines[3], "lineMakeCallA 2816 & \"5\\\"5\" 0 NULL -> -2147483632 (LINEERR_INVALADDRESS)");
    EXPECT_EQ(lines[4], "lineDrop 3072 NULL 0 -> 2");
    EXPECT_EQ(lines[5], "lineShutdown 2560 -> 0");
}

// The application lets go of its last reference to the telephony API inside a callback.
TEST(TracingTapi, ACallbackMayReleaseTheLayer) {
    Rig rig;
    std::weak_ptr<TracingTapi> alive = rig.traced;
    g_during = [&] { rig.traced.reset(); };
    rig.fake->deliver(LINE_REPLY, 1, 0);
    EXPECT_TRUE(alive.expired());
    EXPECT_EQ(g_instances, (std::vector<DWORD_PTR>{0x1234}));
}
