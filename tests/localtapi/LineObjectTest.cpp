// The program's line object against the real service under the Qt event loop: whole
// calls, refusals, modal loops, tear-down, capabilities and the trace.
#include "CvbTAPILine.h"
#include "ServiceTestSupport.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace localtapi;
using namespace svctest;

namespace {

// Records the line object's events as words, e.g. "MakeCallResult 0".
struct EventLog : CvbTAPILineEvents {
    std::vector<std::string> events;
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
    ~Dialer() {
        if (line)
            line->Unsubscribe(&log);
    }
};

TEST(LineObject, WholeCallRaisesEventsInOrder) {
    Dialer d(MakeService());
    ASSERT_TRUE(d.line->OpenLine(1, 4));
    ASSERT_TRUE(d.line->MakeCallAsynch("555-1212"));
    ASSERT_TRUE(WaitFor([&] { return d.log.Has("Connected"); }));
    EXPECT_NE(d.line->state().hCall, 0u);
    EXPECT_EQ(d.line->state().makeCallRequestID, 0u);
    ASSERT_TRUE(d.line->DropCallAsynch());
    ASSERT_TRUE(WaitFor([&] { return d.log.Has("Idle"); }));
    EXPECT_EQ(d.log.events,
              (std::vector<std::string>{"MakeCallResult 0", "Connected", "DropCallResult 0", "Idle"}));
    // Idle deallocated the call and closed the line.
    EXPECT_EQ(d.line->state().hCall, 0u);
    EXPECT_EQ(d.line->state().hLine, 0u);
    EXPECT_FALSE(d.line->CloseLine());
    EXPECT_EQ(d.service->census().lines, 0u);
    EXPECT_EQ(d.service->census().calls, 0u);
    EXPECT_EQ(d.line->LastError(), 0);
}

TEST(LineObject, CallRejectedInTheReplyClosesTheLine) {
    Dialer d(MakeService(std::string(kFastLine) + "refuse=0x80000005\n"));
    ASSERT_TRUE(d.line->OpenLine(1, 4));
    ASSERT_TRUE(d.line->MakeCallAsynch("555-1212"));
    ASSERT_TRUE(WaitFor([&] { return !d.log.events.empty(); }));
    Spin(30);
    EXPECT_EQ(d.log.events,
              std::vector<std::string>{"MakeCallResult " + std::to_string(LINEERR_CALLUNAVAIL)});
    EXPECT_EQ(d.line->state().hLine, 0u);
    EXPECT_EQ(d.line->state().hCall, 0u);
    EXPECT_EQ(d.service->census().lines, 0u);
    EXPECT_EQ(d.service->census().calls, 0u);
}

TEST(LineObject, CallRefusedAtOnceLeavesTheCodeInLastError) {
    Dialer d(MakeService(std::string(kFastLine) + "refuse=0x80000048\nrefuse_at=call\n"));
    ASSERT_TRUE(d.line->OpenLine(1, 4));
    EXPECT_FALSE(d.line->MakeCallAsynch("555-1212"));
    EXPECT_EQ(d.line->LastError(), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(d.service->census().calls, 0u);
    EXPECT_TRUE(d.line->CloseLine());
}

TEST(LineObject, BusyNumberDisconnectsThenDropsToIdle) {
    Dialer d(MakeService());
    ASSERT_TRUE(d.line->OpenLine(1, 4));
    ASSERT_TRUE(d.line->MakeCallAsynch("555 0100"));
    ASSERT_TRUE(WaitFor([&] { return d.log.Has("Idle"); }));
    EXPECT_EQ(d.log.events,
              (std::vector<std::string>{"MakeCallResult 0", "Disconnected", "DropCallResult 0", "Idle"}));
    EXPECT_EQ(d.service->census().calls, 0u);
    EXPECT_EQ(d.service->census().lines, 0u);
}

TEST(LineObject, DeliveredDuringANestedModalLoop) {
    Dialer d(MakeService());
    ASSERT_TRUE(d.line->OpenLine(1, 4));
    ASSERT_TRUE(d.line->MakeCallAsynch("555-1212"));
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
    EXPECT_EQ(d.log.events, (std::vector<std::string>{"MakeCallResult 0", "Connected"}));
    EXPECT_TRUE(d.line->DropCallAsynch());
    EXPECT_TRUE(d.line->CloseLine());
}

TEST(LineObject, DestroyedWithACallUpLeavesNothingInTheService) {
    auto service = MakeService();
    {
        Dialer d(service);
        ASSERT_TRUE(d.line->OpenLine(1, 4));
        ASSERT_TRUE(d.line->MakeCallAsynch("555-1212"));
        ASSERT_TRUE(WaitFor([&] { return d.log.Has("Connected"); }));
        EXPECT_EQ(service->census().calls, 1u);
    }
    EXPECT_TRUE(Clean(*service));
    Spin(30); // nothing arrives for the object that is gone
    EXPECT_TRUE(Clean(*service));
}

TEST(LineObject, DestroyedWhileTheCallRequestIsPending) {
    std::string ini = kFastLine;
    ini.replace(ini.find("reply_ms=0"), 10, "reply_ms=20");
    auto service = MakeService(ini);
    {
        Dialer d(service);
        ASSERT_TRUE(d.line->OpenLine(1, 4));
        ASSERT_TRUE(d.line->MakeCallAsynch("555-1212"));
    }
    EXPECT_TRUE(Clean(*service));
    Spin(60);
    EXPECT_TRUE(Clean(*service));
}

TEST(LineObject, ReleasedByAnEventHandlerTogetherWithTheService) {
    // The line object holds the only reference to the service; a handler lets go of the
    // object, so the end of the dispatch destroys both while the service is delivering.
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
    Spin(30); // delivery events still queued for the application find nothing
    EXPECT_EQ(log.events, (std::vector<std::string>{"MakeCallResult 0", "Connected"}));
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

TEST(LineObject, NoLineDeviceMeansError380) {
    auto line = CvbTAPILine::New(MakeService("; no devices\n"));
    EXPECT_FALSE(line->Create());
    EXPECT_EQ(line->numLines(), 0u);
    try {
        line->setCurrentLineID(0);
        ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 380);
    }
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

std::string FirstWord(const std::string& line) {
    return line.substr(0, line.find(' '));
}

TEST(LineObject, TraceOfOneCall) {
    QTemporaryDir dir;
    ServiceSetup setup;
    setup.tracePath = dir.filePath("trace.txt").toStdString();
    {
        Dialer d(MakeService(setup));
        ASSERT_TRUE(d.line->OpenLine(1, 4));
        ASSERT_TRUE(d.line->MakeCallAsynch("555-1212"));
        ASSERT_TRUE(WaitFor([&] { return d.log.Has("Connected"); }));
        ASSERT_TRUE(d.line->DropCallAsynch());
        ASSERT_TRUE(WaitFor([&] { return d.log.Has("Idle"); }));
    }
    const std::vector<std::string> lines = ReadLines(setup.tracePath);
    std::vector<std::string> words;
    for (const std::string& l : lines)
        words.push_back(FirstWord(l));
    EXPECT_EQ(words, (std::vector<std::string>{
                         "lineInitializeExA", "lineNegotiateAPIVersion", "lineGetDevCapsA", "lineGetDevCapsA",
                         "lineOpen", "lineMakeCallA", "LINE_REPLY", "LINE_CALLSTATE", "LINE_CALLSTATE",
                         "LINE_CALLSTATE", "LINE_CALLSTATE", "LINE_CALLSTATE", "lineDrop", "LINE_REPLY",
                         "LINE_CALLSTATE", "lineDeallocateCall", "lineClose", "lineShutdown"}));
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_NE(lines[0].find("\"OrvoDial\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("&0x00030000->0x00030000 {size=28,options=1} -> 0"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[4].find(" 1 4 NULL -> 0"), std::string::npos) << lines[4];
    EXPECT_NE(lines[5].find(" & \"555-1212\" 0 NULL -> 1"), std::string::npos) << lines[5];
    EXPECT_NE(lines[6].find(" 1 0 0"), std::string::npos) << lines[6];
    EXPECT_NE(lines[7].find("8 1 4 (DIALTONE)"), std::string::npos) << lines[7];
    EXPECT_NE(lines[11].find("256 0 0 (CONNECTED)"), std::string::npos) << lines[11];
    EXPECT_NE(lines[12].find(" NULL 0 -> 2"), std::string::npos) << lines[12];
    EXPECT_NE(lines[14].find("(IDLE)"), std::string::npos) << lines[14];
}

TEST(LineObject, TraceNamesErrors) {
    QTemporaryDir dir;
    ServiceSetup setup;
    setup.tracePath = dir.filePath("trace.txt").toStdString();
    {
        Dialer d(MakeService(setup));
        ASSERT_TRUE(d.line->OpenLine(1, 4));
        EXPECT_FALSE(d.line->MakeCallAsynch("555\"x"));
    }
    bool found = false;
    for (const std::string& l : ReadLines(setup.tracePath))
        if (FirstWord(l) == "lineMakeCallA") {
            found = true;
            EXPECT_NE(l.find("\"555\\\"x\""), std::string::npos) << l;
            EXPECT_NE(l.find("-> -2147483632 (LINEERR_INVALADDRESS)"), std::string::npos) << l;
        }
    EXPECT_TRUE(found);
}

} // namespace
