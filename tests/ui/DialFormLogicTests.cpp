// The dial window's logic on a fake view and the scripted telephony fake: the load, the
// key preview, the keypad and the buttons, and every path of the Dial command.
#include "FakeViews.h"

#include "AppInfo.h"
#include "FakeTapi.h"
#include "Layout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::HasSubstr;
using ui::MessageAnswer;
using ui::MessageButtons;

namespace {

class DialFormLogicTest : public ::testing::Test {
  protected:
    DialFormLogicTest() {
        fake->devices.resize(1);
        fake->makeCallResult = kMakeCallRequest;
    }

    void load() {
        logic.Load();
        fake->clearRecords();
        view.log.clear();
    }

    void dial(const std::string& number) {
        view.text = number;
        logic.DialClick();
    }

    static constexpr LONG kMakeCallRequest = 41;
    std::shared_ptr<testsupport::FakeTapi> fake = std::make_shared<testsupport::FakeTapi>();
    uitest::FakeDialView view;
    ui::DialFormLogic logic{view, [this] { return CvbTAPILine::New(fake); }};
};

// ---- Load ----

TEST_F(DialFormLogicTest, LoadRegistersWithTheVersionRangeAndSelectsLineZero) {
    fake->devices.resize(2);
    logic.Load();
    ASSERT_NE(logic.tapiLine(), nullptr);
    EXPECT_EQ(fake->count("lineInitializeExA"), 1u);
    ASSERT_EQ(fake->negotiateCalls.size(), 2u);
    EXPECT_EQ(fake->negotiateCalls[0].lowVersion, 0x00010003u);
    EXPECT_EQ(fake->negotiateCalls[0].highVersion, 0x00030000u);
    EXPECT_EQ(logic.tapiLine()->CurrentLineID(), 0u);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(DialFormLogicTest, LoadWithoutLineDeviceRaises380) {
    struct Row {
        const char* name;
        std::function<void(testsupport::FakeTapi&)> setUp;
    };
    const Row rows[] = {
        {"no line device", [](testsupport::FakeTapi& f) { f.devices.clear(); }},
        {"line application cannot start",
         [](testsupport::FakeTapi& f) { f.initializeResult = LINEERR_OPERATIONFAILED; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto tapi = std::make_shared<testsupport::FakeTapi>();
        tapi->devices.resize(1);
        row.setUp(*tapi);
        uitest::FakeDialView v;
        ui::DialFormLogic l(v, [tapi] { return CvbTAPILine::New(tapi); });
        try {
            l.Load();
            ADD_FAILURE() << "no run-time error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 380);
            EXPECT_EQ(ui::RuntimeErrorMessage(e), "Run-time error '380':\n\nInvalid property value");
        }
        EXPECT_TRUE(v.messages.empty());
    }
}

// ---- Key preview ----

TEST_F(DialFormLogicTest, KeyPreview) {
    struct Row {
        const char* name;
        std::string before;
        char16_t key;
        std::string after;
        char16_t keyAfter; // 0: swallowed
    };
    const Row rows[] = {
        {"digit appended", "555", u'1', "5551", 0},
        {"zero", "", u'0', "0", 0},
        {"nine", "1", u'9', "19", 0},
        {"hash", "1", u'#', "1#", 0},
        {"star", "1", u'*', "1*", 0},
        {"space", "1", u' ', "1 ", 0},
        {"dash", "555", u'-', "555-", 0},
        {"letter swallowed", "555", u'a', "555", 0},
        {"capital swallowed", "555", u'A', "555", 0},
        {"plus swallowed", "555", u'+', "555", 0},
        {"parenthesis swallowed", "555", u'(', "555", 0},
        {"dot swallowed", "555", u'.', "555", 0},
        {"slash (just below 0) swallowed", "555", u'/', "555", 0},
        {"colon (just above 9) swallowed", "555", u':', "555", 0},
        {"non-ASCII digit swallowed", "555", u'\u0661', "555", 0},
        {"backspace removes last", "555-1", 8, "555-", 0},
        {"backspace on empty", "", 8, "", 0},
        {"escape swallowed", "5", 27, "5", 0},
        {"enter goes on", "555", 13, "555", 13},
        {"tab goes on", "555", 9, "555", 9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        view.text = row.before;
        view.log.clear();
        char16_t k = row.key;
        logic.KeyPreview(k);
        EXPECT_EQ(view.text, row.after);
        EXPECT_EQ(k, row.keyAfter);
        EXPECT_THAT(view.log, ElementsAre("focus"));
    }
}

TEST_F(DialFormLogicTest, TypingAComposedNumber) {
    for (char16_t k : std::u16string(u"555-1212"))
        logic.KeyPreview(k);
    EXPECT_EQ(view.text, "555-1212");
}

// ---- Keypad and buttons ----

TEST_F(DialFormLogicTest, KeypadAppendsTheTagOfTheElement) {
    const std::string byIndex[] = {"2", "1", "3", "4", "5", "6", "7", "8", "9", "*", "0", "#"};
    for (std::size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        view.text = "x";
        view.log.clear();
        logic.KeypadPress(i);
        EXPECT_EQ(view.text, "x" + byIndex[i]);
        EXPECT_THAT(view.log, ElementsAre("focus"));
    }
}

TEST_F(DialFormLogicTest, ClearAndCorrect) {
    struct Row {
        const char* name;
        void (ui::DialFormLogic::*handler)();
        std::string before;
        std::string after;
    };
    const Row rows[] = {
        {"Clr empties", &ui::DialFormLogic::ClearBtnClick, "555-1212", ""},
        {"Clr on empty", &ui::DialFormLogic::ClearBtnClick, "", ""},
        {"<- removes last", &ui::DialFormLogic::CorBtnClick, "555-1212", "555-121"},
        {"<- on empty", &ui::DialFormLogic::CorBtnClick, "", ""},
        {"<- removes a whole non-ASCII character", &ui::DialFormLogic::CorBtnClick, "12\xC3\xA9", "12"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        view.text = row.before;
        view.history = {"111"};
        view.log.clear();
        (logic.*row.handler)();
        EXPECT_EQ(view.text, row.after);
        EXPECT_THAT(view.history, ElementsAre("111"));
        EXPECT_THAT(view.log, ElementsAre("focus"));
    }
}

TEST_F(DialFormLogicTest, HelpNamesProgramAndVersionAndKeepsTheFocus) {
    view.text = "555";
    logic.HelpClick();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_THAT(view.messages[0].text, HasSubstr("OrvoDial"));
    EXPECT_THAT(view.messages[0].text, HasSubstr("1.00"));
    EXPECT_THAT(view.log, ElementsAre("message:" + view.messages[0].text)); // no focus change
    EXPECT_EQ(view.text, "555");
}

// ---- The Dial command ----

TEST_F(DialFormLogicTest, EmptyNumberOnlyReturnsTheFocus) {
    load();
    dial("");
    EXPECT_THAT(view.log, ElementsAre("focus"));
    EXPECT_TRUE(fake->log.empty());
}

TEST_F(DialFormLogicTest, AnswerNoDropsClosesAndClears) {
    load();
    view.answers = {MessageAnswer::No};
    dial("555-1212");
    EXPECT_THAT(view.log, ElementsAre("insert:555-1212", "message:Time call?", "focus"));
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::YesNo);
    ASSERT_EQ(fake->openCalls.size(), 1u);
    EXPECT_EQ(fake->openCalls[0].privileges, 1u);
    EXPECT_EQ(fake->openCalls[0].mediaModes, 4u);
    EXPECT_EQ(fake->openCalls[0].deviceID, 0u);
    EXPECT_THAT(fake->log, ElementsAre("lineOpen", "lineMakeCallA", "lineDrop", "lineClose"));
    EXPECT_EQ(view.text, "");
    EXPECT_THAT(view.history, ElementsAre("555-1212"));
    EXPECT_EQ(view.timingCreated, 0);
}

TEST_F(DialFormLogicTest, AnswerYesAfterTheCallIsUpDropsThenShowsTheTimingWindow) {
    load();
    view.answers = {MessageAnswer::Yes};
    // The call request succeeds while "Time call?" is on the screen.
    view.whileMessageOpen = [this](const std::string&) { fake->deliver(LINE_REPLY, kMakeCallRequest, 0); };
    view.clock.now = {2026, 12, 8, 10, 0, 0};
    view.whileTimingShown = [this] {
        view.clock.now.second = 7;
        view.timing->Tick();
    };
    dial("555-1212");
    EXPECT_THAT(fake->log, ElementsAre("lineOpen", "lineMakeCallA", "lineDrop", "lineClose"));
    EXPECT_THAT(view.log, ElementsAre("insert:555-1212", "message:Time call?", "timing:create", "timing:show",
                                      "focus"));
    EXPECT_EQ(view.timing->theNum(), "555-1212");
    EXPECT_THAT(view.timingShownWith, ElementsAre("555-1212"));
    EXPECT_EQ(view.timingView.timebox, "00:00:07");
    EXPECT_EQ(view.text, "");
}

TEST_F(DialFormLogicTest, SecondTimedCallReusesTheWindowAndRestartsTheClock) {
    load();
    view.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    view.clock.now = {2026, 12, 8, 10, 0, 0};
    dial("111");
    view.clock.now = {2026, 12, 8, 10, 5, 0};
    view.timing->Tick(); // the hidden window keeps ticking
    EXPECT_EQ(view.timingView.timebox, "00:05:00");
    dial("222");
    EXPECT_EQ(view.timingCreated, 1);
    EXPECT_THAT(view.timingShownWith, ElementsAre("111", "222"));
    view.clock.now.second = 3;
    view.timing->Tick();
    EXPECT_EQ(view.timingView.timebox, "00:00:03");
    EXPECT_THAT(view.history, ElementsAre("222", "111"));
}

TEST_F(DialFormLogicTest, OpenRefusedShowsTapiFailureAndKeepsTheNumber) {
    load();
    fake->openResult = LINEERR_RESOURCEUNAVAIL;
    dial("555-1212");
    EXPECT_THAT(view.log, ElementsAre("insert:555-1212", "message:TAPI failure", "focus"));
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.text, "555-1212");
    EXPECT_EQ(fake->count("lineMakeCallA"), 0u);
    // LastError is left for nobody to read: the command does not clear it.
    EXPECT_EQ(logic.tapiLine()->LastError(), LINEERR_RESOURCEUNAVAIL);

    logic.DialClick(); // tries again and adds another entry
    EXPECT_THAT(view.history, ElementsAre("555-1212", "555-1212"));
    EXPECT_EQ(fake->count("lineOpen"), 2u);
}

TEST_F(DialFormLogicTest, CallRefusedAtOnceClosesTheLineAndReportsTapiFailure) {
    load();
    fake->makeCallResult = LINEERR_OPERATIONFAILED;
    dial("555-1212");
    EXPECT_THAT(fake->log, ElementsAre("lineOpen", "lineMakeCallA", "lineClose"));
    EXPECT_THAT(view.log, ElementsAre("insert:555-1212", "message:TAPI failure", "focus"));
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.text, "555-1212");
    EXPECT_THAT(view.history, ElementsAre("555-1212"));
    EXPECT_EQ(view.timingCreated, 0);
}

TEST_F(DialFormLogicTest, LateFailureWhileAskingLeavesDropAndCloseHarmless) {
    load();
    view.answers = {MessageAnswer::Yes};
    view.whileMessageOpen = [this](const std::string&) {
        fake->deliver(LINE_REPLY, kMakeCallRequest,
                      static_cast<DWORD_PTR>(static_cast<DWORD>(LINEERR_OPERATIONFAILED)));
    };
    dial("555-1212");
    // The line object closed the line itself while the question was up; the command's
    // own close is refused and the command goes on.
    ASSERT_GE(fake->log.size(), 3u);
    EXPECT_EQ(fake->log[2], "lineClose");
    EXPECT_EQ(fake->count("lineClose"), 1u);
    EXPECT_EQ(view.timingCreated, 1);
    EXPECT_EQ(view.text, "");
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(DialFormLogicTest, NumbersArePassedVerbatim) {
    load();
    const std::string numbers[] = {"555 1212", "*67 555-1212", "#31#5551212", "  ", "1 (800) 555.0100"};
    for (const std::string& n : numbers) {
        SCOPED_TRACE(n);
        fake->clearRecords();
        dial(n);
        ASSERT_EQ(fake->makeCallCalls.size(), 1u);
        EXPECT_EQ(fake->makeCallCalls[0].destAddress, std::optional<std::string>(n));
        EXPECT_EQ(fake->makeCallCalls[0].countryCode, 0u);
    }
}

} // namespace
