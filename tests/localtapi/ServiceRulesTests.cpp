// The service against the published TAPI rules it follows: the versions negotiation
// answers and the operations take, a device open several times at once, and letting go
// of a call that is not idle.
#include "tests/support/ServiceFixture.h"

#include <cstring>
#include <set>

using namespace localtapi;
using namespace svctest;

TEST_F(Service, NegotiateAgainstTheDeviceRange) {
    const struct {
        const char* name;
        DWORD deviceHigh, low, high, version; // version 0: none in common
    } rows[] = {{"full_range", 0x00030000, 0x00010003, 0x00030000, 0x00030000},
                {"device_lower", 0x00020001, 0x00010003, 0x00030000, 0x00020001},
                {"app_lower", 0x00030000, 0x00010003, 0x00020000, 0x00020000},
                {"only_1_3", 0x00010003, 0x00010003, 0x00030000, 0x00010003},
                {"no_overlap", 0x00010004, 0x00020000, 0x00030000, 0},
                {"inverted", 0x00030000, 0x00030000, 0x00020000, 0},
                {"above_service", 0x00040000, 0x00030001, 0x00040000, 0},
                // Only published versions are answered: the highest one inside both ranges.
                {"app_high_unpublished", 0x00030000, 0x00010003, 0x00020005, 0x00020002},
                {"device_high_unpublished", 0x00020005, 0x00010003, 0x00030000, 0x00020002},
                {"no_published_inside", 0x00030000, 0x00010005, 0x0001FFFF, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto s = MakeService("[line0]\ndriver=simulated\napi_low=0x00010003\napi_high=" +
                             std::to_string(row.deviceHigh) + "\n");
        const LONG result = row.version != 0 ? 0 : LINEERR_INCOMPATIBLEAPIVERSION;
        const HLINEAPP app = Initialize(*s);
        DWORD version = 0xDEAD;
        LINEEXTENSIONID ext{1, 2, 3, 4};
        EXPECT_EQ(s->lineNegotiateAPIVersion(app, 0, row.low, row.high, &version, &ext), result);
        if (result == 0) {
            EXPECT_EQ(version, row.version);
            EXPECT_EQ(ext.dwExtensionID0 | ext.dwExtensionID1 | ext.dwExtensionID2 | ext.dwExtensionID3, 0u);
        }
        EXPECT_EQ(s->lineNegotiateAPIVersion(app, 1, row.low, row.high, &version, &ext), LINEERR_BADDEVICEID);
    }
}

TEST_F(Service, CapabilitiesAndOpenTakePublishedVersionsOnly) {
    auto s = MakeService("[line0]\ndriver=simulated\napi_high=0x00020005\n");
    const HLINEAPP app = Initialize(*s);
    const struct {
        DWORD version;
        LONG result;
    } rows[] = {{0x00010003, 0}, {0x00010005, LINEERR_INCOMPATIBLEAPIVERSION}, {0x00020002, 0},
                {0x00020005, LINEERR_INCOMPATIBLEAPIVERSION}, {0x00030000, LINEERR_INCOMPATIBLEAPIVERSION}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.version);
        std::vector<unsigned char> buffer(mTAPIDecs::kDevCapsBufferSize);
        auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
        caps->dwTotalSize = mTAPIDecs::kDevCapsBufferSize;
        EXPECT_EQ(s->lineGetDevCapsA(app, 0, row.version, 0, caps), row.result);
        HLINE line = 0;
        EXPECT_EQ(s->lineOpen(app, 0, &line, row.version, 0, 0, 1, 4, nullptr), row.result);
        if (row.result == 0) {
            EXPECT_EQ(s->lineClose(line), 0);
        }
    }
}

// Two applications share one device: the driver opens once and closes with the last
// line; line events reach both; a line closed under a call of the other leaves it alone.
TEST_F(Service, OneDeviceOpenedByTwoApplications) {
    auto s = Scripted();
    const HLINEAPP a = Initialize(*s), b = Initialize(*s);
    HCALL call = 0;
    const HLINE lineB = Connected(*s, b, call);
    const HLINE lineA = Open(*s, a, 0, 0xA);
    EXPECT_NE(lineA, lineB);
    EXPECT_EQ(drv->calls, (Strings{"Open", "MakeCall 1"})) << "opened once";
    drv->sink->LineDevState(LINEDEVSTATE_RINGING, 0, 1);
    drv->sink->CallState(call, LINECALLSTATE_CONNECTED, 0);
    Settle();
    EXPECT_EQ(g_p1[LINE_LINEDEVSTATE].size(), 2u) << "both lines hear the device";
    EXPECT_EQ(g_p1[LINE_CALLSTATE], (std::vector<DWORD>{LINECALLSTATE_CONNECTED})) << "only the call's owner";
    EXPECT_EQ(s->lineClose(lineA), 0);
    EXPECT_EQ(drv->calls.size(), 2u) << "neither closed nor released while b's line is open";
    EXPECT_GT(s->lineDrop(call, nullptr, 0), 0);
    EXPECT_EQ(s->lineClose(lineB), 0);
    EXPECT_EQ(drv->calls, (Strings{"Open", "MakeCall 1", "ReleaseCall", "Close"}));
    EXPECT_EQ(s->lineShutdown(a), 0);
    EXPECT_EQ(s->lineShutdown(b), 0);
    Settle();
    EXPECT_TRUE(Clean(*s));
}

// A call that is not idle may be let go of from version 2.0 on (the call is dropped and
// its outstanding drop answered); below 2.0 that is refused.
TEST_F(Service, DeallocatingALiveCallDependsOnTheVersion) {
    for (const auto& [version, result] :
         {std::pair<DWORD, LONG>{0x00010004, LINEERR_INVALCALLSTATE}, {0x00020000, 0}, {0x00030000, 0}}) {
        SCOPED_TRACE(version);
        auto s = Scripted();
        const HLINEAPP app = Initialize(*s);
        HLINE line = 0;
        ASSERT_EQ(s->lineOpen(app, 0, &line, version, 0, 7, 1, 4, nullptr), 0);
        HCALL call = 0;
        const LONG make = s->lineMakeCallA(line, &call, "1", 0, nullptr);
        ASSERT_GT(make, 0);
        drv->sink->RequestCompleted(drv->request, 0);
        drv->sink->CallState(drv->call, LINECALLSTATE_CONNECTED, 0);
        Settle();
        const LONG drop = s->lineDrop(call, nullptr, 0);
        ASSERT_GT(drop, 0);
        Forget();
        EXPECT_EQ(s->lineDeallocateCall(call), result);
        Settle();
        if (result == 0) {
            EXPECT_EQ(drv->calls.back(), "ReleaseCall");
            EXPECT_EQ(g_p1[LINE_REPLY], (std::vector<DWORD>{static_cast<DWORD>(drop)})) << "the drop answered";
            EXPECT_EQ(s->census().calls, 0u);
        } else {
            EXPECT_TRUE(g_p1[LINE_REPLY].empty());
            EXPECT_EQ(s->census().calls, 1u);
        }
        EXPECT_EQ(s->lineShutdown(app), 0);
    }
}
