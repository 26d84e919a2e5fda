// The line object against the real service under the Qt event loop.
#include "telephony/CvbTAPILine.h"
#include "tests/support/ServiceTestSupport.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

using namespace localtapi;
using namespace svctest;
using Events = std::vector<std::string>;

namespace {

// Records the line object's events as words, e.g. "MakeCallResult 0".
struct EventLog : CvbTAPILineEvents {
    Events events;
    void MakeCallResult(LONG code) override { events.push_back("MakeCallResult " + std::to_string(code)); }
    void DropCallResult(LONG code) override { events.push_back("DropCallResult " + std::to_string(code)); }
    void Connected() override { events.push_back("Connected"); }
    void Idle() override { events.push_back("Idle"); }
    void Disconnected() override { events.push_back("Disconnected"); }
    bool Has(const std::string& e) const {
        return std::find(events.begin(), events.end(), e) != events.end();
    }
};

struct Dialer {
    EventLog log; // outlives the line object
    std::shared_ptr<LocalTapi> service;
    std::shared_ptr<CvbTAPILine> line;

    // The line object on the service itself, or on a layer over it (the trace).
    explicit Dialer(std::shared_ptr<LocalTapi> s, std::shared_ptr<mTAPIDecs::TapiApi> over = nullptr)
        : service(std::move(s)), line(CvbTAPILine::New(over ? over : service)) {
        EXPECT_TRUE(line->Create());
        line->Subscribe(&log);
    }
    bool Call(const char* number = "555-1212") {
        return line->OpenLine(1, 4) && line->MakeCallAsynch(number);
    }
};

// A whole call, and calls rejected in the reply or busy.
TEST(LineObject, CallsRaiseTheirEventsInOrder) {
    const struct {
        const char *name, *keys, *number; // keys: added to line0
        Events events;
    } rows[] = {{"whole_call", "", "555-1212", {"MakeCallResult 0", "Connected", "DropCallResult 0", "Idle"}},
                {"rejected_in_reply", "refuse=0x80000005\n", "555-1212", {"MakeCallResult -2147483643"}},
                {"busy", "", "555 0100", {"MakeCallResult 0", "Disconnected", "DropCallResult 0", "Idle"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Dialer d(MakeService(std::string(kFastLine) + row.keys));
        ASSERT_TRUE(d.Call(row.number));
        if (row.events.size() > 1 && row.events[1] == "Connected") {
            ASSERT_TRUE(WaitUntil([&] { return d.log.Has("Connected"); }));
            EXPECT_NE(d.line->state().hCall, 0u);
            ASSERT_TRUE(d.line->DropCallAsynch());
        }
        WaitUntil([&] { return d.log.events.size() >= row.events.size(); });
        Settle();
        EXPECT_EQ(d.log.events, row.events);
        EXPECT_EQ(d.line->LastError(), 0);
        // Idle, or the failed reply, deallocated the call and closed the line.
        EXPECT_EQ(d.line->state().hLine | d.line->state().hCall, 0u);
        EXPECT_FALSE(d.line->CloseLine());
        EXPECT_EQ(d.service->census().lines + d.service->census().calls, 0u);
    }
}

TEST(LineObject, DeliveredDuringANestedModalLoop) {
    Dialer d(MakeService());
    ASSERT_TRUE(d.Call());
    // "Time call?" stays up until the call is connected, then is answered.
    QMessageBox box(QMessageBox::Question, "OrvoDial", "Time call?", QMessageBox::Yes | QMessageBox::No);
    bool closedOnConnect = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (d.log.Has("Connected")) {
            closedOnConnect = true;
            box.done(QMessageBox::No);
        }
    });
    poll.start(5);
    QTimer::singleShot(3000, &box, [&] { box.done(QMessageBox::No); });
    box.exec();
    EXPECT_TRUE(closedOnConnect);
    EXPECT_EQ(d.log.events, (Events{"MakeCallResult 0", "Connected"}));
}

TEST(LineObject, DestroyedWithTheLineOpenAndACallUpLeavesNothingInTheService) {
    auto service = MakeService();
    {
        Dialer d(service);
        ASSERT_TRUE(d.Call());
        ASSERT_TRUE(WaitUntil([&] { return d.log.Has("Connected"); }));
        EXPECT_EQ(service->census().calls, 1u);
    }
    EXPECT_TRUE(Clean(*service));
    Settle(); // nothing arrives for the object that is gone
    EXPECT_TRUE(Clean(*service));
}

// The line object holds the only reference to the service; a handler lets go of the
// object, so the end of the dispatch destroys both while the service is delivering.
TEST(LineObject, ReleasedByAnEventHandlerTogetherWithTheService) {
    std::shared_ptr<LocalTapi> service = MakeService();
    const std::weak_ptr<LocalTapi> watch = service;
    std::shared_ptr<CvbTAPILine> line = CvbTAPILine::New(std::move(service));
    struct Releaser : EventLog {
        std::shared_ptr<CvbTAPILine>* line = nullptr;
        void Connected() override {
            EventLog::Connected();
            line->reset();
        }
    } log;
    log.line = &line;
    ASSERT_TRUE(line->Create());
    line->Subscribe(&log);
    ASSERT_TRUE(line->OpenLine(1, 4) && line->MakeCallAsynch("555-1212"));
    ASSERT_TRUE(WaitUntil([&] { return watch.expired(); }));
    Settle(); // delivery events still queued for the application find nothing
    EXPECT_EQ(log.events, (Events{"MakeCallResult 0", "Connected"}));
}

TEST(LineObject, CapabilitiesOfTheSimulatedLine) {
    Dialer d(MakeService());
    EXPECT_EQ(d.line->numLines(), 1u);
    // The line object keeps every byte of a field, the terminating NUL included.
    EXPECT_EQ(d.line->LineName(), std::string("Test line", 10));
    EXPECT_EQ(d.line->ProviderInfo(), std::string("simulated line: dials nothing", 30));
    EXPECT_EQ(d.line->SwitchInfo(), std::string("Simulated exchange", 19));
    EXPECT_EQ(d.line->StringFormat(), STRINGFORMAT_ASCII);
    EXPECT_EQ(d.line->BearerModes(), LINEBEARERMODE_VOICE);
    EXPECT_EQ(d.line->mediamodes(), LINEMEDIAMODE_INTERACTIVEVOICE);
    EXPECT_EQ(d.line->numAddresses(), 1u);
    EXPECT_EQ(d.line->AddressModes(), LINEADDRESSMODE_ADDRESSID);
    EXPECT_TRUE(d.line->LineSupportsVoiceCalls());
    EXPECT_EQ(d.line->NegotiatedAPIVersion(), 0x00030000u);
}

// One refused call (strings traced as passed, errors named), then a whole call.
TEST(LineObject, TraceOfOneCall) {
    QTemporaryDir dir;
    const std::string tracePath = dir.filePath("trace.txt").toStdString();
    {
        auto service = MakeService();
        Dialer d(service, Traced(service, tracePath));
        EXPECT_FALSE(d.Call("555\"x"));
        ASSERT_TRUE(d.line->MakeCallAsynch("555-1212"));
        ASSERT_TRUE(WaitUntil([&] { return d.log.Has("Connected"); }));
        ASSERT_TRUE(d.line->DropCallAsynch());
        ASSERT_TRUE(WaitUntil([&] { return d.log.Has("Idle"); }));
    }
    std::ifstream in(tracePath);
    std::vector<std::string> lines, words;
    for (std::string l; std::getline(in, l);) {
        lines.push_back(l);
        words.push_back(l.substr(0, l.find(' ')));
    }
    ASSERT_EQ(words,
              (Events{"lineInitializeExA", "lineNegotiateAPIVersion", "lineGetDevCapsA", "lineOpen",
                      "lineMakeCallA", "lineMakeCallA", "LINE_REPLY", "LINE_CALLSTATE", "LINE_CALLSTATE",
                      "LINE_CALLSTATE", "LINE_CALLSTATE", "LINE_CALLSTATE", "lineDrop", "LINE_REPLY",
                      "LINE_CALLSTATE", "lineDeallocateCall", "lineClose", "lineShutdown"}));
    const std::pair<size_t, const char*> expected[] = {
        {0, "\"OrvoDial\""},
        {0, "&0x00030000->0x00030000 {size=28,options=1} -> 0"},
        {3, " 1 4 NULL -> 0"},
        {4, "\"555\\\"x\""},
        {4, "-> -2147483632 (LINEERR_INVALADDRESS)"},
        {5, " & \"555-1212\" 0 NULL -> 1"},
        {6, " 1 0 0"},
        {7, "8 1 4 (DIALTONE)"},
        {11, "256 0 0 (CONNECTED)"},
        {12, " NULL 0 -> 2"},
        {14, "(IDLE)"}};
    for (const auto& [index, part] : expected)
        EXPECT_NE(lines[index].find(part), std::string::npos) << lines[index];
}

} // namespace
