// Call control, the call's state machine driven by messages, refusals, and subscribers that
// change the subscription or let go of the object during an event.
#include "tests/support/LineTestSupport.h"

#include <utility>

using namespace linetest;

namespace {

class CallTest : public LineTest {
  protected:
    CallTest() { line->Subscribe(&events); }
    EventRecorder events{line};
};

} // namespace

// A refusal for the object's own state (no result programmed) calls nothing and keeps an earlier
// error; a system failure calls once, is recorded, leaves no pending request and, for OpenLine or
// CloseLine only, the line closed.
TEST_F(CallTest, RefusalsAndSystemFailures) {
    enum Setup { Created, Open, CallOnClosedLine };
    const auto open = [&] { return line->OpenLine(); };
    const auto makeCall = [&] { return line->MakeCallAsynch("1"); };
    const auto drop = [&] { return line->DropCallAsynch(); };
    const auto close = [&] { return line->CloseLine(); };
    const struct {
        const char* name;
        Setup setup;
        std::function<bool()> act;
        LONG* result; // null: a refusal
        LONG code;
        bool openAfter;
    } cases[] = {
        {"OpenLineTwice", Open, open, nullptr, 0, true},
        {"MakeCallOnClosedLine", Created, makeCall, nullptr, 0, false},
        {"DropWithoutCall", Open, drop, nullptr, 0, true},
        {"CloseClosedLine", Created, close, nullptr, 0, false},
        {"OpenFails", CallOnClosedLine, open, &fake->openResult, LONG(LINEERR_RESOURCEUNAVAIL), false},
        {"MakeCallFails", Open, makeCall, &fake->makeCallResult, LONG(LINEERR_CALLUNAVAIL), true},
        {"MakeCallReturnsZero", Open, makeCall, &fake->makeCallResult, 0, true},
        {"DropFails", CallOnClosedLine, drop, &fake->dropResult, LONG(LINEERR_INVALCALLHANDLE), false},
        {"CloseFails", Open, close, &fake->closeResult, LONG(LINEERR_OPERATIONFAILED), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        line = CvbTAPILine::New(fake);
        if (c.setup == CallOnClosedLine) {
            callSetUp();
            ASSERT_TRUE(line->CloseLine()) << "closing keeps the call handle";
        } else {
            ASSERT_TRUE(line->Create());
            ASSERT_TRUE(c.setup == Created || line->OpenLine());
        }
        fake->configDialogResult = LINEERR_INVALPARAM; // plant a recorded failure
        ASSERT_FALSE(line->ConfigDialog());
        fake->clearRecords();
        const LONG programmed = c.result ? std::exchange(*c.result, c.code) : 0;
        EXPECT_FALSE(c.act());
        if (c.result)
            *c.result = programmed;
        EXPECT_EQ(fake->log.size(), c.result ? 1u : 0u);
        EXPECT_EQ(line->LastError(), c.result ? c.code : LONG(LINEERR_INVALPARAM));
        const auto state = line->state();
        EXPECT_EQ(std::make_tuple(state.hLine != 0, state.makeCallRequestID, state.dropCallRequestID),
                  std::make_tuple(c.openAfter, 0u, 0u));
    }
}

TEST_F(CallTest, NormalCallAsTheDialCommandRunsIt) {
    createAndOpen();
    EXPECT_EQ(std::tie(fake->openCalls[0].privileges, fake->openCalls[0].mediaModes),
              std::make_tuple(DWORD{LINECALLPRIVILEGE_NONE}, DWORD{LINEMEDIAMODE_INTERACTIVEVOICE}));
    ASSERT_TRUE(line->MakeCallAsynch("Zürich 1"));
    const auto& call = fake->makeCallCalls.at(0);
    EXPECT_EQ(std::tie(call.line, call.destAddress, call.countryCode),
              std::make_tuple(fake->lineHandle, "Z\xFCrich 1", 0u));
    EXPECT_EQ(line->state().makeCallRequestID, DWORD{kMakeCallRequest});
    fake->deliver(LINE_REPLY, kMakeCallRequest, 0);
    EXPECT_EQ(line->state().makeCallRequestID, 0u);
    for (DWORD s : {LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING,
                    LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED})
        fake->deliver(LINE_CALLSTATE, s, 0, fake->callHandle);

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

TEST_F(CallTest, RejectedByReplyClosesTheLineBeforeReporting) {
    createAndOpen();
    fake->callHandle = 0; // the system hands out no call
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    fake->deliver(LINE_REPLY, kMakeCallRequest, Param(LINEERR_CALLUNAVAIL));
    EXPECT_THAT(events.names, ElementsAre(EventText("MakeCallResult", LINEERR_CALLUNAVAIL)));
    EXPECT_EQ(events.states[0].hLine | events.states[0].makeCallRequestID, 0u) << "closed before the event";
    EXPECT_THAT(fake->closeCalls, ElementsAre(fake->lineHandle));
    // The same code zero-extended, as a 32-bit system hands it over.
    ASSERT_TRUE(line->OpenLine());
    ASSERT_TRUE(line->MakeCallAsynch("1"));
    fake->deliver(LINE_REPLY, kMakeCallRequest, static_cast<DWORD>(LINEERR_CALLUNAVAIL));
    EXPECT_EQ(events.names.back(), EventText("MakeCallResult", LINEERR_CALLUNAVAIL));
    EXPECT_EQ(line->state().hLine, 0u);
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
        fake->deliver(m.message, m.param1, m.param2, 0,
                      m.toLine ? reinterpret_cast<DWORD_PTR>(line.get()) : 0);
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

// Idle with a call releases the call once and the line before reporting; a subscriber may drop
// the last reference to the object then.
TEST_F(CallTest, IdleWithCallReleasesBeforeReportingAndMayLoseTheLastReference) {
    callSetUp();
    EventRecorder after{line};
    line->Subscribe(&after);
    std::weak_ptr<CvbTAPILine> watch = line;
    events.onEvent = [&](const std::string&) { line.reset(); }; // the last reference goes inside the handler
    fake->clearRecords();
    fake->deliver(LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, fake->callHandle);
    EXPECT_THAT(events.names, ElementsAre("MakeCallResult(0)", "Idle"));
    EXPECT_EQ(events.states[1].hCall | events.states[1].hLine, 0u) << "released before the event";
    EXPECT_TRUE(watch.expired()) << "the object ends once the dispatch lets go of it";
    EXPECT_EQ(after.names.back(), "Idle") << "later subscribers still receive the event";
    EXPECT_THAT(fake->log, ElementsAre("lineDeallocateCall", "lineClose", "lineShutdown"));
    EXPECT_THAT(fake->deallocateCalls, ElementsAre(fake->callHandle));
}
