// The dial window's logic on a fake view and the scripted telephony fake: the load, the
// key preview, the keypad and the buttons, and every path of the Dial command.
#include "FakeViews.h"

#include "AppInfo.h"
#include "FakeTapi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;
using ui::MessageAnswer;
using enum ui::MessageAnswer;
using Strings = std::vector<std::string>;

namespace {

constexpr LONG kRequest = 41;

class DialFormLogicTest : public ::testing::Test {
  protected:
    DialFormLogicTest() {
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
    void expectLoadRaises380() {
        try {
            logic.Load();
            ADD_FAILURE() << "no run-time error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(ui::RuntimeErrorMessage(e), "Run-time error '380':\n\nInvalid property value");
        }
        EXPECT_TRUE(view.log.empty());
    }

    std::shared_ptr<testsupport::FakeTapi> fake = std::make_shared<testsupport::FakeTapi>();
    uitest::FakeDialView view;
    ui::DialFormLogic logic{view, [this] { return CvbTAPILine::New(fake); }};
};

TEST_F(DialFormLogicTest, LoadRegistersWithTheVersionRangeAndSelectsLineZero) {
    fake->devices.resize(2);
    logic.Load();
    EXPECT_EQ(fake->count("lineInitializeExA"), 1u);
    ASSERT_EQ(fake->negotiateCalls.size(), 2u);
    EXPECT_EQ(fake->negotiateCalls[0].lowVersion, 0x00010003u);
    EXPECT_EQ(fake->negotiateCalls[0].highVersion, 0x00030000u);
    EXPECT_EQ(logic.tapiLine()->CurrentLineID(), 0u);
    EXPECT_TRUE(view.log.empty());
}

TEST_F(DialFormLogicTest, LoadWithNoLineDeviceRaises380) {
    fake->devices.clear();
    expectLoadRaises380();
}

TEST_F(DialFormLogicTest, LoadWhenTheLineApplicationCannotStartRaises380) {
    fake->initializeResult = LINEERR_OPERATIONFAILED;
    expectLoadRaises380();
}

// Key preview, keypad, "Clr" and "<-": each call edits the number (or not), leaves the
// list (no "insert:"), and ends by focusing the box. goneOn: the keys the preview lets go on to the control.
TEST_F(DialFormLogicTest, Handlers) {
    std::u16string goneOn;
    std::size_t calls = 0;
    const auto keys = [&](std::u16string typed) -> std::function<void()> {
        return [&, typed] {
            for (char16_t k : typed) {
                logic.KeyPreview(k);
                if (k != 0)
                    goneOn += k;
            }
            calls = typed.size();
        };
    };
    struct Row {
        const char* name;
        std::function<void()> run;
        std::string before, after;
        std::u16string goneOn = u"";
    };
    const Row rows[] = {
        {"accepted: digits from 0 to 9, #, *, space, -", keys(u"09#* -"), "1", "109#* -"},
        {"swallowed: letter, / and : next to the digits, a non-ASCII digit, Escape", keys(u"a/:\u0661\x1b"),
         "555", "555"},
        {"backspace removes the last", keys(u"\b"), "555-1", "555-"},
        {"backspace on empty", keys(u"\b"), "", ""},
        {"Enter goes on", keys(u"\r"), "555", "555", u"\r"},
        {"Tab goes on", keys(u"\t"), "555", "555", u"\t"},
        {"keypad 0 is 2", [this] { logic.KeypadPress(0); }, "5", "52"},
        {"keypad 1 is 1", [this] { logic.KeypadPress(1); }, "5", "51"},
        {"Clr", [this] { logic.ClearBtnClick(); }, "555-1212", ""},
        {"<-", [this] { logic.CorBtnClick(); }, "555-1212", "555-121"},
        {"<- on empty", [this] { logic.CorBtnClick(); }, "", ""},
        {"<- takes a whole UTF-8 character", [this] { logic.CorBtnClick(); }, "12\xC3\xA9", "12"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        view.text = row.before;
        view.log.clear();
        goneOn.clear();
        calls = 1;
        row.run();
        EXPECT_EQ(view.text, row.after);
        EXPECT_TRUE(goneOn == row.goneOn);
        EXPECT_EQ(view.log, Strings(calls, "focus"));
    }
}

TEST_F(DialFormLogicTest, HelpNamesProgramAndVersionAndKeepsTheFocus) {
    logic.HelpClick();
    EXPECT_THAT(view.log, ElementsAre(AllOf(StartsWith("ok:"), HasSubstr("OrvoDial"), HasSubstr("1.00"))));
}

// ---- The Dial command ----

struct DialPath {
    const char* name;
    const char* number;
    LONG openResult, makeCallResult;
    MessageAnswer answer;
    std::optional<LONG> reply; // the call request's result, sent while "Time call?" is up
    Strings tapi;              // the telephony calls
    Strings ui;
    const char* after; // the number box afterwards
};

const Strings kFailed = {"insert:555-1212", "ok:TAPI failure", "focus"};
const Strings kUntimed = {"insert:555-1212", "yesno:Time call?", "focus"};
const Strings kTimed = {"insert:555-1212", "yesno:Time call?", "timing:create", "timing:show:555-1212",
                        "focus"};
const Strings kWholeCall = {"lineOpen", "lineMakeCallA", "lineDrop", "lineClose"};
const Strings kClosedEarly = {"lineOpen", "lineMakeCallA", "lineClose"};

// After a late failure the line object has closed the line itself: the command's own close
// is refused without reaching the telephony, and the command goes on.
const DialPath kPaths[] = {
    {"EmptyNumber", "", 0, kRequest, No, {}, {}, {"focus"}, ""},
    {"OpenRefused",
     "555-1212",
     LONG(LINEERR_RESOURCEUNAVAIL),
     kRequest,
     Ok,
     {},
     {"lineOpen"},
     kFailed,
     "555-1212"},
    {"CallRefusedAtOnce",
     "555-1212",
     0,
     LONG(LINEERR_OPERATIONFAILED),
     Ok,
     {},
     kClosedEarly,
     kFailed,
     "555-1212"},
    {"AnswerNo", "555-1212", 0, kRequest, No, {}, kWholeCall, kUntimed, ""},
    {"AnswerYesAfterTheCallIsUp", "555-1212", 0, kRequest, Yes, 0, kWholeCall, kTimed, ""},
    {"AnswerYesAfterALateFailure",
     "555-1212",
     0,
     kRequest,
     Yes,
     LONG(LINEERR_OPERATIONFAILED),
     {"lineOpen", "lineMakeCallA", "lineClose", "lineDrop"},
     kTimed,
     ""},
};

class DialPathTest : public DialFormLogicTest, public ::testing::WithParamInterface<DialPath> {};

TEST_P(DialPathTest, Dial) {
    const DialPath& row = GetParam();
    load();
    fake->openResult = row.openResult;
    fake->makeCallResult = row.makeCallResult;
    view.answers = {row.answer};
    if (row.reply)
        view.whileMessageOpen = [&] {
            fake->deliver(LINE_REPLY, kRequest, static_cast<DWORD_PTR>(static_cast<DWORD>(*row.reply)));
        };
    dial(row.number);
    EXPECT_EQ(fake->log, row.tapi);
    EXPECT_EQ(view.log, row.ui);
    EXPECT_EQ(view.text, row.after);
    for (const auto& open : fake->openCalls) {
        EXPECT_EQ(open.deviceID, 0u);
        EXPECT_EQ(open.privileges, 1u);
        EXPECT_EQ(open.mediaModes, 4u);
    }
}

void PrintTo(const DialPath& path, std::ostream* os) {
    *os << path.name;
}
std::string PathName(const ::testing::TestParamInfo<DialPath>& info) {
    return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(Paths, DialPathTest, ::testing::ValuesIn(kPaths), PathName);

TEST_F(DialFormLogicTest, SecondTimedCallReusesTheWindowAndRestartsTheClock) {
    load();
    view.answers = {Yes, Yes};
    dial("111");
    view.clock.now.minute += 5;
    view.timing->Tick(); // the hidden window keeps ticking
    EXPECT_EQ(view.timingView.timebox, "00:05:00");
    dial("222");
    view.clock.now.second += 3;
    view.timing->Tick();
    EXPECT_EQ(view.timingView.timebox, "00:00:03");
    EXPECT_THAT(view.log, ElementsAre("insert:111", "yesno:Time call?", "timing:create", "timing:show:111",
                                      "focus", "insert:222", "yesno:Time call?", "timing:show:222", "focus"));
}

TEST_F(DialFormLogicTest, NumbersArePassedVerbatim) {
    load();
    for (const std::string n : {"555 1212", "*67 555-1212", "#31#5551212", "  ", "1 (800) 555.0100"}) {
        SCOPED_TRACE(n);
        fake->clearRecords();
        dial(n);
        ASSERT_EQ(fake->makeCallCalls.size(), 1u);
        EXPECT_EQ(fake->makeCallCalls[0].destAddress, std::optional<std::string>(n));
        EXPECT_EQ(fake->makeCallCalls[0].countryCode, 0u);
    }
}

} // namespace
