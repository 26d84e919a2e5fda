// Call control and the call's state machine driven by messages, refusals, and subscribers
// that change the subscription or let go of the object during an event.
#include "LineTestSupport.h"

#include <utility>

using namespace linetest;

namespace {

class CallTest : public LineTest {
  protected:
    CallTest() { line->Subscribe(&events); }
    EventRecorder events{line};
};

} // namespace

// Each refusal for the object's own state returns false, calls nothing and leaves an
// earlier error in the register.
TEST_F(CallTest, RefusalsMakeNoCallAndLeaveLastErrorAlone) {
    const struct {
        const char* name;
        bool open;
        std::function<bool()> act;
    } cases[] = {
        {"OpenLineTwice", true, [&] { return line->OpenLine(); }},
        {"MakeCallOnClosedLine", false, [&] { return line->MakeCallAsynch("123"); }},
        {"DropWithoutCall", true, [&] { return line->DropCallAsynch(); }},
        {"CloseClosedLine", false, [&] { return line->CloseLine(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        line = CvbTAPILine::New(fake);
        ASSERT_TRUE(line->Create());
        ASSERT_TRUE(!c.open || line->OpenLine());
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
    ASSERT_TRUE(line->MakeCallAsynch("Zürich 1"));
    const auto& call = fake->makeCallCalls.at(0);
    EXPECT_EQ(std::tie(call.line, call.destAddress, call.countryCode),
              std::make_tuple(fake->lineHandle, "Z\xFCrich 1", 0u));
    EXPECT_EQ(line->state().makeCallRequestID, DWORD{kMakeCallRequest});
    fake->deliver(LINE_REPLY, kMakeCallRequest, 0);
    EXPECT_EQ(line->state().makeCallRequestID, 0u);
    for (DWORD s : {LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING,
                    LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED})
        fake->deliver(LINE_CALLSTATE, s, 0, 0, fake->callHandle);

    ASSERT_TRUE(line->DropCallAsynch());
    EXPECT_THAT(fake->dropCalls, ElementsAre(fake->callHandle));
    EXPECT_EQ(line->state().dropCallRequestID, DWORD{kDropRequest});
    ASSERT_TRUE(line->CloseLine());
    EXPECT_EQ(line->state().hCall, fake->callHandle) << "closing keeps the call handle";
    fake->deliver(LINE_REPLY, kDropRequest, 0);
    EXPECT_EQ(line->state().dropCallRequestID, 0u);
    EXPECT_THAT(events.names, ElementsAre("MakeCallResult(0)", "Connected", "DropCallResult(0)"));

    ASSERT_TRUE(line->OpenLine());
    EXPECT_TRUE(line->MakeCallAsynch());
    EXPECT_EQ(fake->makeCallCalls.back().destAddress, std::nullopt) << "an empty number is passed as null";
}

// A failure reported by the system is recorded and returned as false and leaves no pending
// request; only a failed OpenLine or CloseLine leaves the line closed.
TEST_F(CallTest, SystemFailuresAreRecorded) {
    const struct {
        const char* name;
        bool openBefore, openAfter;
        LONG* result;
        LONG code;
        std::function<bool()> act;
    } cases[] = {
        {"Close", true, false, &fake->closeResult, static_cast<LONG>(LINEERR_OPERATIONFAILED),
         [&] { return line->CloseLine(); }},
        {"MakeCall", true, true, &fake->makeCallResult, static_cast<LONG>(LINEERR_CALLUNAVAIL),
         [&] { return line->MakeCallAsynch("1"); }},
        {"MakeCallZero", true, true, &fake->makeCallResult, 0, [&] { return line->MakeCallAsynch("1"); }},
        {"OpenLine", false, false, &fake->openResult, static_cast<LONG>(LINEERR_RESOURCEUNAVAIL),
         [&] { return line->OpenLine(); }},
        {"Drop", false, false, &fake->dropResult, static_cast<LONG>(LINEERR_INVALCALLHANDLE),
         [&] { return line->DropCallAsynch(); }},
    };
    callSetUp(); // leaves a call handle, which closing the line keeps
    ASSERT_TRUE(line->CloseLine());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(!c.openBefore || line->OpenLine()) << "the line opens again, also after a failed close";
        const LONG programmed = std::exchange(*c.result, c.code);
        EXPECT_FALSE(c.act());
        *c.result = programmed;
        EXPECT_EQ(line->LastError(), c.code);
        const auto state = line->state();
        EXPECT_EQ(std::make_tuple(state.hLine != 0, state.makeCallRequestID, state.dropCallRequestID),
                  std::make_tuple(c.openAfter, 0u, 0u));
        line->CloseLine();
    }
    EXPECT_EQ(fake->count("lineClose"), 4u) << "a closed line is not closed again";
    EXPECT_EQ(fake->openCalls.back().privileges, LINECALLPRIVILEGE_NONE);
    EXPECT_EQ(fake->openCalls.back().mediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
}

TEST_F(CallTest, RejectedByReplyClosesTheLineBeforeReporting) {
    createAndOpen();
    fake->callHandle = 0; // the system hands out no call
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    fake->deliver(LINE_REPLY, kMakeCallRequest, Param(LINEERR_CALLUNAVAIL));
    EXPECT_THAT(events.names, ElementsAre(EventText("MakeCallResult", LINEERR_CALLUNAVAIL)));
    EXPECT_EQ(events.states[0].hLine, 0u) << "line already closed when the event is raised";
    EXPECT_EQ(events.states[0].makeCallRequestID, 0u);
    EXPECT_THAT(fake->closeCalls, ElementsAre(fake->lineHandle));

    // The same code passed zero-extended, as a 32-bit system hands it over.
    ASSERT_TRUE(line->OpenLine());
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    fake->deliver(LINE_REPLY, kMakeCallRequest, static_cast<DWORD>(LINEERR_CALLUNAVAIL));
    EXPECT_EQ(events.names.back(), EventText("MakeCallResult", LINEERR_CALLUNAVAIL));
    EXPECT_EQ(line->state().hLine, 0u);
}

TEST_F(CallTest, IdleWithCallDeallocatesOnceClosesAndReports) {
    callSetUp();
    fake->clearRecords();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0, fake->callHandle);
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose"));
    EXPECT_THAT(fake->deallocateCalls, ElementsAre(fake->callHandle));
    EXPECT_THAT(events.names, ElementsAre("MakeCallResult(0)", "Idle"));
    EXPECT_EQ(events.states[1].hCall | events.states[1].hLine, 0u) << "released before the event";
}

TEST_F(CallTest, DisconnectedRequestsADropWhoseReplyIsReported) {
    callSetUp();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY);
    EXPECT_THAT(fake->dropCalls, ElementsAre(fake->callHandle));
    EXPECT_EQ(events.states.back().dropCallRequestID, DWORD{kDropRequest}) << "drop requested first";
    fake->deliver(LINE_REPLY, kDropRequest, Param(LINEERR_INVALCALLSTATE));
    EXPECT_THAT(events.names, ElementsAre("MakeCallResult(0)", "Disconnected",
                                          EventText("DropCallResult", LINEERR_INVALCALLSTATE)));
}

TEST_F(CallTest, IdleAndDisconnectedWithoutCallOnlyReport) {
    createAndOpen();
    fake->clearRecords();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE);
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED);
    EXPECT_TRUE(fake->log.empty());
    EXPECT_EQ(line->state().hLine, fake->lineHandle) << "the line stays open without a call";
    EXPECT_THAT(events.names, ElementsAre("Idle", "Disconnected"));
}

// Late, unknown and ignored messages, and any with callback instance 0, change nothing.
TEST_F(CallTest, UnmatchedAndIgnoredMessagesChangeNothing) {
    callSetUp();
    ASSERT_TRUE(line->DropCallAsynch());
    const struct {
        const char* name;
        bool toLine; // false: callback instance 0
        DWORD message;
        DWORD_PTR param1, param2;
    } messages[] = {
        {"UnknownReply", true, LINE_REPLY, 999, 0},
        {"LateMakeCallReply", true, LINE_REPLY, kMakeCallRequest, Param(LINEERR_CALLUNAVAIL)},
        {"ReplyWithIdZero", true, LINE_REPLY, 0, Param(LINEERR_CALLUNAVAIL)},
        {"OtherCallState", true, LINE_CALLSTATE, LINECALLSTATE_BUSY, 0},
        {"LineClose", true, LINE_CLOSE, 0, 0},
        {"DevState", true, LINE_LINEDEVSTATE, 0, 0},
        {"DropReplyToInstanceZero", false, LINE_REPLY, kDropRequest, 0},
        {"IdleToInstanceZero", false, LINE_CALLSTATE, LINECALLSTATE_IDLE, 0},
    };
    const auto before = line->state();
    fake->clearRecords();
    for (const auto& m : messages) {
        SCOPED_TRACE(m.name);
        fake->deliverWithInstance(m.toLine ? reinterpret_cast<DWORD_PTR>(line.get()) : 0, m.message, m.param1,
                                  m.param2);
        EXPECT_EQ(Tie(line->state()), Tie(before));
        EXPECT_EQ(events.names.size(), 1u);
        EXPECT_TRUE(fake->log.empty());
    }
    EXPECT_EQ(line->LastError(), 0);
}

TEST_F(CallTest, SubscribersGetEventsInOrderAndMayUnsubscribeDuringOne) {
    auto later = std::make_unique<EventRecorder>(line);
    EventRecorder last{line};
    line->Subscribe(later.get());
    line->Subscribe(&last);
    line->Subscribe(&last); // a repeated subscription delivers once
    std::vector<std::string> order;
    events.onEvent = [&](const std::string& e) {
        order.push_back("first " + e);
        line->Unsubscribe(&events);
        line->Unsubscribe(later.get());
        later.reset(); // a subscriber taken out and destroyed before its turn
    };
    last.onEvent = [&](const std::string& e) { order.push_back("last " + e); };
    createAndOpen();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED);
    EXPECT_THAT(order, ElementsAre("first Connected", "last Connected", "last Disconnected"));
}

TEST_F(CallTest, SubscriberDroppingTheLastReferenceDuringAnEventIsSafe) {
    callSetUp();
    EventRecorder after{line};
    line->Subscribe(&after);
    std::weak_ptr<CvbTAPILine> watch = line;
    events.onEvent = [&](const std::string&) { line.reset(); }; // the last reference goes inside the handler
    fake->clearRecords();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE);
    EXPECT_TRUE(watch.expired()) << "the object ends once the dispatch lets go of it";
    EXPECT_EQ(after.names.back(), "Idle") << "later subscribers still receive the event";
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose", "lineShutdown"));
}
