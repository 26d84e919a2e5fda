// The line object against the real service under the Qt event loop.
#include "CvbTAPILine.h"
#include "ServiceTestSupport.h"

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
    std::shared_ptr<LocalTapi> service;
    std::shared_ptr<CvbTAPILine> line;
    EventLog log;

    explicit Dialer(std::shared_ptr<LocalTapi> s) : service(std::move(s)), line(CvbTAPILine::New(service)) {
        line->setLowAPI(0x00010003);
        line->setHiAPI(0x00030000);
        EXPECT_TRUE(line->Create());
        line->setCurrentLineID(0);
        line->Subscribe(&log);
    }
    ~Dialer() { line->Unsubscribe(&log); }
    bool Call(const char* number = "555-1212") {
        return line->OpenLine(1, 4) && line->MakeCallAsynch(number);
    }
};

// A whole call, and calls rejected in the reply, busy, or refused at once.
TEST(LineObject, CallsRaiseTheirEventsInOrder) {
    const struct {
        const char* name;
        const char* keys; // added to line0
        const char* number;
        Events events;  // empty: MakeCallAsynch fails at once, with lastError
        LONG lastError; // after the events
    } rows[] = {
        {"whole_call", "", "555-1212", {"MakeCallResult 0", "Connected", "DropCallResult 0", "Idle"}, 0},
        {"rejected_in_reply",
         "refuse=0x80000005\n",
         "555-1212",
         {"MakeCallResult " + std::to_string(LINEERR_CALLUNAVAIL)},
         0},
        {"busy", "", "555 0100", {"MakeCallResult 0", "Disconnected", "DropCallResult 0", "Idle"}, 0},
        {"refused_at_once", "refuse=0x80000048\nrefuse_at=call\n", "555-1212", {}, LINEERR_OPERATIONFAILED}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Dialer d(MakeService(std::string(kFastLine) + row.keys));
        ASSERT_TRUE(d.line->OpenLine(1, 4));
        EXPECT_EQ(d.line->MakeCallAsynch(row.number), !row.events.empty());
        if (row.events.empty()) {
            EXPECT_TRUE(d.line->CloseLine());
        } else if (row.events.size() > 1 && row.events[1] == "Connected") {
            ASSERT_TRUE(WaitFor([&] { return d.log.Has("Connected"); }));
            EXPECT_NE(d.line->state().hCall, 0u);
            EXPECT_EQ(d.line->state().makeCallRequestID, 0u);
            ASSERT_TRUE(d.line->DropCallAsynch());
        }
        WaitFor([&] { return d.log.events.size() >= row.events.size(); });
        Spin();
        EXPECT_EQ(d.log.events, row.events);
        EXPECT_EQ(d.line->LastError(), row.lastError);
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

// Destroyed with a call up, and with the call request still pending.
TEST(LineObject, DestroyedWithTheLineOpenLeavesNothingInTheService) {
    for (const bool connected : {true, false}) {
        SCOPED_TRACE(connected ? "call_up" : "request_pending");
        std::string ini = kFastLine;
        if (!connected)
            ini.replace(ini.find("reply_ms=0"), 10, "reply_ms=20");
        auto service = MakeService(ini);
        {
            Dialer d(service);
            ASSERT_TRUE(d.Call());
            if (connected) {
                ASSERT_TRUE(WaitFor([&] { return d.log.Has("Connected"); }));
                EXPECT_EQ(service->census().calls, 1u);
            }
        }
        EXPECT_TRUE(Clean(*service));
        Spin(60); // nothing arrives for the object that is gone
        EXPECT_TRUE(Clean(*service));
    }
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
    line->setCurrentLineID(0);
    line->Subscribe(&log);
    ASSERT_TRUE(line->OpenLine(1, 4));
    ASSERT_TRUE(line->MakeCallAsynch("555-1212"));
    ASSERT_TRUE(WaitFor([&] { return watch.expired(); }));
    Spin(); // delivery events still queued for the application find nothing
    EXPECT_EQ(log.events, (Events{"MakeCallResult 0", "Connected"}));
}

TEST(LineObject, CapabilitiesOfTheSimulatedLine) {
    Dialer d(MakeService(std::string(kFastLine) +
                         "[line1]\ndriver=simulated\nname=Second\napi_high=0x00020000\n"));
    EXPECT_EQ(d.line->numLines(), 2u);
    // The line object keeps every byte of a field, the terminating NUL included.
    EXPECT_EQ(d.line->LineName(), std::string("Test line", 10));
    EXPECT_EQ(d.line->ProviderInfo(), std::string("OrvoDial simulated line", 24));
    EXPECT_EQ(d.line->SwitchInfo(), std::string("Simulated exchange", 19));
    EXPECT_EQ(d.line->StringFormat(), STRINGFORMAT_ASCII);
    EXPECT_EQ(d.line->BearerModes(), LINEBEARERMODE_VOICE);
    EXPECT_EQ(d.line->mediamodes(), LINEMEDIAMODE_INTERACTIVEVOICE);
    EXPECT_EQ(d.line->numAddresses(), 1u);
    EXPECT_EQ(d.line->AddressModes(), LINEADDRESSMODE_ADDRESSID);
    EXPECT_TRUE(d.line->LineSupportsVoiceCalls());
    EXPECT_EQ(d.line->NegotiatedAPIVersion(), 0x00030000u);
    const DWORD first = d.line->PermanentLineID();
    d.line->setCurrentLineID(1);
    EXPECT_EQ(d.line->LineName(), std::string("Second", 7));
    EXPECT_EQ(d.line->NegotiatedAPIVersion(), 0x00020000u);
    EXPECT_NE(d.line->PermanentLineID(), first);
    EXPECT_EQ(d.line->ExtAPI_ID0(), 0u);
}

// One refused call (strings traced as passed, errors named), then a whole call.
TEST(LineObject, TraceOfOneCall) {
    QTemporaryDir dir;
    ServiceSetup setup;
    setup.tracePath = dir.filePath("trace.txt").toStdString();
    {
        Dialer d(MakeService(setup));
        EXPECT_FALSE(d.Call("555\"x"));
        ASSERT_TRUE(d.line->MakeCallAsynch("555-1212"));
        ASSERT_TRUE(WaitFor([&] { return d.log.Has("Connected"); }));
        ASSERT_TRUE(d.line->DropCallAsynch());
        ASSERT_TRUE(WaitFor([&] { return d.log.Has("Idle"); }));
    }
    std::ifstream in(setup.tracePath);
    std::vector<std::string> lines, words;
    for (std::string l; std::getline(in, l);) {
        lines.push_back(l);
        words.push_back(l.substr(0, l.find(' ')));
    }
    EXPECT_EQ(words,
              (Events{"lineInitializeExA", "lineNegotiateAPIVersion", "lineGetDevCapsA", "lineGetDevCapsA",
                      "lineOpen", "lineMakeCallA", "lineMakeCallA", "LINE_REPLY", "LINE_CALLSTATE",
                      "LINE_CALLSTATE", "LINE_CALLSTATE", "LINE_CALLSTATE", "LINE_CALLSTATE", "lineDrop",
                      "LINE_REPLY", "LINE_CALLSTATE", "lineDeallocateCall", "lineClose", "lineShutdown"}));
    ASSERT_EQ(lines.size(), 19u);
    const std::pair<size_t, const char*> expected[] = {
        {0, "\"OrvoDial\""},
        {0, "&0x00030000->0x00030000 {size=28,options=1} -> 0"},
        {4, " 1 4 NULL -> 0"},
        {5, "\"555\\\"x\""},
        {5, "-> -2147483632 (LINEERR_INVALADDRESS)"},
        {6, " & \"555-1212\" 0 NULL -> 1"},
        {7, " 1 0 0"},
        {8, "8 1 4 (DIALTONE)"},
        {12, "256 0 0 (CONNECTED)"},
        {13, " NULL 0 -> 2"},
        {15, "(IDLE)"},
    };
    for (const auto& [index, part] : expected)
        EXPECT_NE(lines[index].find(part), std::string::npos) << lines[index];
}

} // namespace
