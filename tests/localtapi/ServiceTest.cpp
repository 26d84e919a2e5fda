// The service's operations called directly: handle rules, checks and their codes,
// capabilities, and when messages are and are not delivered.
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using namespace localtapi;
using namespace svctest;

namespace {

class Service : public testing::Test {
  protected:
    void SetUp() override { Recorder::Reset(); }
    void TearDown() override { Recorder::Reset(); }

    // Opens line 0 of app at version 0x00030000 with no privileges.
    static HLINE Open(LocalTapi& s, HLINEAPP app, DWORD device = 0, DWORD_PTR instance = 0x1234) {
        HLINE line = 0;
        EXPECT_EQ(s.lineOpen(app, device, &line, 0x00030000, 0, instance, LINECALLPRIVILEGE_NONE,
                             LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
                  0);
        return line;
    }
    static std::vector<DWORD> Messages(DWORD message) {
        std::vector<DWORD> p1;
        for (const svctest::Message& m : Recorder::messages)
            if (m.message == message)
                p1.push_back(static_cast<DWORD>(m.p1));
        return p1;
    }
};

TEST_F(Service, InitializeReportsDevicesAndVersionAndChecksArguments) {
    auto s = MakeService(std::string(kFastLine) + "[line1]\ndriver=simulated\n");
    HLINEAPP app = 0;
    DWORD devs = 0, version = 0x00030000;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    ASSERT_EQ(s->lineInitializeExA(&app, nullptr, &Recorder::Callback, "t", &devs, &version, &params), 0);
    EXPECT_NE(app, 0u);
    EXPECT_EQ(devs, 2u);
    EXPECT_EQ(version, LocalTapi::kServiceVersion);
    EXPECT_EQ(params.dwUsedSize, sizeof params);

    version = 0x00030000;
    params.dwTotalSize = sizeof params - 1;
    EXPECT_EQ(s->lineInitializeExA(&app, nullptr, &Recorder::Callback, "t", &devs, &version, &params),
              LINEERR_STRUCTURETOOSMALL);
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    EXPECT_EQ(s->lineInitializeExA(&app, nullptr, &Recorder::Callback, "t", &devs, &version, &params),
              LINEERR_OPERATIONUNAVAIL);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    EXPECT_EQ(s->lineInitializeExA(&app, nullptr, nullptr, "t", &devs, &version, &params),
              LINEERR_INVALPOINTER);
    version = 0x00010004;
    EXPECT_EQ(s->lineInitializeExA(&app, nullptr, &Recorder::Callback, "t", &devs, &version, &params),
              LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(s->census().apps, 1u);
}

TEST_F(Service, HandlesAreNeverReusedAndStaleOnesAreRejected) {
    auto s = MakeService();
    std::set<DWORD> seen;
    for (int round = 0; round < 3; ++round) {
        const HLINEAPP app = Initialize(*s);
        const HLINE line = Open(*s, app);
        HCALL call = 0;
        ASSERT_GT(s->lineMakeCallA(line, &call, "5551212", 0, nullptr), 0);
        ASSERT_TRUE(WaitFor([&] { return call != 0; }));
        for (DWORD h : {app, line, call})
            EXPECT_TRUE(seen.insert(h).second) << "handle " << h << " reused";

        EXPECT_EQ(s->lineClose(line), 0);
        EXPECT_EQ(s->lineClose(line), LINEERR_INVALLINEHANDLE);
        EXPECT_EQ(s->lineMakeCallA(line, &call, "1", 0, nullptr), LINEERR_INVALLINEHANDLE);
        EXPECT_EQ(s->lineDrop(call, nullptr, 0), LINEERR_INVALCALLHANDLE);
        EXPECT_EQ(s->lineDeallocateCall(call), LINEERR_INVALCALLHANDLE);
        // A handle of one kind is never taken for another.
        EXPECT_EQ(s->lineClose(app), LINEERR_INVALLINEHANDLE);
        EXPECT_EQ(s->lineShutdown(line), LINEERR_INVALAPPHANDLE);

        EXPECT_EQ(s->lineShutdown(app), 0);
        EXPECT_EQ(s->lineShutdown(app), LINEERR_INVALAPPHANDLE);
        HLINE again = 0;
        EXPECT_EQ(s->lineOpen(app, 0, &again, 0x00030000, 0, 0, 1, 4, nullptr), LINEERR_INVALAPPHANDLE);
        DWORD v = 0;
        LINEEXTENSIONID ext{};
        EXPECT_EQ(s->lineNegotiateAPIVersion(app, 0, 0x00010003, 0x00030000, &v, &ext),
                  LINEERR_INVALAPPHANDLE);
    }
    EXPECT_TRUE(Clean(*s));
}

struct NegotiateRow {
    const char* name;
    const char* range; // api_low,api_high of the device
    DWORD low, high;
    LONG result;
    DWORD version;
    friend void PrintTo(const NegotiateRow& row, std::ostream* os) { *os << row.name; }
};

class Negotiate : public testing::TestWithParam<NegotiateRow> {};

TEST_P(Negotiate, AgainstTheDeviceRange) {
    const NegotiateRow& row = GetParam();
    const std::string range(row.range);
    const auto comma = range.find(',');
    auto s = MakeService("[line0]\ndriver=simulated\napi_low=" + range.substr(0, comma) +
                         "\napi_high=" + range.substr(comma + 1) + "\n");
    const HLINEAPP app = Initialize(*s);
    DWORD version = 0xDEAD;
    LINEEXTENSIONID ext{1, 2, 3, 4};
    EXPECT_EQ(s->lineNegotiateAPIVersion(app, 0, row.low, row.high, &version, &ext), row.result);
    if (row.result == 0) {
        EXPECT_EQ(version, row.version);
        EXPECT_EQ(ext.dwExtensionID0 | ext.dwExtensionID1 | ext.dwExtensionID2 | ext.dwExtensionID3, 0u);
    }
    EXPECT_EQ(s->lineNegotiateAPIVersion(app, 1, row.low, row.high, &version, &ext), LINEERR_BADDEVICEID);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Negotiate,
    testing::Values(
        NegotiateRow{"full_range", "0x00010003,0x00030000", 0x00010003, 0x00030000, 0, 0x00030000},
        NegotiateRow{"device_lower", "0x00010003,0x00020001", 0x00010003, 0x00030000, 0, 0x00020001},
        NegotiateRow{"app_lower", "0x00010003,0x00030000", 0x00010003, 0x00020000, 0, 0x00020000},
        NegotiateRow{"only_1_3", "0x00010003,0x00010003", 0x00010003, 0x00030000, 0, 0x00010003},
        NegotiateRow{"no_overlap", "0x00010003,0x00010004", 0x00020000, 0x00030000,
                     LINEERR_INCOMPATIBLEAPIVERSION, 0},
        NegotiateRow{"inverted", "0x00010003,0x00030000", 0x00030000, 0x00020000,
                     LINEERR_INCOMPATIBLEAPIVERSION, 0},
        NegotiateRow{"above_service", "0x00010003,0x00040000", 0x00030001, 0x00040000,
                     LINEERR_INCOMPATIBLEAPIVERSION, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Service, DevCapsLayoutSizesAndTruncation) {
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    alignas(LINEDEVCAPS) unsigned char buffer[mTAPIDecs::kDevCapsBufferSize];
    auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer);
    auto text = [&](DWORD offset, DWORD size) {
        return size == 0 ? std::string() : std::string(reinterpret_cast<char*>(buffer) + offset, size);
    };

    caps->dwTotalSize = sizeof buffer;
    ASSERT_EQ(s->lineGetDevCapsA(app, 0, 0x00030000, 0, caps), 0);
    EXPECT_EQ(text(caps->dwLineNameOffset, caps->dwLineNameSize),
              std::string("Test line", 10)); // NUL included
    EXPECT_EQ(text(caps->dwProviderInfoOffset, caps->dwProviderInfoSize),
              std::string("OrvoDial simulated line", 24));
    EXPECT_EQ(text(caps->dwSwitchInfoOffset, caps->dwSwitchInfoSize), std::string("Simulated exchange", 19));
    EXPECT_EQ(caps->dwNeededSize, caps->dwUsedSize);
    EXPECT_EQ(caps->dwUsedSize, sizeof(LINEDEVCAPS) + 10 + 24 + 19);
    EXPECT_GE(caps->dwProviderInfoOffset, sizeof(LINEDEVCAPS));
    EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_ASCII);
    EXPECT_EQ(caps->dwBearerModes, LINEBEARERMODE_VOICE);
    EXPECT_EQ(caps->dwMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
    EXPECT_EQ(caps->dwNumAddresses, 1u);

    // Room for the fixed part and the provider info only: the rest is left out.
    std::memset(buffer, 0xCC, sizeof buffer);
    caps->dwTotalSize = sizeof(LINEDEVCAPS) + 24 + 5;
    ASSERT_EQ(s->lineGetDevCapsA(app, 0, 0x00030000, 0, caps), 0);
    EXPECT_EQ(caps->dwProviderInfoSize, 24u);
    EXPECT_EQ(caps->dwSwitchInfoSize, 0u);
    EXPECT_EQ(caps->dwSwitchInfoOffset, 0u);
    EXPECT_EQ(caps->dwLineNameSize, 0u);
    EXPECT_EQ(caps->dwUsedSize, sizeof(LINEDEVCAPS) + 24);
    EXPECT_EQ(caps->dwNeededSize, sizeof(LINEDEVCAPS) + 10 + 24 + 19);
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

struct OpenRow {
    const char* name;
    DWORD device, version, ext, privileges, media;
    LONG result;
    friend void PrintTo(const OpenRow& row, std::ostream* os) { *os << row.name; }
};

class OpenChecks : public testing::TestWithParam<OpenRow> {};

TEST_P(OpenChecks, Codes) {
    const OpenRow& row = GetParam();
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    HLINE line = 0;
    EXPECT_EQ(
        s->lineOpen(app, row.device, &line, row.version, row.ext, 1, row.privileges, row.media, nullptr),
        row.result);
    EXPECT_EQ(line != 0, row.result == 0);
    EXPECT_EQ(s->census().lines, row.result == 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OpenChecks,
    testing::Values(OpenRow{"dialer", 0, 0x00030000, 0, 1, 4, 0},
                    OpenRow{"none_ignores_media", 0, 0x00030000, 0, 1, LINEMEDIAMODE_DATAMODEM, 0},
                    OpenRow{"owner_voice", 0, 0x00030000, 0, 4, 4, 0},
                    OpenRow{"owner_data", 0, 0x00030000, 0, 4, LINEMEDIAMODE_DATAMODEM,
                            LINEERR_INVALMEDIAMODE},
                    OpenRow{"owner_no_media", 0, 0x00030000, 0, 4, 0, LINEERR_INVALMEDIAMODE},
                    OpenRow{"owner_bad_bit", 0, 0x00030000, 0, 4, 0x80000004, LINEERR_INVALMEDIAMODE},
                    OpenRow{"none_with_owner", 0, 0x00030000, 0, 5, 4, LINEERR_INVALPRIVSELECT},
                    OpenRow{"zero_privileges", 0, 0x00030000, 0, 0, 4, LINEERR_INVALPRIVSELECT},
                    OpenRow{"unknown_privilege", 0, 0x00030000, 0, 8, 4, LINEERR_INVALPRIVSELECT},
                    OpenRow{"bad_device", 1, 0x00030000, 0, 1, 4, LINEERR_BADDEVICEID},
                    OpenRow{"bad_version", 0, 0x00010002, 0, 1, 4, LINEERR_INCOMPATIBLEAPIVERSION},
                    OpenRow{"ext_version", 0, 0x00030000, 1, 1, 4, LINEERR_INCOMPATIBLEEXTVERSION}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Service, DeviceHeldByAnotherApplicationIsAllocated) {
    auto s = MakeService();
    const HLINEAPP a = Initialize(*s);
    const HLINEAPP b = Initialize(*s);
    const HLINE line = Open(*s, a);
    HLINE other = 0;
    EXPECT_EQ(s->lineOpen(b, 0, &other, 0x00030000, 0, 1, 1, 4, nullptr), LINEERR_ALLOCATED);
    EXPECT_EQ(s->lineClose(line), 0);
    EXPECT_EQ(s->lineOpen(b, 0, &other, 0x00030000, 0, 1, 1, 4, nullptr), 0);
}

struct AddressRow {
    const char* name;
    const char* address;
    LONG result; // 0: accepted (a request ID)
    friend void PrintTo(const AddressRow& row, std::ostream* os) { *os << row.name; }
};

class Addresses : public testing::TestWithParam<AddressRow> {};

TEST_P(Addresses, DialableSet) {
    const AddressRow& row = GetParam();
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    HLINE line = 0;
    ASSERT_EQ(s->lineOpen(app, 0, &line, 0x00030000, 0, 1, 1, 4, nullptr), 0);
    HCALL call = 0;
    const LONG r = s->lineMakeCallA(line, &call, row.address, 0, nullptr);
    if (row.result == 0)
        EXPECT_GT(r, 0);
    else
        EXPECT_EQ(r, row.result);
    EXPECT_EQ(s->census().calls, row.result == 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, Addresses,
                         testing::Values(AddressRow{"plain", "5551212", 0},
                                         AddressRow{"dashes", "555-1212", 0},
                                         AddressRow{"canonical", "+1 (206) 555-1212", 0},
                                         AddressRow{"modifiers", "9,T*70P#!", 0},
                                         AddressRow{"letter", "555-CALL-NOW", LINEERR_INVALADDRESS},
                                         AddressRow{"slash", "555/1212", LINEERR_INVALADDRESS},
                                         AddressRow{"newline", "555\n1212", LINEERR_INVALADDRESS},
                                         AddressRow{"prompt", "555?", LINEERR_DIALPROMPT},
                                         AddressRow{"wait_tone", "9W5551212", LINEERR_DIALDIALTONE},
                                         AddressRow{"quiet", "9@5551212", LINEERR_DIALQUIET},
                                         AddressRow{"billing", "0$", LINEERR_DIALBILLING}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Service, NullDestinationGivesACallInDialTone) {
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    const HLINE line = Open(*s, app);
    HCALL call = 0;
    const LONG request = s->lineMakeCallA(line, &call, nullptr, 0, nullptr);
    ASSERT_GT(request, 0);
    EXPECT_EQ(call, 0u) << "the handle is written with the successful reply";
    Spin(50);
    EXPECT_NE(call, 0u);
    EXPECT_EQ(Messages(LINE_REPLY), std::vector<DWORD>{static_cast<DWORD>(request)});
    EXPECT_EQ(Messages(LINE_CALLSTATE), std::vector<DWORD>{LINECALLSTATE_DIALTONE});
    ASSERT_FALSE(Recorder::messages.empty());
    EXPECT_EQ(Recorder::messages[1].hDevice, call);
    EXPECT_EQ(Recorder::messages[1].instance, 0x1234u);
    EXPECT_EQ(Recorder::messages[1].p3, LINECALLPRIVILEGE_OWNER);
}

TEST_F(Service, RequestIdsArePositiveAndIncreasing) {
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    LONG last = 0;
    for (int i = 0; i < 3; ++i) {
        const HLINE line = Open(*s, app);
        HCALL call = 0;
        const LONG make = s->lineMakeCallA(line, &call, "1", 0, nullptr);
        EXPECT_GT(make, last);
        ASSERT_TRUE(WaitFor([&] { return call != 0; }));
        const LONG drop = s->lineDrop(call, nullptr, 0);
        EXPECT_GT(drop, make);
        last = drop;
        EXPECT_EQ(s->lineDrop(call, nullptr, 0), LINEERR_INVALCALLSTATE) << "second drop of the same call";
        ASSERT_TRUE(WaitFor([&] {
            return !Messages(LINE_CALLSTATE).empty() && Messages(LINE_CALLSTATE).back() == LINECALLSTATE_IDLE;
        }));
        EXPECT_EQ(s->lineDeallocateCall(call), 0);
        EXPECT_EQ(s->lineClose(line), 0);
        Recorder::messages.clear();
    }
}

TEST_F(Service, DeallocatingALiveCallIsRefused) {
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    const HLINE line = Open(*s, app);
    HCALL call = 0;
    ASSERT_GT(s->lineMakeCallA(line, &call, "5551212", 0, nullptr), 0);
    ASSERT_TRUE(WaitFor([&] {
        return !Messages(LINE_CALLSTATE).empty() &&
               Messages(LINE_CALLSTATE).back() == LINECALLSTATE_CONNECTED;
    }));
    EXPECT_EQ(s->lineDeallocateCall(call), LINEERR_INVALCALLSTATE);
    EXPECT_EQ(s->lineClose(line), 0);
    EXPECT_EQ(s->census().calls, 0u) << "closing the line drops and frees its calls";
}

TEST_F(Service, ShutdownWithMessagesQueuedDeliversNothing) {
    auto log = std::make_shared<ScriptedDriver::Log>();
    ServiceSetup setup;
    setup.ini = "[line0]\ndriver=scripted\n";
    setup.drivers = WithScripted(log);
    auto s = MakeService(setup);
    const HLINEAPP app = Initialize(*s);
    const HLINE line = Open(*s, app);
    HCALL call = 0;
    const LONG request = s->lineMakeCallA(line, &call, "1", 0, nullptr);
    ASSERT_GT(request, 0);
    log->sink->RequestCompleted(log->lastRequest, 0);
    log->sink->CallState(log->lastCall, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
    log->sink->CallState(log->lastCall, LINECALLSTATE_CONNECTED, 0);
    EXPECT_EQ(s->census().queuedMessages, 3u);
    EXPECT_EQ(s->lineShutdown(app), 0);
    Spin(50);
    EXPECT_TRUE(Recorder::messages.empty());
    EXPECT_EQ(call, 0u) << "no handle is written for a reply that is never delivered";
    EXPECT_TRUE(Clean(*s));
    EXPECT_EQ(log->calls, (std::vector<std::string>{"Open", "MakeCall 1", "ReleaseCall", "Close"}));
}

TEST_F(Service, CloseAnswersOutstandingRequestsAndDiscardsTheRest) {
    auto log = std::make_shared<ScriptedDriver::Log>();
    ServiceSetup setup;
    setup.ini = "[line0]\ndriver=scripted\n";
    setup.drivers = WithScripted(log);
    auto s = MakeService(setup);
    const HLINEAPP app = Initialize(*s);

    // A call request still outstanding at close fails in its reply.
    HLINE line = Open(*s, app, 0, 7);
    HCALL call = 0;
    const LONG make = s->lineMakeCallA(line, &call, "1", 0, nullptr);
    EXPECT_EQ(s->lineClose(line), 0);
    Spin(30);
    ASSERT_EQ(Recorder::messages.size(), 1u);
    EXPECT_EQ(Recorder::messages[0].message, LINE_REPLY);
    EXPECT_EQ(Recorder::messages[0].p1, static_cast<DWORD>(make));
    EXPECT_EQ(static_cast<LONG>(Recorder::messages[0].p2), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(Recorder::messages[0].instance, 7u);

    // A drop outstanding at close succeeds; the call states queued before are dropped.
    Recorder::messages.clear();
    line = Open(*s, app, 0, 8);
    ASSERT_GT(s->lineMakeCallA(line, &call, "1", 0, nullptr), 0);
    log->sink->RequestCompleted(log->lastRequest, 0);
    Spin(30);
    ASSERT_NE(call, 0u);
    const LONG drop = s->lineDrop(call, nullptr, 0);
    ASSERT_GT(drop, 0);
    log->sink->CallState(log->lastCall, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
    EXPECT_EQ(s->lineClose(line), 0);
    Spin(30);
    ASSERT_EQ(Recorder::messages.size(), 2u);
    EXPECT_EQ(Recorder::messages[1].message, LINE_REPLY);
    EXPECT_EQ(Recorder::messages[1].p1, static_cast<DWORD>(drop));
    EXPECT_EQ(Recorder::messages[1].p2, 0u);
    EXPECT_EQ(s->lineDeallocateCall(call), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(s->lineShutdown(app), 0);
    EXPECT_TRUE(Clean(*s));
}

TEST_F(Service, DropAnsweredWhenTheCallIsFreedBeforeItsReply) {
    // Hardware may report idle before it confirms the drop; freeing the call then answers it.
    auto log = std::make_shared<ScriptedDriver::Log>();
    ServiceSetup setup;
    setup.ini = "[line0]\ndriver=scripted\n";
    setup.drivers = WithScripted(log);
    auto s = MakeService(setup);
    const HLINEAPP app = Initialize(*s);
    const HLINE line = Open(*s, app);
    HCALL call = 0;
    ASSERT_GT(s->lineMakeCallA(line, &call, "1", 0, nullptr), 0);
    log->sink->RequestCompleted(log->lastRequest, 0);
    Spin(20);
    const LONG drop = s->lineDrop(call, nullptr, 0);
    ASSERT_GT(drop, 0);
    log->sink->CallState(log->lastCall, LINECALLSTATE_IDLE, 0);
    Spin(20);
    EXPECT_EQ(s->lineDeallocateCall(call), 0);
    EXPECT_EQ(s->census().requests, 0u);
    log->sink->RequestCompleted(drop, 0); // late: ignored
    Spin(20);
    EXPECT_EQ(Messages(LINE_REPLY), (std::vector<DWORD>{1, static_cast<DWORD>(drop)}));
    EXPECT_EQ(s->lineClose(line), 0);
}

TEST_F(Service, NothingIsDeliveredInsideAnOperation) {
    // Line 1 takes 80 ms to open in a nested event loop; line 0's call progresses meanwhile.
    auto s = MakeService(std::string(kFastLine) + "[line1]\ndriver=simulated\nopen_ms=80\n");
    const HLINEAPP app = Initialize(*s);
    const HLINE line0 = Open(*s, app);
    bool inside = false;
    int deliveredInside = 0;
    Recorder::hook = [&](const svctest::Message&) { deliveredInside += inside ? 1 : 0; };
    HCALL call = 0;
    ASSERT_GT(s->lineMakeCallA(line0, &call, "5551212", 0, nullptr), 0);
    inside = true;
    const HLINE line1 = Open(*s, app, 1);
    inside = false;
    EXPECT_NE(line1, 0u);
    EXPECT_EQ(deliveredInside, 0);
    EXPECT_GT(s->census().queuedMessages, 0u) << "the call progressed while line 1 was opening";
    ASSERT_TRUE(WaitFor([&] {
        return !Messages(LINE_CALLSTATE).empty() &&
               Messages(LINE_CALLSTATE).back() == LINECALLSTATE_CONNECTED;
    }));
    EXPECT_EQ(Messages(LINE_CALLSTATE),
              (std::vector<DWORD>{LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING,
                                  LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED}));
}

TEST_F(Service, ShutdownWhileTheDeviceIsOpeningFailsTheOpen) {
    auto log = std::make_shared<ScriptedDriver::Log>();
    ServiceSetup setup;
    setup.ini = "[line0]\ndriver=scripted\n";
    setup.drivers = WithScripted(log);
    auto s = MakeService(setup);
    const HLINEAPP app = Initialize(*s);
    log->duringOpen = [&] { EXPECT_EQ(s->lineShutdown(app), 0); };
    HLINE line = 0;
    EXPECT_EQ(s->lineOpen(app, 0, &line, 0x00030000, 0, 1, 1, 4, nullptr), LINEERR_INVALAPPHANDLE);
    EXPECT_EQ(line, 0u);
    EXPECT_EQ(log->calls, (std::vector<std::string>{"Open", "Close"}));
    EXPECT_TRUE(Clean(*s));
}

TEST_F(Service, CallbackMayCallTheServiceAgain) {
    auto s = MakeService();
    const HLINEAPP app = Initialize(*s);
    const HLINE line = Open(*s, app);
    HCALL call = 0;
    // Drop from inside the callback at connect, then deallocate and close at idle, the way
    // the line object does.
    Recorder::hook = [&](const svctest::Message& m) {
        if (m.message != LINE_CALLSTATE)
            return;
        if (m.p1 == LINECALLSTATE_CONNECTED) {
            EXPECT_GT(s->lineDrop(m.hDevice, nullptr, 0), 0);
        }
        if (m.p1 == LINECALLSTATE_IDLE) {
            EXPECT_EQ(s->lineDeallocateCall(m.hDevice), 0);
            EXPECT_EQ(s->lineClose(line), 0);
            EXPECT_EQ(s->lineShutdown(app), 0);
        }
    };
    ASSERT_GT(s->lineMakeCallA(line, &call, "5551212", 0, nullptr), 0);
    ASSERT_TRUE(WaitFor([&] { return s->census().apps == 0; }));
    Spin(30);
    EXPECT_EQ(Messages(LINE_CALLSTATE).back(), LINECALLSTATE_IDLE);
    EXPECT_TRUE(Clean(*s));
}

TEST_F(Service, DeviceThatDisappearsClosesTheLine) {
    auto log = std::make_shared<ScriptedDriver::Log>();
    ServiceSetup setup;
    setup.ini = "[line0]\ndriver=scripted\n";
    setup.drivers = WithScripted(log);
    auto s = MakeService(setup);
    const HLINEAPP app = Initialize(*s);
    const HLINE line = Open(*s, app, 0, 9);
    HCALL call = 0;
    const LONG make = s->lineMakeCallA(line, &call, "1", 0, nullptr);
    log->sink->DeviceRemoved();
    Spin(30);
    ASSERT_EQ(Recorder::messages.size(), 2u);
    EXPECT_EQ(Recorder::messages[0].message, LINE_REPLY);
    EXPECT_EQ(Recorder::messages[0].p1, static_cast<DWORD>(make));
    EXPECT_EQ(Recorder::messages[1].message, LINE_CLOSE);
    EXPECT_EQ(Recorder::messages[1].hDevice, line);
    EXPECT_EQ(Recorder::messages[1].instance, 9u);
    EXPECT_EQ(s->lineClose(line), LINEERR_INVALLINEHANDLE);
    HLINE again = 0;
    EXPECT_EQ(s->lineOpen(app, 0, &again, 0x00030000, 0, 1, 1, 4, nullptr), LINEERR_NODEVICE);
    DWORD v = 0;
    LINEEXTENSIONID ext{};
    EXPECT_EQ(s->lineNegotiateAPIVersion(app, 0, 0x00010003, 0x00030000, &v, &ext), LINEERR_NODEVICE);
}

TEST_F(Service, SimulatedLineThatVanishesWhileOpen) {
    auto s = MakeService(std::string(kFastLine) + "vanish_ms=20\n");
    const HLINEAPP app = Initialize(*s);
    const HLINE line = Open(*s, app);
    ASSERT_TRUE(WaitFor([&] { return !Messages(LINE_CLOSE).empty(); }));
    EXPECT_EQ(s->lineClose(line), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(s->lineShutdown(app), 0);
    EXPECT_TRUE(Clean(*s));
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

} // namespace
