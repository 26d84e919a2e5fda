// The windows' logic on fake views and the scripted telephony fake: the dial window's load,
// key preview, keypad and buttons, every path of the Dial command; the timing window's clock.
#include "app/Version.h"
#include "ui/AppInfo.h"
#include "ui/DialFormLogic.h"
#include "tests/support/FakeTapi.h"
#include "ui/TFormLogic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;
using enum ui::MessageAnswer;
using Strings = std::vector<std::string>;

namespace {

// The fakes log what the logic asks of its window, in call order.
struct FakeTimingView : ui::TimingView {
    std::string num = "555-1212";
    std::string timebox = "00:00:00";
    bool hidden = true;

    void setNumText(const std::string& text) override { num = text; }
    void setTimeboxText(const std::string& text) override { timebox = text; }
    void hideWindow() override { hidden = true; }
};

struct FakeDialView : ui::DialView {
    std::string text;
    // "focus", "insert:<n>" (at the top of the list), "ok:<text>", "yesno:<text>", "reason:<text>",
    // "timing:create", "timing:show:<Num>"
    std::vector<std::string> log;
    ui::MessageAnswer answer = ui::MessageAnswer::No; // to every Yes/No box
    std::function<void()> whileMessageOpen;
    std::function<void()> whileTimingShown;

    ui::LocalDateTime now{2026, 12, 8, 10, 0, 0}; // the timing window's clock
    FakeTimingView timingView;
    std::unique_ptr<ui::TFormLogic> timing;

    std::string numberText() const override { return text; }
    void setNumberText(const std::string& t) override { text = t; }
    void insertHistoryAtTop(const std::string& n) override { log.push_back("insert:" + n); }
    void setFocusToNumber() override { log.push_back("focus"); }
    ui::MessageAnswer showMessage(const std::string& t, ui::MessageButtons b) override {
        const bool yesNo = b == ui::MessageButtons::YesNo;
        log.push_back((yesNo ? "yesno:" : "ok:") + t);
        if (whileMessageOpen)
            whileMessageOpen();
        return yesNo ? answer : ui::MessageAnswer::Ok;
    }
    void showFailure(const std::string& t, const std::string& reason) override {
        log.push_back("ok:" + t);
        log.push_back("reason:" + reason);
    }
    ui::TFormLogic& ensureTimingWindow() override {
        if (!timing) {
            timing = std::make_unique<ui::TFormLogic>(timingView, [this] { return now; });
            log.push_back("timing:create");
        }
        return *timing;
    }
    void showTimingWindowModal() override {
        log.push_back("timing:show:" + timingView.num);
        if (whileTimingShown)
            whileTimingShown();
    }
    void bringToFront() override { log.push_back("front"); }
};

constexpr LONG kRequest = 41;
constexpr const char* kN = "555-1212";

// The logic on a fake view and a telephony fake with one line device.
struct Rig {
    Rig() {
        fake->devices.resize(1);
        fake->makeCallResult = kRequest;
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
    std::shared_ptr<testsupport::FakeTapi> fake = std::make_shared<testsupport::FakeTapi>();
    FakeDialView view;
    ui::DialFormLogic logic{view, [this] { return CvbTAPILine::New(fake); }};
};

// Load registers with the version range and selects line 0, showing nothing.
TEST(DialFormLogic, Load) {
    Rig r;
    r.fake->devices.resize(2);
    r.logic.Load();
    EXPECT_EQ(r.fake->count("lineInitializeExA"), 1u);
    ASSERT_EQ(r.fake->negotiateCalls.size(), 2u);
    EXPECT_EQ(r.fake->negotiateCalls[0].lowVersion, 0x00010003u);
    EXPECT_EQ(r.fake->negotiateCalls[0].highVersion, 0x00030000u);
    EXPECT_EQ(r.logic.tapiLine()->CurrentLineID(), 0u);
    EXPECT_TRUE(r.view.log.empty());
    Rig none; // with no line device: run-time error 380
    none.fake->devices.clear();
    try {
        none.logic.Load();
        ADD_FAILURE() << "no run-time error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(ui::RuntimeErrorMessage(e), "Run-time error '380':\n\nInvalid property value");
    }
    EXPECT_TRUE(none.view.log.empty());
}

// Key preview, keypad, "Clr" and "<-": each call edits the number (or not), leaves the
// list (no "insert:"), and ends by focusing the box. goneOn: the keys let go on to the control.
TEST(DialFormLogic, Handlers) {
    Rig r;
    auto& l = r.logic;
    struct Row {
        const char* name;
        std::u16string typed; // keys through the preview, or else
        std::function<void()> click;
        std::string before, after;
        std::u16string goneOn = u"";
    };
    const Row rows[] = {
        {"accepted: digits from 0 to 9, #, *, space, -", u"09#* -", {}, "1", "109#* -"},
        {"swallowed: letter, / and :, a non-ASCII digit, Escape", u"a/:\u0661\x1b", {}, "555", "555"},
        {"backspace removes the last", u"\b", {}, "555-1", "555-"},
        {"backspace on empty", u"\b", {}, "", ""},
        {"Enter goes on", u"\r", {}, "555", "555", u"\r"},
        {"Tab goes on", u"\t", {}, "555", "555", u"\t"},
        {"keypad 0 is 2", u"", [&] { l.KeypadPress(0); }, "5", "52"},
        {"keypad 1 is 1", u"", [&] { l.KeypadPress(1); }, "5", "51"},
        {"Clr", u"", [&] { l.ClearBtnClick(); }, kN, ""},
        {"<-", u"", [&] { l.CorBtnClick(); }, kN, "555-121"},
        {"<- on empty", u"", [&] { l.CorBtnClick(); }, "", ""},
        {"<- takes a whole UTF-8 character", u"", [&] { l.CorBtnClick(); }, "12\xC3\xA9", "12"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        r.view.text = row.before;
        r.view.log.clear();
        std::u16string goneOn;
        for (char16_t k : row.typed) {
            l.KeyPreview(k);
            if (k != 0)
                goneOn += k;
        }
        if (row.click)
            row.click();
        EXPECT_EQ(r.view.text, row.after);
        EXPECT_TRUE(goneOn == row.goneOn);
        EXPECT_EQ(r.view.log, Strings(row.click ? 1 : row.typed.size(), "focus"));
    }
}

TEST(DialFormLogic, HelpNamesProgramAndVersionAndKeepsTheFocus) {
    Rig r;
    r.logic.HelpClick();
    EXPECT_THAT(r.view.log, ElementsAre(AllOf(StartsWith("ok:"), HasSubstr("OrvoDial"), HasSubstr(ORVODIAL_VERSION_TEXT))));
}

// Every path of the Dial command: the telephony calls, what the window is asked, the box after.
TEST(DialFormLogic, DialPaths) {
    // What happens to the call while "Time call?" is up.
    enum class During { Nothing, Reply, Refused, Disconnected };
    struct Row {
        const char* name;
        const char* number;
        LONG openResult, makeCallResult;
        const char* telephonyWords; // the telephony's own reason for a failure
        ui::MessageAnswer answer;
        During during;
        bool failsWhileTimed; // the call request fails once the timing window is up
        Strings tapi, ui;
        const char* after;
    };
    auto failed = [](const std::string& reason) {
        return Strings{"insert:555-1212", "ok:TAPI failure", "reason:" + reason, "focus"};
    };
    const Strings untimed = {"insert:555-1212", "yesno:Time call?", "focus"};
    const Strings timed = {"insert:555-1212", "yesno:Time call?", "timing:create", "timing:show:555-1212",
                           "focus"};
    const Strings call = {"lineOpen", "lineMakeCallA", "lineDrop", "lineClose"};
    // After a late failure the line object has closed the line itself: the command's own
    // close is refused without reaching the telephony, and the command goes on.
    const Strings late = {"lineOpen", "lineMakeCallA", "lineClose", "lineDrop"};
    // A disconnected call is dropped by the line object at once, then by the command.
    const Strings hungUp = {"lineOpen", "lineMakeCallA", "lineDrop", "lineDrop", "lineClose"};
    const LONG refused = LONG(LINEERR_OPERATIONFAILED);
    const Strings failedAtOnce = {"insert:555-1212", "yesno:Time call?"};
    auto failedLate = [&](const std::string& reason) {
        Strings ui = failedAtOnce;
        for (const std::string& step : failed(reason))
            if (!step.starts_with("insert:"))
                ui.push_back(step);
        return ui;
    };
    const Row rows[] = {
        {"empty number", "", 0, kRequest, "", No, During::Nothing, false, {}, {"focus"}, ""},
        {"open refused", kN, LONG(LINEERR_RESOURCEUNAVAIL), kRequest, "", No, During::Nothing, false,
         {"lineOpen"}, failed("Resource Unavailable"), kN},
        {"open refused, the telephony knows why", kN, LONG(LINEERR_RESOURCEUNAVAIL), kRequest,
         "no such port /dev/ttyACM0", No, During::Nothing, false, {"lineOpen"}, failed("no such port /dev/ttyACM0"),
         kN},
        {"call refused", kN, 0, refused, "", No, During::Nothing, false, {"lineOpen", "lineMakeCallA", "lineClose"},
         failed("Operation Failed"), kN},
        {"No", kN, 0, kRequest, "", No, During::Nothing, false, call, untimed, ""},
        {"Yes after the call is up", kN, 0, kRequest, "", Yes, During::Reply, false, call, timed, ""},
        {"Yes, the call fails while timed", kN, 0, kRequest, "", Yes, During::Reply, true,
         {"lineOpen", "lineMakeCallA", "lineDrop", "lineClose", "lineDrop"}, timed, ""},
        {"Yes after a late failure", kN, 0, kRequest, "", Yes, During::Refused, false, late,
         failedLate("Operation Failed"), kN},
        {"No after a late failure", kN, 0, kRequest, "", No, During::Refused, false, late,
         failedLate("Operation Failed"), kN},
        {"Yes after the call was disconnected", kN, 0, kRequest, "the number is busy", Yes, During::Disconnected,
         false, hungUp, failedLate("the number is busy"), kN},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig r;
        r.load();
        r.fake->openResult = row.openResult;
        r.fake->makeCallResult = row.makeCallResult;
        r.fake->failureReason = row.telephonyWords;
        r.view.answer = row.answer;
        auto reply = [&](LONG result) {
            r.fake->deliver(LINE_REPLY, kRequest, static_cast<DWORD_PTR>(static_cast<DWORD>(result)));
        };
        r.view.whileMessageOpen = [&] {
            if (row.during == During::Reply || row.during == During::Disconnected)
                reply(0);
            if (row.during == During::Refused)
                reply(refused);
            if (row.during == During::Disconnected)
                r.fake->deliver(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY);
        };
        if (row.failsWhileTimed)
            r.view.whileTimingShown = [&] {
                r.fake->deliver(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
            };
        r.dial(row.number);
        EXPECT_EQ(r.fake->log, row.tapi);
        EXPECT_EQ(r.view.log, row.ui);
        EXPECT_EQ(r.view.text, row.after);
        for (const auto& open : r.fake->openCalls)
            EXPECT_EQ(std::tie(open.deviceID, open.privileges, open.mediaModes), std::make_tuple(0u, 1u, 4u));
    }
}

// The second timed call reuses the window and restarts its clock; numbers go everywhere verbatim.
TEST(DialFormLogic, SecondTimedCallReusesTheWindowAndRestartsTheClock) {
    Rig r;
    r.load();
    r.view.answer = Yes;
    r.dial(" *67 555-1212");
    r.view.now.minute += 5;
    r.view.timing->Tick(); // the hidden window keeps ticking
    EXPECT_EQ(r.view.timingView.timebox, "00:05:00");
    r.dial("#31# 555 0100 ");
    r.view.now.second += 3;
    r.view.timing->Tick();
    EXPECT_EQ(r.view.timingView.timebox, "00:00:03");
    EXPECT_THAT(r.view.log, ElementsAre("insert: *67 555-1212", "yesno:Time call?", "timing:create",
                                        "timing:show: *67 555-1212", "focus", "insert:#31# 555 0100 ",
                                        "yesno:Time call?", "timing:show:#31# 555 0100 ", "focus"));
    ASSERT_EQ(r.fake->makeCallCalls.size(), 2u);
    EXPECT_EQ(r.fake->makeCallCalls[0].destAddress, " *67 555-1212");
    EXPECT_EQ(r.fake->makeCallCalls[1].destAddress, "#31# 555 0100 ");
    EXPECT_EQ(r.fake->makeCallCalls[1].countryCode, 0u);
}

// A link replaces the number and brings the window to the front at once, or, while the
// Dial command or Help has a modal window up, once that command has ended.
TEST(DialFormLogic, LinksLandAtOnceOrAfterTheCommand) {
    struct Row {
        const char* name;
        const char* during; // "", "question", "timing", "help"
        std::vector<std::optional<std::string>> links;
        std::vector<std::string> log; // from the first link on
        const char* text;             // the number box afterwards
    };
    const std::optional<std::string> none;
    const Row rows[] = {
        {"idle", "", {"+1 206 555-1212"}, {"front", "focus"}, "+1 206 555-1212"},
        {"second start without a link", "", {none}, {"front", "focus"}, "typed"},
        {"during Time call?", "question", {"555-0100"}, {"timing:create", "timing:show:typed", "focus", "front", "focus"},
         "555-0100"},
        {"during the timing window, the last number counts", "timing", {"111", "222", none},
         {"focus", "front", "focus"}, "222"},
        {"during Help", "help", {"333"}, {"front", "focus"}, "333"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig r;
        r.load();
        r.view.answer = Yes;
        r.view.text = "typed";
        bool sent = false;
        const std::string during = row.during;
        auto sendLinks = [&] {
            r.view.log.clear();
            for (const auto& link : row.links)
                r.logic.ReceiveLink(link);
            if (!during.empty()) {
                EXPECT_EQ(r.view.text, "typed") << "the number box changed under the command";
                EXPECT_TRUE(r.view.log.empty());
            }
            sent = true;
        };
        if (during == "question")
            r.view.whileMessageOpen = sendLinks;
        else if (during == "timing")
            r.view.whileTimingShown = sendLinks;
        else if (during == "help")
            r.view.whileMessageOpen = sendLinks;
        if (during.empty())
            sendLinks();
        else if (during == "help")
            r.logic.HelpClick();
        else
            r.logic.DialClick();
        EXPECT_TRUE(sent);
        EXPECT_EQ(r.view.log, row.log);
        EXPECT_EQ(r.view.text, row.text);
    }
}

struct Timing {
    FakeTimingView view;
    ui::LocalDateTime now;
    ui::TFormLogic logic{view, [this] { return now; }};
};

TEST(TFormLogic, ClockArithmetic) {
    struct Row {
        const char* name;
        ui::LocalDateTime start, now;
        const char* shown;
    };
    const Row rows[] = {
        {"5 s", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 10, 0, 5}, "00:00:05"},
        {"65 s", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 10, 1, 5}, "00:01:05"},
        {"1 h", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 11, 0, 0}, "01:00:00"},
        {"10 h", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 20, 0, 0}, "10:00:00"},
        {"24 h wraps", {2026, 12, 8, 10, 0, 0}, {2026, 12, 9, 10, 0, 0}, "00:00:00"},
        {"25 h 1 min 1 s", {2026, 12, 8, 10, 0, 0}, {2026, 12, 9, 11, 1, 1}, "01:01:01"},
        {"clock set back 5 s", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 9, 59, 55}, "00:00:05"},
        // 10 real minutes across a switch to summer time at 02:00, then back at 03:00.
        {"spring forward", {2026, 3, 29, 1, 55, 0}, {2026, 3, 29, 3, 5, 0}, "01:10:00"},
        {"fall back", {2026, 10, 25, 2, 55, 0}, {2026, 10, 25, 2, 5, 0}, "00:50:00"},
        {"leap day", {2028, 2, 28, 23, 0, 0}, {2028, 2, 29, 1, 0, 0}, "02:00:00"},
        {"new year", {2026, 12, 31, 23, 59, 59}, {2027, 1, 1, 0, 0, 1}, "00:00:02"},
        {"days later", {2026, 12, 8, 10, 0, 0}, {2026, 12, 20, 9, 30, 15}, "23:30:15"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Timing t;
        t.now = row.start;
        t.logic.Mark();
        t.now = row.now;
        t.logic.Tick();
        EXPECT_EQ(t.view.timebox, row.shown);
    }
}

TEST(TFormLogic, MarkTickAndDone) {
    Timing t;
    t.now = {2026, 12, 8, 14, 25, 36};
    t.logic.Tick(); // before any Mark: counted from the zero date
    EXPECT_EQ(t.view.timebox, "14:25:36");
    t.logic.setTheNum(" *67 555-1212#");
    t.logic.Mark();
    EXPECT_EQ(t.view.num, " *67 555-1212#");
    EXPECT_EQ(t.view.timebox, "14:25:36"); // Mark leaves the clock text
    t.view.hidden = false;
    t.logic.Done();
    EXPECT_TRUE(t.view.hidden);
    t.now.minute += 2;
    t.logic.Tick(); // hidden, the clock runs on
    EXPECT_EQ(t.view.timebox, "00:02:00");
}

// A timing window whose timer rests while hidden shows what one whose timer never stopped
// shows: on the screen at the show (the text the last hidden tick wrote, from the previous
// Mark) and after the first tick that follows. Both run on the same fake clocks; the wall
// clock's seconds start on a tick, as a timer started at creation ticks on the half second.
TEST(TFormLogic, RestingTimerShowsWhatATickingTimerWould) {
    struct Row {
        const char* name;
        std::int64_t firstShownMs;  // the first call: how long shown before Done
        std::int64_t hiddenMs;      // then hidden this long before the second call's Mark
        std::int64_t clockJumpS;    // the wall clock set forward (or back) while hidden
    };
    const Row rows[] = {
        {"second call at once", 2000, 0, 0},
        {"within the half second", 2000, 300, 0},
        {"one tick hidden", 2000, 500, 0},
        {"hidden 1.7 s", 1500, 1700, 0},
        {"hidden ten minutes", 3000, 600000, 0},
        {"hidden across midnight's wrap", 1000, 86399500, 0},
        {"clock set back while hidden", 4000, 2500, -60},
        {"clock set forward while hidden", 4000, 2500, 3600},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::int64_t ms = 0, jump = 0;
        auto wall = [&] {
            ui::LocalDateTime t{2026, 12, 8, 10, 0, 0};
            const std::int64_t s = ms / 1000 + jump;
            t.hour += static_cast<int>(s / 3600 % 24);
            t.minute += static_cast<int>(s / 60 % 60);
            t.second += static_cast<int>(s % 60);
            t.day += static_cast<int>(s / 86400);
            return t;
        };
        auto ticks = [&] { return ms; };
        FakeTimingView tickingView, restingView;
        ui::TFormLogic ticking(tickingView, wall, ticks), resting(restingView, wall, ticks);
        resting.Rest(); // created hidden
        std::int64_t nextTick = 500;
        // Time passes; only the ticking window's timer fires.
        auto advance = [&](std::int64_t by, bool shown) {
            const std::int64_t until = ms + by;
            while (nextTick <= until) {
                ms = nextTick;
                ticking.Tick();
                if (shown)
                    resting.Tick();
                nextTick += 500;
            }
            ms = until;
        };
        auto markAndShow = [&](const char* number) {
            for (ui::TFormLogic* logic : {&ticking, &resting}) {
                logic->setTheNum(number);
                logic->Mark();
            }
            resting.Wake();
            // The resting timer starts again now; its first tick is due a half second later.
            EXPECT_EQ(restingView.timebox, tickingView.timebox) << "as shown";
            EXPECT_EQ(restingView.num, tickingView.num);
        };

        markAndShow("555-1212");
        advance(row.firstShownMs, true);
        EXPECT_EQ(restingView.timebox, tickingView.timebox) << "while shown";
        resting.Rest(); // Done
        const std::int64_t halfway = row.hiddenMs / 2;
        advance(halfway, false);
        jump = row.clockJumpS;
        advance(row.hiddenMs - halfway, false);
        markAndShow("555-0100");
        EXPECT_FALSE(resting.resting());
        // The resting timer's first tick after the show, 500 ms later, measures from the new
        // Mark, as the ticking one's first tick after the show does.
        const ui::LocalDateTime marked = wall();
        ms += 500;
        resting.Tick();
        EXPECT_EQ(restingView.timebox, ui::FormatElapsed(ui::WallClockSeconds(wall()) - ui::WallClockSeconds(marked)));
        EXPECT_LE(restingView.timebox, "00:00:01");
    }
}

} // namespace
