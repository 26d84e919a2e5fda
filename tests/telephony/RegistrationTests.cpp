// Registration, version negotiation, the current line, the error register and the release of
// handles at a second Create and at destruction.
#include "tests/support/LineTestSupport.h"
#include "telephony/mTAPIvb.h"

using namespace linetest;
using ::testing::Field;
using Fake = testsupport::FakeTapi;

namespace {
constexpr LONG kIncompatible = LONG(LINEERR_INCOMPATIBLEAPIVERSION);
} // namespace

TEST_F(LineTest, FailedInitializeRecordsTheCodeOnceAndReleasesNothing) {
    fake->initializeResult = LINEERR_NOMEM;
    fake->highestVersionSupported = 0x00020000; // outputs of the failed call, not to be taken
    EXPECT_FALSE(line->Create());
    EXPECT_EQ(line->LastError(), LINEERR_NOMEM);
    EXPECT_EQ(line->numLines(), 0u);
    EXPECT_EQ(line->HiAPI(), 0x00030000u);
    ExpectRuntimeError(380, [&] { line->setCurrentLineID(0); });
    EXPECT_EQ(line->LastError(), 0) << "reading clears the register";
    ExpectRuntimeError(9, [&] { line->NegotiatedAPIVersion(); });
    fake->clearRecords();
    line.reset();
    EXPECT_TRUE(fake->log.empty());
}

TEST_F(LineTest, NoLineDevicesKeepsTheRegistrationUntilDestruction) {
    fake->devices.clear();
    EXPECT_FALSE(line->Create());
    EXPECT_EQ(line->LastError(), 0);
    ExpectRuntimeError(9, [&] { line->ExtAPI_ID0(); });
    ExpectRuntimeError(9, [&] { line->OpenLine(); });
    EXPECT_EQ(fake->count("lineOpen"), 0u);
    line.reset();
    EXPECT_THAT(fake->shutdownCalls, ElementsAre(fake->lineAppHandle));
}

// A device whose negotiation fails counts for nothing and is not recorded until its caps are fetched.
TEST_F(LineTest, CreateNegotiatesEveryDeviceAndOneFailureStaysLocal) {
    fake->devices.resize(4);
    fake->devices[0].apiVersion = fake->devices[3].apiVersion = 0x00020001;
    fake->devices[0].extensionID = {1, 2, 3, 4};
    fake->devices[2] = {kIncompatible, 0x00020002, {9, 9, 9, 9}, kIncompatible, {}}; // scribbled out-values
    fake->devices[1].devCaps.text(kLineName, 300, "Line B");
    fake->highestVersionSupported = 0x00020002; // written back into HiAPI
    line->setLowAPI(0x00010004);
    ASSERT_TRUE(line->Create());
    const auto& init = fake->initializeCalls.at(0);
    EXPECT_EQ(
        std::tie(init.appName, init.callback, init.instance, init.params.dwTotalSize, init.params.dwOptions),
        std::make_tuple("OrvoDial", &mTAPIvb::LineCallback, mTAPIDecs::ApplicationInstance(),
                        DWORD{sizeof(LINEINITIALIZEEXPARAMS)},
                        DWORD{LINEINITIALIZEEXOPTION_USEHIDDENWINDOW}));
    EXPECT_EQ(line->HiAPI(), 0x00020002u);
    ASSERT_EQ(fake->negotiateCalls.size(), 4u);
    for (DWORD i = 0; i < 4; ++i) {
        const auto& n = fake->negotiateCalls[i];
        EXPECT_EQ(std::tie(n.lineApp, n.deviceID, n.lowVersion, n.highVersion),
                  std::make_tuple(fake->lineAppHandle, i, 0x00010004u, 0x00020002u));
    }
    EXPECT_EQ(line->state().highestAPIVersion, 0x00020001u) << "the failed device's version is not counted";
    EXPECT_EQ(line->LastError(), 0) << "a failed negotiation is not recorded";
    EXPECT_EQ(line->NegotiatedAPIVersion(), 0x00020001u);
    EXPECT_EQ(std::make_tuple(line->ExtAPI_ID0(), line->ExtAPI_ID1(), line->ExtAPI_ID2(), line->ExtAPI_ID3()),
              std::make_tuple(1u, 2u, 3u, 4u));
    line->setCurrentLineID(1);
    EXPECT_EQ(line->NegotiatedAPIVersion(), 0x00020000u);

    line->setCurrentLineID(2);
    EXPECT_EQ(line->NegotiatedAPIVersion(), 0u);
    EXPECT_EQ(line->ExtAPI_ID0() | line->ExtAPI_ID1() | line->ExtAPI_ID2() | line->ExtAPI_ID3(), 0u);
    EXPECT_EQ(std::tie(fake->devCapsCalls.back().deviceID, fake->devCapsCalls.back().apiVersion),
              std::make_tuple(2u, 0u));
    EXPECT_EQ(line->LastError(), kIncompatible);
    EXPECT_EQ(line->LineName(), "Line B") << "a failed fetch's buffer is not taken for capabilities";
}

TEST_F(LineTest, CurrentLineIdOutOfRangeRaises380AndChangesNothing) {
    fake->devices.resize(3);
    ASSERT_TRUE(line->Create());
    line->setCurrentLineID(2);
    const auto fetches = fake->count("lineGetDevCapsA");
    for (LONG bad : {3, -1, 0x7FFFFFFF}) {
        SCOPED_TRACE(bad);
        ExpectRuntimeError(380, [&] { line->setCurrentLineID(bad); });
        EXPECT_EQ(line->CurrentLineID(), 2u);
    }
    EXPECT_EQ(fake->count("lineGetDevCapsA"), fetches);
}

// A later failure overwrites the register, a success does not clear it, reading does.
TEST_F(LineTest, LastErrorKeepsTheLatestFailureUntilRead) {
    fake->configDialogResult = LINEERR_INVALDEVICECLASS;
    EXPECT_FALSE(line->ConfigDialog());
    fake->configDialogResult = 0;
    EXPECT_TRUE(line->ConfigDialog());
    fake->translateDialogResult = LINEERR_INVALPARAM;
    EXPECT_FALSE(line->DialingPropertiesDialog());
    EXPECT_EQ(line->LastError(), LINEERR_INVALPARAM);
    EXPECT_EQ(line->LastError(), 0);
}

TEST_F(LineTest, DestructionReleasesCallLineAndApplicationInOrderIgnoringFailures) {
    callSetUp();
    EventRecorder events;
    line->Subscribe(&events);
    fake->deallocateResult = LINEERR_INVALCALLHANDLE;
    fake->closeResult = LINEERR_INVALLINEHANDLE;
    fake->clearRecords();
    line.reset();
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose", "lineShutdown"));
    EXPECT_EQ(std::tie(fake->deallocateCalls[0], fake->closeCalls[0], fake->shutdownCalls[0]),
              std::tie(fake->callHandle, fake->lineHandle, fake->lineAppHandle));
    EXPECT_TRUE(events.names.empty());
}

TEST_F(LineTest, SecondCreateReleasesTheFirstRegistration) {
    fake->devices.resize(2);
    fake->devices[1].apiVersion = 0x00030000;
    callSetUp();
    EXPECT_EQ(line->state().highestAPIVersion, 0x00030000u);
    fake->devices.resize(1);
    fake->lineAppHandle = 0x0A01;
    fake->clearRecords();
    ASSERT_TRUE(line->Create());
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose", "lineShutdown", "lineInitializeExA",
                                       "lineNegotiateAPIVersion", "lineGetDevCapsA"));
    EXPECT_THAT(fake->shutdownCalls, ElementsAre(0x0A00u));
    EXPECT_EQ(Tie(line->state()), std::make_tuple(0x0A01u, 0u, 0u, 0u, 0u, 0x00020000u))
        << "nothing of the first registration survives, its highest version included";
}

// A second registration with fewer devices starts again on line 0, whose capabilities it fetches.
TEST_F(LineTest, SecondCreateWithFewerDevicesReturnsToLineZero) {
    fake->devices.resize(3);
    fake->devices[0].devCaps.text(kLineName, 300, "Zero");
    ASSERT_TRUE(line->Create());
    line->setCurrentLineID(2);
    fake->devices.resize(1);
    fake->clearRecords();
    ASSERT_TRUE(line->Create());
    EXPECT_EQ(line->CurrentLineID(), 0u);
    EXPECT_THAT(fake->devCapsCalls, ElementsAre(Field(&Fake::DevCapsCall::deviceID, 0u)));
    EXPECT_EQ(line->LastError(), 0);
    EXPECT_EQ(line->LineName(), "Zero");
    EXPECT_TRUE(line->OpenLine());
    EXPECT_EQ(fake->openCalls.back().deviceID, 0u);
}
