// Registration of the line application, version negotiation, the current line, the
// error register and the release of handles at a second Create and at destruction.
#include "LineTestSupport.h"
#include "mTAPIvb.h"

#include <gmock/gmock.h>

using linetest::LineTest;
using ::testing::ElementsAre;

namespace {

template <typename Fn> void ExpectRuntimeError(int number, Fn&& fn) {
    try {
        fn();
        ADD_FAILURE() << "expected run-time error " << number;
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), number);
        EXPECT_EQ(e.text(), number == 380 ? "Invalid property value" : "Subscript out of range");
    }
}

} // namespace

TEST_F(LineTest, ConstructionMakesNoCallAndHoldsTheDefaultRange) {
    EXPECT_TRUE(fake->log.empty());
    EXPECT_EQ(line->LowAPI(), 0x00010003u);
    EXPECT_EQ(line->HiAPI(), 0x00030000u);
    EXPECT_EQ(line->numLines(), 0u);
    line.reset();
    EXPECT_TRUE(fake->log.empty()) << "nothing registered, nothing to release";
}

TEST_F(LineTest, CreateRegistersWithHiddenWindowNotification) {
    ASSERT_TRUE(line->Create());
    ASSERT_EQ(fake->initializeCalls.size(), 1u);
    const auto& call = fake->initializeCalls[0];
    EXPECT_EQ(call.appName, "OrvoDial");
    EXPECT_EQ(call.callback, &mTAPIvb::LineCallback);
    EXPECT_EQ(call.instance, mTAPIDecs::ApplicationInstance());
    EXPECT_EQ(call.apiVersionIn, 0x00030000u);
    EXPECT_EQ(call.params.dwTotalSize, sizeof(LINEINITIALIZEEXPARAMS));
    EXPECT_EQ(call.params.dwNeededSize, 0u);
    EXPECT_EQ(call.params.dwUsedSize, 0u);
    EXPECT_EQ(call.params.dwOptions, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW);
    const HANDLE event = call.params.Handles.hEvent; // packed: read by value
    EXPECT_EQ(event, nullptr);
    EXPECT_EQ(call.params.dwCompletionKey, 0u);
    EXPECT_EQ(line->state().hLineApp, fake->lineAppHandle);
    EXPECT_THAT(fake->log, ElementsAre("lineInitializeExA", "lineNegotiateAPIVersion", "lineGetDevCapsA"));
}

TEST_F(LineTest, FailedInitializeRecordsTheCodeOnceAndReleasesNothing) {
    fake->initializeResult = LINEERR_NOMEM;
    EXPECT_FALSE(line->Create());
    EXPECT_EQ(line->numLines(), 0u);
    EXPECT_EQ(line->LastError(), LINEERR_NOMEM);
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
    EXPECT_EQ(line->numLines(), 0u);
    ExpectRuntimeError(380, [&] { line->setCurrentLineID(0); });
    ExpectRuntimeError(9, [&] { line->NegotiatedAPIVersion(); });
    ExpectRuntimeError(9, [&] { line->ExtAPI_ID0(); });
    ExpectRuntimeError(9, [&] { line->OpenLine(); });
    EXPECT_EQ(fake->count("lineOpen"), 0u);
    EXPECT_EQ(line->state().hLine, 0u);
    EXPECT_EQ(line->LineName(), "");
    EXPECT_EQ(line->mediamodes(), 0u);
    EXPECT_FALSE(line->LineSupportsVoiceCalls());
    line.reset();
    EXPECT_THAT(fake->shutdownCalls, ElementsAre(fake->lineAppHandle));
}

TEST(LineNegotiation, EveryDeviceIsNegotiatedAndOneFailureStaysLocal) {
    auto fake = std::make_shared<testsupport::FakeTapi>();
    fake->devices.resize(4);
    fake->highestVersionSupported = 0x00020002; // TAPI's own highest, written back into HiAPI
    fake->devices[0].apiVersion = 0x00020001;
    fake->devices[0].extensionID = {1, 2, 3, 4};
    fake->devices[1].apiVersion = 0x00020000;
    fake->devices[2].negotiateResult = LINEERR_INCOMPATIBLEAPIVERSION;
    fake->devices[2].apiVersion = 0x00020002; // scribbled out-values of a failed call
    fake->devices[2].extensionID = {9, 9, 9, 9};
    fake->devices[2].devCapsResult = LINEERR_INCOMPATIBLEAPIVERSION;
    fake->devices[3].apiVersion = 0x00020001; // equal to the highest so far
    fake->devices[1].devCaps.text(offsetof(LINEDEVCAPS, dwLineNameSize), 300, "Line B");

    auto line = CvbTAPILine::New(fake);
    line->setLowAPI(0x00010004);
    ASSERT_TRUE(line->Create());
    EXPECT_EQ(line->HiAPI(), 0x00020002u);
    EXPECT_EQ(line->numLines(), 4u);
    ASSERT_EQ(fake->negotiateCalls.size(), 4u);
    for (DWORD i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fake->negotiateCalls[i].deviceID, i);
        EXPECT_EQ(fake->negotiateCalls[i].lineApp, fake->lineAppHandle);
        EXPECT_EQ(fake->negotiateCalls[i].lowVersion, 0x00010004u);
        EXPECT_EQ(fake->negotiateCalls[i].highVersion, 0x00020002u) << "the bound TAPI wrote back";
    }
    EXPECT_EQ(line->state().highestAPIVersion, 0x00020001u);
    EXPECT_EQ(line->LastError(), 0) << "a failed negotiation is not recorded";

    EXPECT_EQ(line->NegotiatedAPIVersion(), 0x00020001u);
    EXPECT_EQ(line->ExtAPI_ID0(), 1u);
    EXPECT_EQ(line->ExtAPI_ID1(), 2u);
    EXPECT_EQ(line->ExtAPI_ID2(), 3u);
    EXPECT_EQ(line->ExtAPI_ID3(), 4u);
    line->setCurrentLineID(1);
    EXPECT_EQ(line->NegotiatedAPIVersion(), 0x00020000u);

    line->setCurrentLineID(2);
    EXPECT_EQ(line->CurrentLineID(), 2u);
    EXPECT_EQ(line->NegotiatedAPIVersion(), 0u);
    EXPECT_EQ(line->ExtAPI_ID0() | line->ExtAPI_ID1() | line->ExtAPI_ID2() | line->ExtAPI_ID3(), 0u);
    EXPECT_EQ(fake->devCapsCalls.back().deviceID, 2u);
    EXPECT_EQ(fake->devCapsCalls.back().apiVersion, 0u);
    EXPECT_EQ(line->LastError(), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(line->LineName(), "Line B") << "capabilities still describe the line fetched before";
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
    line->setCurrentLineID(2);
    EXPECT_EQ(fake->count("lineGetDevCapsA"), fetches + 1) << "setting the same line refetches";
}

TEST_F(LineTest, FailedCapabilityFetchStillLetsCreateSucceed) {
    fake->devices[0].devCapsResult = LINEERR_OPERATIONFAILED;
    EXPECT_TRUE(line->Create());
    EXPECT_EQ(line->LastError(), LINEERR_OPERATIONFAILED);
}

TEST_F(LineTest, LastErrorKeepsTheLatestFailureUntilRead) {
    ASSERT_TRUE(line->Create());
    fake->configDialogResult = LINEERR_INVALDEVICECLASS;
    EXPECT_FALSE(line->ConfigDialog());
    fake->configDialogResult = 0;
    EXPECT_TRUE(line->ConfigDialog());
    fake->translateDialogResult = LINEERR_INVALPARAM;
    EXPECT_FALSE(line->DialingPropertiesDialog());
    EXPECT_EQ(line->LastError(), LINEERR_INVALPARAM)
        << "a later failure overwrites, a success does not clear";
    EXPECT_EQ(line->LastError(), 0);
}

TEST_F(LineTest, DestructionReleasesCallLineAndApplicationInOrder) {
    callSetUp();
    fake->clearRecords();
    line.reset();
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose", "lineShutdown"));
    EXPECT_THAT(fake->deallocateCalls, ElementsAre(fake->callHandle));
    EXPECT_THAT(fake->closeCalls, ElementsAre(fake->lineHandle));
    EXPECT_THAT(fake->shutdownCalls, ElementsAre(fake->lineAppHandle));
}

TEST_F(LineTest, DestructionIgnoresFailuresAndRaisesNoEvent) {
    callSetUp();
    linetest::EventRecorder events;
    line->Subscribe(&events);
    fake->deallocateResult = LINEERR_INVALCALLHANDLE;
    fake->closeResult = LINEERR_INVALLINEHANDLE;
    fake->clearRecords();
    line.reset();
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose", "lineShutdown"));
    EXPECT_TRUE(events.seen.empty());
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
    const auto s = line->state();
    EXPECT_EQ(s.hLineApp, 0x0A01u);
    EXPECT_EQ(s.hLine, 0u);
    EXPECT_EQ(s.hCall, 0u);
    EXPECT_EQ(s.highestAPIVersion, 0x00020000u) << "the first registration's highest must not survive";
    EXPECT_EQ(line->numLines(), 1u);
}

// A second registration that finds fewer devices must not keep a current line that no
// longer exists: it starts again on line 0, whose capabilities it fetches.
TEST_F(LineTest, SecondCreateWithFewerDevicesReturnsToLineZero) {
    fake->devices.resize(3);
    fake->devices[0].devCaps.text(offsetof(LINEDEVCAPS, dwLineNameSize), 300, "Zero");
    ASSERT_TRUE(line->Create());
    line->setCurrentLineID(2);

    fake->devices.resize(1);
    fake->clearRecords();
    ASSERT_TRUE(line->Create());
    EXPECT_EQ(line->CurrentLineID(), 0u);
    ASSERT_EQ(fake->devCapsCalls.size(), 1u);
    EXPECT_EQ(fake->devCapsCalls[0].deviceID, 0u);
    EXPECT_EQ(line->LastError(), 0);
    EXPECT_EQ(line->LineName(), "Zero");
    EXPECT_EQ(line->NegotiatedAPIVersion(), fake->devices[0].apiVersion);
    EXPECT_TRUE(line->OpenLine());
    EXPECT_EQ(fake->openCalls.back().deviceID, 0u);
}
