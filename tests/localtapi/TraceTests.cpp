// The trace as a layer over the seam: the application sees its own callback instance, the
// trace shows operations with their outputs and messages where they are delivered.
#include "tests/support/ServiceTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace svctest;

namespace {

std::vector<DWORD_PTR> g_instances; // the callback instance of every delivered message
std::vector<DWORD> g_messages;
void CALLBACK RecordTraced(DWORD, DWORD message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    g_instances.push_back(instance);
    g_messages.push_back(message);
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

} // namespace

TEST(Trace, OperationsAndMessagesThroughTheLayer) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("trace.txt").toStdString();
    auto service = MakeService();
    auto traced = Traced(service, path);
    g_instances.clear();
    g_messages.clear();

    const testsupport::LineApp started = testsupport::StartLineApp(*traced, &RecordTraced);
    ASSERT_EQ(started.result, 0);
    const HLINEAPP app = started.app;
    HLINE line = 0;
    ASSERT_EQ(traced->lineOpen(app, 0, &line, 0x00030000, 0, 0x1234, 1, 4, nullptr), 0);
    HCALL call = 0;
    ASSERT_GT(traced->lineMakeCallA(line, &call, "555", 0, nullptr), 0);
    ASSERT_TRUE(WaitUntil([] { return g_messages.size() >= 2; }));
    EXPECT_NE(call, 0u) << "the reply stored the call handle";
    EXPECT_EQ(traced->lineMakeCallA(0, &call, "5", 0, nullptr), LINEERR_INVALLINEHANDLE);
    ASSERT_EQ(traced->lineShutdown(app), 0);
    for (DWORD_PTR i : g_instances)
        EXPECT_EQ(i, 0x1234u) << "the application sees its own instance";

    const std::vector<std::string> lines = Lines(path);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind("lineInitializeExA &" + std::to_string(app) + " NULL 0x", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("\"test\" &1 &0x00030000->0x00030000 {size=" + std::to_string(sizeof(LINEINITIALIZEEXPARAMS)) +
                            ",options=1} -> 0"),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[1], "lineOpen " + std::to_string(app) + " 0 &" + std::to_string(line) +
                            " 0x00030000 0x00000000 0x1234 1 4 NULL -> 0");
    EXPECT_EQ(lines[2].rfind("lineMakeCallA " + std::to_string(line) + " & \"555\" 0 NULL -> ", 0), 0u);
    EXPECT_EQ(lines[3].rfind("LINE_REPLY 0 0x1234 ", 0), 0u) << "messages where they are delivered";
    bool refusedNamed = false;
    for (const std::string& l : lines)
        refusedNamed = refusedNamed || l == "lineMakeCallA 0 & \"5\" 0 NULL -> -2147483605 (LINEERR_INVALLINEHANDLE)";
    EXPECT_TRUE(refusedNamed);
    EXPECT_EQ(lines.back(), "lineShutdown " + std::to_string(app) + " -> 0");
}

TEST(Trace, OnlyWhenTheEnvironmentAsksForIt) {
    auto service = MakeService();
    unsetenv("ORVODIAL_TAPI_TRACE");
    EXPECT_EQ(telephony::trace::TracedFromEnvironment(service), service);
    QTemporaryDir dir;
    setenv("ORVODIAL_TAPI_TRACE", dir.filePath("t.txt").toUtf8().constData(), 1);
    const auto traced = telephony::trace::TracedFromEnvironment(service);
    unsetenv("ORVODIAL_TAPI_TRACE");
    EXPECT_NE(traced, service);
    EXPECT_NE(dynamic_cast<telephony::trace::TracingTapi*>(traced.get()), nullptr);
}
