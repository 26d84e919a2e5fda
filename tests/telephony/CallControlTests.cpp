// Opening and closing the line, requesting and dropping a call, and the messages the
// system sends back: the call's state machine, refusals for the object's own state, and
// events delivered to subscribers that change the subscription or let go of the object.
#include "LineTestSupport.h"
#include "mTAPIvb.h"

#include <gmock/gmock.h>

#include <utility>

using linetest::EventRecorder;
using linetest::EventText;
using linetest::LineTest;
using linetest::Param;
using ::testing::ElementsAre;

namespace {

class CallTest : public LineTest {
  protected:
    CallTest() { line->Subscribe(&events); }
    EventRecorder events{line};
};

} // namespace

TEST_F(CallTest, OpenLinePassesTheCurrentLineAndItsOwnAddress) {
    fake->devices.resize(2);
    fake->devices[1].apiVersion = 0x00020001;
    ASSERT_TRUE(line->Create());
    line->setCurrentLineID(1);
    ASSERT_TRUE(
        line->OpenLine(LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM));
    ASSERT_EQ(fake->openCalls.size(), 1u);
    const auto& call = fake->openCalls[0];
    EXPECT_EQ(call.lineApp, fake->lineAppHandle);
    EXPECT_EQ(call.deviceID, 1u);
    EXPECT_EQ(call.apiVersion, 0x00020001u);
    EXPECT_EQ(call.extVersion, 0u);
    EXPECT_EQ(call.instance, reinterpret_cast<DWORD_PTR>(line.get()));
    EXPECT_EQ(call.privileges, LINECALLPRIVILEGE_NONE);
    EXPECT_EQ(call.mediaModes, LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM);
    EXPECT_TRUE(call.callParamsNull);
    EXPECT_EQ(line->state().hLine, fake->lineHandle);
    EXPECT_EQ(line.use_count(), 1) << "the registered instance holds no reference";
}

// Each refusal for the object's own state returns false, calls nothing and leaves an
// earlier error in the register.
TEST_F(CallTest, RefusalsMakeNoCallAndLeaveLastErrorAlone) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::function<bool()> act;
    };
    const std::vector<Case> cases = {
        {"OpenLineTwice", [&] { ASSERT_TRUE(line->OpenLine()); }, [&] { return line->OpenLine(); }},
        {"MakeCallOnClosedLine", [] {}, [&] { return line->MakeCallAsynch("123"); }},
        {"DropWithoutCall", [&] { ASSERT_TRUE(line->OpenLine()); }, [&] { return line->DropCallAsynch(); }},
        {"CloseClosedLine", [] {}, [&] { return line->CloseLine(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<testsupport::FakeTapi>();
        fake->devices.resize(1);
        line = CvbTAPILine::New(fake);
        ASSERT_TRUE(line->Create());
        c.arrange();
        fake->configDialogResult = LINEERR_INVALPARAM; // plant a recorded failure
        ASSERT_FALSE(line->ConfigDialog());
        fake->clearRecords();
        EXPECT_FALSE(c.act());
        EXPECT_TRUE(fake->log.empty());
        EXPECT_EQ(line->LastError(), LINEERR_INVALPARAM);
    }
}

TEST_F(CallTest, NormalCallAsTheDialCommandRunsIt) {
    createAndOpen();
    ASSERT_TRUE(line->MakeCallAsynch("+1 (555) 123-4567"));
    ASSERT_EQ(fake->makeCallCalls.size(), 1u);
    EXPECT_EQ(fake->makeCallCalls[0].line, fake->lineHandle);
    EXPECT_EQ(fake->makeCallCalls[0].destAddress, "+1 (555) 123-4567");
    EXPECT_EQ(fake->makeCallCalls[0].countryCode, 0u);
    EXPECT_TRUE(fake->makeCallCalls[0].callParamsNull);
    EXPECT_EQ(line->state().makeCallRequestID, DWORD{kMakeCallRequest});

    fake->deliver(LINE_REPLY, kMakeCallRequest, 0);
    for (DWORD s :
         {LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK})
        fake->deliver(LINE_CALLSTATE, s, 0, 0, fake->callHandle);
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0, fake->callHandle);
    EXPECT_EQ(line->state().makeCallRequestID, 0u);
    EXPECT_EQ(line->state().hLine, fake->lineHandle);

    ASSERT_TRUE(line->DropCallAsynch());
    EXPECT_EQ(fake->dropCalls.back().call, fake->callHandle);
    EXPECT_TRUE(fake->dropCalls.back().userInfoNull);
    EXPECT_EQ(fake->dropCalls.back().userInfoSize, 0u);
    EXPECT_EQ(line->state().dropCallRequestID, DWORD{kDropRequest});
    ASSERT_TRUE(line->CloseLine());
    EXPECT_EQ(line->state().hLine, 0u);
    EXPECT_EQ(line->state().hCall, fake->callHandle) << "closing keeps the call handle";

    fake->deliver(LINE_REPLY, kDropRequest, 0);
    EXPECT_EQ(line->state().dropCallRequestID, 0u);
    EXPECT_THAT(events.names(), ElementsAre("MakeCallResult(0)", "Connected", "DropCallResult(0)"));
}

TEST_F(CallTest, NumberIsPassedInAnsiAndEmptyAsNull) {
    createAndOpen();
    EXPECT_TRUE(line->MakeCallAsynch("Zürich 1"));
    EXPECT_TRUE(line->MakeCallAsynch());
    ASSERT_EQ(fake->makeCallCalls.size(), 2u);
    EXPECT_EQ(fake->makeCallCalls[0].destAddress, "Z\xFCrich 1");
    EXPECT_EQ(fake->makeCallCalls[1].destAddress, std::nullopt);
}

// A failure reported by the system is recorded and returned as false, and leaves no
// pending request and no line opened behind.
TEST_F(CallTest, SystemFailuresAreRecorded) {
    struct Case {
        const char* name;
        bool lineOpen; // whether the operation needs the line open
        LONG* result;
        LONG code;
        std::function<bool()> act;
    };
    const Case cases[] = {
        {"OpenLine", false, &fake->openResult, static_cast<LONG>(LINEERR_RESOURCEUNAVAIL),
         [&] { return line->OpenLine(); }},
        {"MakeCall", true, &fake->makeCallResult, static_cast<LONG>(LINEERR_CALLUNAVAIL),
         [&] { return line->MakeCallAsynch("1"); }},
        {"MakeCallZero", true, &fake->makeCallResult, 0, [&] { return line->MakeCallAsynch("1"); }},
        {"Drop", false, &fake->dropResult, static_cast<LONG>(LINEERR_INVALCALLHANDLE),
         [&] { return line->DropCallAsynch(); }},
    };
    callSetUp(); // leaves a call handle, which closing the line keeps
    ASSERT_TRUE(line->CloseLine());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.lineOpen) {
            ASSERT_TRUE(line->OpenLine());
        }
        const LONG programmed = std::exchange(*c.result, c.code);
        EXPECT_FALSE(c.act());
        *c.result = programmed;
        EXPECT_EQ(line->LastError(), c.code);
        const auto state = line->state();
        EXPECT_EQ(state.hLine != 0, c.lineOpen) << "the caller closes the line";
        EXPECT_EQ(state.makeCallRequestID, 0u);
        EXPECT_EQ(state.dropCallRequestID, 0u);
        line->CloseLine();
    }
    EXPECT_EQ(fake->openCalls.back().privileges, LINECALLPRIVILEGE_NONE);
    EXPECT_EQ(fake->openCalls.back().mediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
}

TEST_F(CallTest, RejectedByReplyClosesTheLineBeforeReporting) {
    createAndOpen();
    fake->callHandle = 0; // the system hands out no call
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    fake->deliver(LINE_REPLY, kMakeCallRequest, Param(LINEERR_CALLUNAVAIL));
    EXPECT_THAT(events.names(), ElementsAre(EventText("MakeCallResult", LINEERR_CALLUNAVAIL)));
    EXPECT_EQ(events.seen[0].state.hLine, 0u) << "line already closed when the event is raised";
    EXPECT_EQ(events.seen[0].state.makeCallRequestID, 0u);
    EXPECT_THAT(fake->closeCalls, ElementsAre(fake->lineHandle));

    // The same code passed zero-extended, as a 32-bit system hands it over.
    ASSERT_TRUE(line->OpenLine());
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    fake->deliver(LINE_REPLY, kMakeCallRequest, static_cast<DWORD>(LINEERR_CALLUNAVAIL));
    EXPECT_EQ(events.names().back(), EventText("MakeCallResult", LINEERR_CALLUNAVAIL));
}

TEST_F(CallTest, IdleWithCallDeallocatesOnceClosesAndReports) {
    callSetUp();
    fake->clearRecords();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0, fake->callHandle);
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose"));
    EXPECT_THAT(fake->deallocateCalls, ElementsAre(fake->callHandle));
    ASSERT_EQ(events.seen.size(), 2u);
    EXPECT_EQ(events.seen[1].event, "Idle");
    EXPECT_EQ(events.seen[1].state.hCall, 0u);
    EXPECT_EQ(events.seen[1].state.hLine, 0u);

    fake->clearRecords();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE);
    EXPECT_TRUE(fake->log.empty()) << "a repeated idle has nothing to release";
    EXPECT_EQ(events.names().back(), "Idle");
    EXPECT_FALSE(line->DropCallAsynch());
}

TEST_F(CallTest, DisconnectedRequestsADropWhoseReplyIsReported) {
    callSetUp();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY);
    ASSERT_EQ(fake->dropCalls.size(), 1u);
    EXPECT_EQ(events.seen.back().event, "Disconnected");
    EXPECT_EQ(events.seen.back().state.dropCallRequestID, DWORD{kDropRequest}) << "drop requested first";
    fake->deliver(LINE_REPLY, kDropRequest, Param(LINEERR_INVALCALLSTATE));
    EXPECT_THAT(events.names(), ElementsAre("MakeCallResult(0)", "Disconnected",
                                            EventText("DropCallResult", LINEERR_INVALCALLSTATE)));
}

TEST_F(CallTest, IdleAndDisconnectedWithoutCallOnlyReport) {
    createAndOpen();
    fake->clearRecords();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE);
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED);
    EXPECT_TRUE(fake->log.empty());
    EXPECT_EQ(line->state().hLine, fake->lineHandle) << "the line stays open without a call";
    EXPECT_THAT(events.names(), ElementsAre("Idle", "Disconnected"));
}

TEST_F(CallTest, CloseLineForgetsTheHandleEvenWhenCloseFails) {
    createAndOpen();
    fake->closeResult = LINEERR_OPERATIONFAILED;
    EXPECT_FALSE(line->CloseLine());
    EXPECT_EQ(line->LastError(), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(line->state().hLine, 0u);
    EXPECT_FALSE(line->CloseLine());
    EXPECT_EQ(fake->count("lineClose"), 1u);
    EXPECT_TRUE(line->OpenLine()) << "the line can be opened again";
}

// Messages that match nothing pending, or that the object does not act on, change nothing.
TEST_F(CallTest, UnmatchedAndIgnoredMessagesChangeNothing) {
    callSetUp();
    ASSERT_TRUE(line->DropCallAsynch());
    struct Msg {
        const char* name;
        DWORD message;
        DWORD_PTR param1;
        DWORD_PTR param2;
    };
    const Msg messages[] = {
        {"UnknownReply", LINE_REPLY, 999, 0},
        {"LateMakeCallReply", LINE_REPLY, kMakeCallRequest, Param(LINEERR_CALLUNAVAIL)},
        {"ReplyWithIdZero", LINE_REPLY, 0, Param(LINEERR_CALLUNAVAIL)},
        {"OtherCallState", LINE_CALLSTATE, LINECALLSTATE_BUSY, 0},
        {"OnHold", LINE_CALLSTATE, LINECALLSTATE_ONHOLD, 0},
        {"LineClose", LINE_CLOSE, 0, 0},
        {"DevState", LINE_LINEDEVSTATE, 0, 0},
    };
    const auto before = line->state();
    const auto eventsBefore = events.seen.size();
    fake->clearRecords();
    for (const auto& m : messages) {
        SCOPED_TRACE(m.name);
        fake->deliver(m.message, m.param1, m.param2);
        const auto after = line->state();
        EXPECT_EQ(after.hLine, before.hLine);
        EXPECT_EQ(after.hCall, before.hCall);
        EXPECT_EQ(after.makeCallRequestID, before.makeCallRequestID);
        EXPECT_EQ(after.dropCallRequestID, before.dropCallRequestID);
        EXPECT_EQ(events.seen.size(), eventsBefore);
        EXPECT_TRUE(fake->log.empty());
    }
    EXPECT_EQ(line->LastError(), 0);
}

TEST_F(CallTest, InstanceZeroIsIgnored) {
    createAndOpen();
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    fake->deliverWithInstance(0, LINE_REPLY, kMakeCallRequest, 0);
    EXPECT_TRUE(events.seen.empty());
    EXPECT_EQ(line->state().makeCallRequestID, DWORD{kMakeCallRequest});
}

TEST_F(CallTest, ReplyStillArrivingAfterTheLineClosedIsHandled) {
    createAndOpen();
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    ASSERT_TRUE(line->CloseLine());
    fake->deliver(LINE_REPLY, kMakeCallRequest, Param(LINEERR_CALLUNAVAIL));
    EXPECT_EQ(fake->count("lineClose"), 1u) << "nothing left to close";
    EXPECT_EQ(events.names().size(), 1u);
}

TEST_F(CallTest, EveryEventReachesEverySubscriberInOrder) {
    EventRecorder second{line};
    std::vector<std::string> order;
    events.onEvent = [&](const std::string& e) { order.push_back("first " + e); };
    second.onEvent = [&](const std::string& e) { order.push_back("second " + e); };
    line->Subscribe(&second);
    line->Subscribe(&second); // a repeated subscription delivers once
    callSetUp();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED);
    fake->deliver(LINE_REPLY, kDropRequest, 0);
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE);
    const std::vector<std::string> expected = {"MakeCallResult(0)", "Connected", "Disconnected",
                                               "DropCallResult(0)", "Idle"};
    EXPECT_EQ(events.names(), expected);
    EXPECT_EQ(second.names(), expected);
    ASSERT_EQ(order.size(), 10u);
    EXPECT_EQ(order[0], "first MakeCallResult(0)");
    EXPECT_EQ(order[1], "second MakeCallResult(0)");

    line->Unsubscribe(&events);
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(events.names().size(), 5u);
    EXPECT_EQ(second.names().size(), 6u);
}

TEST_F(CallTest, SubscriberMayUnsubscribeItselfOrOthersDuringAnEvent) {
    auto later = std::make_unique<EventRecorder>(line);
    EventRecorder last{line};
    line->Subscribe(later.get());
    line->Subscribe(&last);
    events.onEvent = [&](const std::string&) {
        line->Unsubscribe(&events);
        line->Unsubscribe(later.get());
        later.reset(); // a subscriber taken out and destroyed before its turn
    };
    createAndOpen();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(events.names().size(), 1u);
    EXPECT_EQ(last.names().size(), 2u);
}

TEST_F(CallTest, SubscriberDroppingTheLastReferenceDuringAnEventIsSafe) {
    callSetUp();
    EventRecorder after{line};
    line->Subscribe(&after);
    std::weak_ptr<CvbTAPILine> watch = line;
    events.onEvent = [&](const std::string& e) {
        if (e == "Idle")
            line.reset(); // the last reference goes away inside the handler
    };
    fake->clearRecords();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE);
    EXPECT_TRUE(watch.expired()) << "the object ends once the dispatch lets go of it";
    EXPECT_EQ(after.names().back(), "Idle") << "later subscribers still receive the event";
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose", "lineShutdown"));
    EXPECT_FALSE(fake->registeredInstance().has_value());
}

TEST_F(CallTest, DroppingTheReferenceDuringARejectedReplyIsSafe) {
    createAndOpen();
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    events.onEvent = [&](const std::string&) { line.reset(); };
    fake->deliver(LINE_REPLY, kMakeCallRequest, Param(LINEERR_NOMEM));
    EXPECT_EQ(line, nullptr);
    EXPECT_EQ(fake->count("lineShutdown"), 1u);
    EXPECT_EQ(fake->count("lineClose"), 1u);
}
