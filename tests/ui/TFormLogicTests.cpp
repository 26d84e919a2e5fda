// The call timing window's logic: the clock arithmetic on local wall-clock readings, Mark,
// the tick and Done.
#include "FakeViews.h"

#include <gtest/gtest.h>

namespace {

using ui::LocalDateTime;

struct ClockRow {
    const char* name;
    LocalDateTime start;
    LocalDateTime now;
    const char* shown;
};

class ClockArithmetic : public ::testing::TestWithParam<ClockRow> {};

TEST_P(ClockArithmetic, TickShowsTheWallClockDifference) {
    const ClockRow& row = GetParam();
    uitest::FakeTimingView view;
    uitest::ManualClock clock;
    ui::TFormLogic logic(view, clock.source());
    clock.now = row.start;
    logic.Mark();
    clock.now = row.now;
    logic.Tick();
    EXPECT_EQ(view.timebox, row.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ClockArithmetic,
    ::testing::Values(
        ClockRow{"Immediately", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 10, 0, 0}, "00:00:00"},
        ClockRow{"FiveSeconds", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 10, 0, 5}, "00:00:05"},
        ClockRow{"SixtyFiveSeconds", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 10, 1, 5}, "00:01:05"},
        ClockRow{"OneHour", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 11, 0, 0}, "01:00:00"},
        ClockRow{"TenHours", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 20, 0, 0}, "10:00:00"},
        ClockRow{"TwentyFourHoursWrap", {2026, 12, 8, 10, 0, 0}, {2026, 12, 9, 10, 0, 0}, "00:00:00"},
        ClockRow{"TwentyFiveHoursOneMinuteOneSecond",
                 {2026, 12, 8, 10, 0, 0},
                 {2026, 12, 9, 11, 1, 1},
                 "01:01:01"},
        ClockRow{"ClockSetBackFiveSeconds", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 9, 59, 55}, "00:00:05"},
        ClockRow{"SetBackThenOneSecondLater", {2026, 12, 8, 10, 0, 0}, {2026, 12, 8, 9, 59, 56}, "00:00:04"},
        // 10 minutes of real time across a spring-forward switch at 02:00 (to 03:00).
        ClockRow{"DaylightSavingSpringForward", {2026, 3, 29, 1, 55, 0}, {2026, 3, 29, 3, 5, 0}, "01:10:00"},
        // 10 minutes of real time across a fall-back switch at 03:00 (to 02:00).
        ClockRow{"DaylightSavingFallBack", {2026, 10, 25, 2, 55, 0}, {2026, 10, 25, 2, 5, 0}, "00:50:00"},
        ClockRow{"AcrossMidnight", {2026, 12, 8, 23, 59, 50}, {2026, 12, 9, 0, 0, 10}, "00:00:20"},
        ClockRow{
            "AcrossTheEndOfFebruaryInALeapYear", {2028, 2, 28, 23, 0, 0}, {2028, 2, 29, 1, 0, 0}, "02:00:00"},
        ClockRow{"AcrossNewYear", {2026, 12, 31, 23, 59, 59}, {2027, 1, 1, 0, 0, 1}, "00:00:02"},
        ClockRow{"DaysLater", {2026, 12, 8, 10, 0, 0}, {2026, 12, 20, 9, 30, 15}, "23:30:15"}),
    [](const ::testing::TestParamInfo<ClockRow>& info) { return std::string(info.param.name); });

class TFormLogicTest : public ::testing::Test {
  protected:
    uitest::FakeTimingView view;
    uitest::ManualClock clock;
    ui::TFormLogic logic{view, clock.source()};
};

TEST_F(TFormLogicTest, MarkShowsTheNumberVerbatimAndLeavesTheClockText) {
    view.timebox = "00:07:00"; // what the hidden window's ticks last wrote
    logic.setTheNum(" *67 555-1212#");
    logic.Mark();
    EXPECT_EQ(view.num, " *67 555-1212#");
    EXPECT_EQ(view.timebox, "00:07:00");
    clock.now.second += 1;
    logic.Tick();
    EXPECT_EQ(view.timebox, "00:00:01");
}

TEST_F(TFormLogicTest, UnsetNumberShowsEmpty) {
    logic.Mark();
    EXPECT_EQ(view.num, "");
}

TEST_F(TFormLogicTest, TickBeforeAnyMarkCountsFromTheZeroDate) {
    clock.now = {2026, 12, 8, 14, 25, 36};
    logic.Tick();
    EXPECT_EQ(view.timebox, "14:25:36");
}

TEST_F(TFormLogicTest, DoneHidesAndTheClockKeepsRunning) {
    view.hidden = false;
    logic.Mark();
    logic.Done();
    EXPECT_TRUE(view.hidden);
    clock.now.minute += 2;
    logic.Tick();
    EXPECT_EQ(view.timebox, "00:02:00");
}

} // namespace
