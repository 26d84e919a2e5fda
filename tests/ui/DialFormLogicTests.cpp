// The dial window's logic on a fake view and the scripted telephony fake: its load, key
// preview, keypad and buttons, every path of the Dial command.
#include "app/Version.h"
#include "ui/AppInfo.h"
#include "ui/DialFormLogic.h"
#include "tests/support/FakeTapi.h"
#include "ui/TFormLogic.h"
#include "tests/ui/FakeTimingView.h"

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

using uitest::FakeTimingView;

// The fake logs what the logic asks of its window, in call order.
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

} // namespace
