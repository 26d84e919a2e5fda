// The service called directly: handle rules, checks and codes, capabilities, delivery.
#include "localtapi/Checks.h"
#include "tests/support/ServiceFixture.h"

#include <cstring>
#include <set>

using namespace localtapi;
using namespace svctest;

TEST_F(Service, InitializeReportsDevicesAndVersionAndChecksArguments) {
    auto s = MakeService(std::string(kFastLine) + "[line1]\ndriver=simulated\n");
    HLINEAPP app = 0;
    DWORD devs = 0, version = 0x00030000;
    LINEINITIALIZEEXPARAMS params{sizeof params, 0, 0, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW, {}, 0};
    auto init = [&](LINECALLBACK cb = &Record) {
        return s->lineInitializeExA(&app, nullptr, cb, "t", &devs, &version, &params);
    };
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(devs, 2u);
    EXPECT_EQ(version, localtapi::kServiceVersion);
    EXPECT_EQ(params.dwUsedSize, sizeof params);

    params.dwTotalSize = sizeof params - 1;
    EXPECT_EQ(init(), LINEERR_STRUCTURETOOSMALL);
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    EXPECT_EQ(init(), LINEERR_OPERATIONUNAVAIL);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    EXPECT_EQ(init(nullptr), LINEERR_INVALPOINTER);
    version = 0x00010004;
    EXPECT_EQ(init(), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(s->census().apps, 1u);
}

// Also: request IDs grow, a call cannot be dropped twice, close frees calls.
TEST_F(Service, HandlesAreNeverReusedAndStaleOnesAreRejected) {
    auto s = MakeService();
    std::set<DWORD> seen;
    LONG lastRequest = 0;
    for (int round = 0; round < 3; ++round) {
        Forget();
        const HLINEAPP app = Initialize(*s);
        const HLINE line = Open(*s, app);
        HCALL call = 0;
        const LONG make = s->lineMakeCallA(line, &call, "5551212", 0, nullptr);
        EXPECT_GT(make, lastRequest);
        ASSERT_TRUE(WaitUntil([&] { return LastState() == LINECALLSTATE_CONNECTED; }));
        for (DWORD h : {app, line, call})
            EXPECT_TRUE(seen.insert(h).second) << "handle " << h << " reused";
        lastRequest = s->lineDrop(call, nullptr, 0);
        EXPECT_GT(lastRequest, make);
        EXPECT_EQ(s->lineDrop(call, nullptr, 0), LINEERR_INVALCALLSTATE);

        EXPECT_EQ(s->lineClose(line), 0);
        EXPECT_EQ(s->census().calls, 0u);
        EXPECT_EQ(s->lineClose(line), LINEERR_INVALLINEHANDLE);
        EXPECT_EQ(s->lineMakeCallA(line, &call, "1", 0, nullptr), LINEERR_INVALLINEHANDLE);
        EXPECT_EQ(s->lineDrop(call, nullptr, 0), LINEERR_INVALCALLHANDLE);
        EXPECT_EQ(s->lineDeallocateCall(call), LINEERR_INVALCALLHANDLE);
        EXPECT_EQ(s->lineClose(app), LINEERR_INVALLINEHANDLE) << "a handle of another kind";
        EXPECT_EQ(s->lineShutdown(line), LINEERR_INVALAPPHANDLE);

        EXPECT_EQ(s->lineShutdown(app), 0);
        EXPECT_EQ(s->lineShutdown(app), LINEERR_INVALAPPHANDLE);
        HLINE again = 0;
        EXPECT_EQ(s->lineOpen(app, 0, &again, 0x00030000, 0, 0, 1, 4, nullptr), LINEERR_INVALAPPHANDLE);
    }
    EXPECT_TRUE(Clean(*s));
}

TEST_F(Service, DevCapsLayoutSizesAndTruncation) {
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    alignas(LINEDEVCAPS) unsigned char buffer[mTAPIDecs::kDevCapsBufferSize];
    auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer);
    const DWORD provider = sizeof("simulated line: dials nothing");
    const DWORD full = sizeof(LINEDEVCAPS) + 10 + provider + 19; // three strings and their NULs

    caps->dwTotalSize = sizeof buffer;
    ASSERT_EQ(s->lineGetDevCapsA(app, 0, 0x00030000, 0, caps), 0);
    EXPECT_EQ(caps->dwNeededSize, full);
    EXPECT_EQ(caps->dwUsedSize, full);
    EXPECT_GE(caps->dwProviderInfoOffset, sizeof(LINEDEVCAPS));

    // Room for the fixed part and the provider info only: the rest is left out.
    std::memset(buffer, 0xCC, sizeof buffer);
    caps->dwTotalSize = sizeof(LINEDEVCAPS) + provider + 5;
    ASSERT_EQ(s->lineGetDevCapsA(app, 0, 0x00030000, 0, caps), 0);
    EXPECT_EQ(caps->dwProviderInfoSize, provider);
    EXPECT_EQ(caps->dwSwitchInfoSize | caps->dwSwitchInfoOffset | caps->dwLineNameSize, 0u);
    EXPECT_EQ(caps->dwUsedSize, sizeof(LINEDEVCAPS) + provider);
    EXPECT_EQ(caps->dwNeededSize, full);
    EXPECT_EQ(buffer[caps->dwUsedSize], 0xCC) << "wrote past the used part";

    caps->dwTotalSize = sizeof(LINEDEVCAPS) - 1;
    EXPECT_EQ(s->lineGetDevCapsA(app, 0, 0x00030000, 0, caps), LINEERR_STRUCTURETOOSMALL);
    // An older version has a smaller fixed part, which is then enough.
    caps->dwTotalSize = offsetof(LINEDEVCAPS, dwLineFeatures);
    EXPECT_EQ(s->lineGetDevCapsA(app, 0, 0x00010003, 0, caps), 0);
    EXPECT_EQ(caps->dwUsedSize, offsetof(LINEDEVCAPS, dwLineFeatures));

    caps->dwTotalSize = sizeof buffer;
    EXPECT_EQ(s->lineGetDevCapsA(app, 1, 0x00030000, 0, caps), LINEERR_BADDEVICEID);
    EXPECT_EQ(s->lineGetDevCapsA(app, 0, 0x00030001, 0, caps), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(s->lineGetDevCapsA(app, 0, 0x00030000, 0x00010000, caps), LINEERR_INCOMPATIBLEEXTVERSION);
    EXPECT_EQ(s->lineGetDevCapsA(app + 1000, 0, 0x00030000, 0, caps), LINEERR_INVALAPPHANDLE);
}

TEST_F(Service, OpenChecks) {
    const struct {
        const char* name;
        DWORD device, version, ext, privileges, media;
        LONG result;
    } rows[] = {{"dialer", 0, 0x00030000, 0, 1, 4, 0},
                {"none_ignores_media", 0, 0x00030000, 0, 1, LINEMEDIAMODE_DATAMODEM, 0},
                {"owner_voice", 0, 0x00030000, 0, 4, 4, 0},
                {"owner_data", 0, 0x00030000, 0, 4, LINEMEDIAMODE_DATAMODEM, LINEERR_INVALMEDIAMODE},
                {"owner_no_media", 0, 0x00030000, 0, 4, 0, LINEERR_INVALMEDIAMODE},
                {"owner_bad_bit", 0, 0x00030000, 0, 4, 0x80000004, LINEERR_INVALMEDIAMODE},
                {"none_with_owner", 0, 0x00030000, 0, 5, 4, LINEERR_INVALPRIVSELECT},
                {"zero_privileges", 0, 0x00030000, 0, 0, 4, LINEERR_INVALPRIVSELECT},
                {"unknown_privilege", 0, 0x00030000, 0, 8, 4, LINEERR_INVALPRIVSELECT},
                {"bad_device", 1, 0x00030000, 0, 1, 4, LINEERR_BADDEVICEID},
                {"bad_version", 0, 0x00010002, 0, 1, 4, LINEERR_INCOMPATIBLEAPIVERSION},
                {"ext_version", 0, 0x00030000, 1, 1, 4, LINEERR_INCOMPATIBLEEXTVERSION}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto s = MakeService();
        const HLINEAPP app = Initialize(*s);
        HLINE line = 0;
        EXPECT_EQ(
            s->lineOpen(app, row.device, &line, row.version, row.ext, 1, row.privileges, row.media, nullptr),
            row.result);
        EXPECT_EQ(line != 0, row.result == 0);
        EXPECT_EQ(s->census().lines, row.result == 0 ? 1u : 0u);
    }
}

// lineGetDevCapsA and lineOpen take a version negotiation could have answered, no other.
TEST_F(Service, DialableSet) {
    const struct {
        const char *name, *address;
        LONG result; // 0: accepted (a request ID)
    } rows[] = {{"plain", "5551212", 0},
                {"dashes", "555-1212", 0},
                {"canonical", "+1 (206) 555-1212", 0},
                {"modifiers", "9,T*70P#!", 0},
                {"letter", "555-CALL-NOW", LINEERR_INVALADDRESS},
                {"slash", "555/1212", LINEERR_INVALADDRESS},
                {"newline", "555\n1212", LINEERR_INVALADDRESS},
                {"prompt", "555?", LINEERR_DIALPROMPT},
                {"wait_tone", "9W5551212", LINEERR_DIALDIALTONE},
                {"quiet", "9@5551212", LINEERR_DIALQUIET},
                {"billing", "0$", LINEERR_DIALBILLING},
                {"null_stays_in_dial_tone", nullptr, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Forget();
        auto s = MakeService();
        const HLINE line = Open(*s, Initialize(*s));
        HCALL call = 0;
        const LONG r = s->lineMakeCallA(line, &call, row.address, 0, nullptr);
        EXPECT_TRUE(row.result == 0 ? r > 0 : r == row.result) << r;
        EXPECT_EQ(s->census().calls, row.result == 0 ? 1u : 0u);
        EXPECT_EQ(call, 0u) << "the handle is written with the successful reply";
        if (row.address == nullptr) {
            Settle();
            EXPECT_EQ(g_seen, (Strings{Brief(0, LINE_REPLY, 0x1234, r, 0),
                                       Brief(call, LINE_CALLSTATE, 0x1234, LINECALLSTATE_DIALTONE,
                                             LINEDIALTONEMODE_NORMAL)}));
        }
    }
}

// A number in international form reaches a driver that dials digits as the digits to dial
// from the configured location, and one that takes international numbers with its "+";
// any other number as the application gave it.
TEST_F(Service, InternationalNumbersAreTranslatedForDriversThatDialDigits) {
    const struct {
        const char* name;
        bool dialsDigits;
        const char *address, *driverGets;
    } rows[] = {{"same area", true, "+1-206-555-1212", "MakeCall 9,5551212"},
                // Canonical forms keep the subscriber's separators; digit dialers skip them.
                {"canonical, other area", true, "+1 (425) 555-1212", "MakeCall 9,1425555-1212"},
                {"canonical abroad", true, "+44 20 7946 0000", "MakeCall 9,0114420 7946 0000"},
                {"local form as given", true, "555-1212", "MakeCall 555-1212"},
                {"international driver", false, "+1-206-555-1212", "MakeCall +1-206-555-1212"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ServiceSetup setup;
        setup.ini = "[line0]\ndriver=scripted\n[location]\noutside_prefix=9,\narea_code=206\n";
        const bool dialsDigits = row.dialsDigits;
        setup.drivers = [dialsDigits](DriverRegistry& r) {
            DriverInfo info;
            info.name = "scripted";
            info.create = [](auto&, auto&) { return std::make_unique<ScriptedDriver>(); };
            info.dialsDigits = dialsDigits;
            r.Register(std::move(info));
        };
        auto s = MakeService(setup);
        drv = ScriptedDriver::last;
        const HLINE line = Open(*s, Initialize(*s));
        HCALL call = 0;
        EXPECT_GT(s->lineMakeCallA(line, &call, row.address, 0, nullptr), 0);
        ASSERT_FALSE(drv->calls.empty());
        EXPECT_EQ(drv->calls.back(), row.driverGets);
    }
}

TEST_F(Service, ShutdownWithMessagesQueuedDeliversNothing) {
    auto s = Scripted();
    const HLINEAPP app = Initialize(*s);
    HCALL call = 0;
    ASSERT_GT(s->lineMakeCallA(Open(*s, app), &call, "1", 0, nullptr), 0);
    drv->sink->RequestCompleted(drv->request, 0);
    drv->sink->CallState(drv->call, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
    drv->sink->CallState(drv->call, LINECALLSTATE_CONNECTED, 0);
    EXPECT_EQ(s->census().queuedMessages, 3u);
    EXPECT_EQ(s->lineShutdown(app), 0);
    Settle();
    EXPECT_TRUE(g_seen.empty());
    EXPECT_EQ(call, 0u) << "no handle is written for a reply that is never delivered";
    EXPECT_TRUE(Clean(*s));
    EXPECT_EQ(drv->calls, (Strings{"Open", "MakeCall 1", "ReleaseCall", "Close"}));

    // Shut down while the device is opening: the open fails.
    const HLINEAPP again = Initialize(*s);
    drv->calls.clear();
    drv->duringOpen = [&] { EXPECT_EQ(s->lineShutdown(again), 0); };
    HLINE line = 0;
    EXPECT_EQ(s->lineOpen(again, 0, &line, 0x00030000, 0, 1, 1, 4, nullptr), LINEERR_INVALAPPHANDLE);
    EXPECT_EQ(line, 0u);
    EXPECT_EQ(drv->calls, (Strings{"Open", "Close"}));
    EXPECT_TRUE(Clean(*s));
}

TEST_F(Service, CloseAnswersOutstandingRequestsAndDiscardsTheRest) {
    auto s = Scripted();
    const HLINEAPP app = Initialize(*s);
    HCALL call = 0;
    // A call request still outstanding at close fails in its reply.
    HLINE line = Open(*s, app, 0, 7);
    const LONG make = s->lineMakeCallA(line, &call, "1", 0, nullptr);
    EXPECT_EQ(s->lineClose(line), 0);
    Settle();
    EXPECT_EQ(g_seen, (Strings{Brief(0, LINE_REPLY, 7, make, LINEERR_OPERATIONFAILED)}));

    // A drop outstanding at close succeeds; the call states queued before are dropped.
    line = Connected(*s, app, call);
    const LONG drop = s->lineDrop(call, nullptr, 0);
    ASSERT_GT(drop, 0);
    drv->sink->CallState(drv->call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
    EXPECT_EQ(s->lineClose(line), 0);
    Settle();
    EXPECT_EQ(g_seen, (Strings{Brief(0, LINE_REPLY, 0x1234, drop, 0)}));
    EXPECT_EQ(s->lineDeallocateCall(call), LINEERR_INVALCALLHANDLE);

    // Hardware may report idle before it confirms the drop; freeing the call then answers it.
    line = Connected(*s, app, call);
    const LONG early = s->lineDrop(call, nullptr, 0);
    drv->sink->CallState(drv->call, LINECALLSTATE_IDLE, 0);
    Settle();
    EXPECT_EQ(s->lineDeallocateCall(call), 0);
    EXPECT_EQ(s->census().requests, 0u);
    drv->sink->RequestCompleted(early, 0); // late: ignored
    Settle();
    EXPECT_EQ(g_p1[LINE_REPLY], std::vector<DWORD>{static_cast<DWORD>(early)});
    EXPECT_EQ(s->lineShutdown(app), 0);
    EXPECT_TRUE(Clean(*s));
}

// Line 1 takes 80 ms to open in a nested event loop; line 0's call progresses meanwhile.
TEST_F(Service, NothingIsDeliveredInsideAnOperation) {
    auto s = MakeService(std::string(kFastLine) + "[line1]\ndriver=simulated\nopen_ms=80\n");
    const HLINEAPP app = Initialize(*s);
    const HLINE line0 = Open(*s, app);
    HCALL call = 0;
    ASSERT_GT(s->lineMakeCallA(line0, &call, "5551212", 0, nullptr), 0);
    EXPECT_NE(Open(*s, app, 1), 0u);
    EXPECT_TRUE(g_seen.empty());
    EXPECT_GT(s->census().queuedMessages, 0u) << "the call progressed while line 1 was opening";
    EXPECT_TRUE(WaitUntil([&] { return LastState() == LINECALLSTATE_CONNECTED; }));
}

// A device that disappears closes its line; a later lineOpen asks the driver again, so a
// device plugged back in works without a restart.
TEST_F(Service, DeviceThatDisappearsClosesTheLineUntilItIsBack) {
    auto s = Scripted();
    const HLINEAPP app = Initialize(*s);
    const HLINE line = Open(*s, app, 0, 9);
    HCALL call = 0;
    const LONG make = s->lineMakeCallA(line, &call, "1", 0, nullptr);
    drv->sink->DeviceRemoved();
    Settle();
    EXPECT_EQ(g_seen, (Strings{Brief(0, LINE_REPLY, 9, make, LINEERR_OPERATIONFAILED),
                               Brief(line, LINE_CLOSE, 9, 0, 0)}));
    EXPECT_EQ(s->lineClose(line), LINEERR_INVALLINEHANDLE);
    HLINE again = 0;
    drv->openResult = LINEERR_NODEVICE; // still unplugged
    EXPECT_EQ(s->lineOpen(app, 0, &again, 0x00030000, 0, 1, 1, 4, nullptr), LINEERR_NODEVICE);
    DWORD v = 0;
    LINEEXTENSIONID ext{};
    EXPECT_EQ(s->lineNegotiateAPIVersion(app, 0, 0x00010003, 0x00030000, &v, &ext), LINEERR_NODEVICE);
    drv->openResult = 0; // plugged in again
    EXPECT_EQ(s->lineOpen(app, 0, &again, 0x00030000, 0, 1, 1, 4, nullptr), 0);
    EXPECT_EQ(s->lineNegotiateAPIVersion(app, 0, 0x00010003, 0x00030000, &v, &ext), 0);
    EXPECT_EQ(s->lineClose(again), 0);
}

// The device's last words before it went (the call disconnected, then idle) still reach
// the application, ahead of LINE_CLOSE.
TEST_F(Service, LastCallStatesOfADeviceThatWentAway) {
    auto s = Scripted();
    const HLINEAPP app = Initialize(*s);
    HCALL call = 0;
    const HLINE line = Connected(*s, app, call);
    drv->sink->CallState(drv->call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL);
    drv->sink->CallState(drv->call, LINECALLSTATE_IDLE, 0);
    drv->sink->DeviceRemoved();
    Settle();
    EXPECT_EQ(g_seen, (Strings{Brief(call, LINE_CALLSTATE, 0x1234, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL),
                               Brief(call, LINE_CALLSTATE, 0x1234, LINECALLSTATE_IDLE, 0),
                               Brief(line, LINE_CLOSE, 0x1234, 0, 0)}));
}

TEST_F(Service, DialogsNeedAValidDeviceAndClass) {
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    EXPECT_EQ(s->lineConfigDialogA(1, nullptr, nullptr), LINEERR_BADDEVICEID);
    EXPECT_EQ(s->lineConfigDialogA(0, nullptr, "comm/datamodem"), LINEERR_INVALDEVICECLASS);
    EXPECT_EQ(s->lineTranslateDialogA(app + 99, 0, 0x00030000, nullptr, nullptr), LINEERR_INVALAPPHANDLE);
    EXPECT_EQ(s->lineTranslateDialogA(app, 0, 0x00010003, nullptr, nullptr), LINEERR_INCOMPATIBLEAPIVERSION);
    HICON icon = nullptr;
    EXPECT_EQ(s->lineGetIconA(1, nullptr, &icon), LINEERR_BADDEVICEID);
    EXPECT_EQ(s->lineGetIconA(0, "tapi/phone", &icon), LINEERR_INVALDEVICECLASS);
    EXPECT_EQ(s->lineGetIconA(0, nullptr, nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(icon, nullptr);
}
