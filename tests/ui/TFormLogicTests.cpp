// The call timing window's logic: clock arithmetic on local wall-clock readings, Mark,
// the tick and Done.
#include "FakeViews.h"

#include <gtest/gtest.h>

namespace {

using ui::LocalDateTime;

TEST(TFormLogic, ClockArithmetic) {
    struct Row {
        const char* name;
        LocalDateTime start, now;
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
        {"across midnight", {2026, 12, 8, 23, 59, 50}, {2026, 12, 9, 0, 0, 10}, "00:00:20"},
        {"leap day", {2028, 2, 28, 23, 0, 0}, {2028, 2, 29, 1, 0, 0}, "02:00:00"},
        {"new year", {2026, 12, 31, 23, 59, 59}, {2027, 1, 1, 0, 0, 1}, "00:00:02"},
        {"days later", {2026, 12, 8, 10, 0, 0}, {2026, 12, 20, 9, 30, 15}, "23:30:15"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        uitest::FakeTimingView view;
        uitest::ManualClock clock;
        ui::TFormLogic logic(view, clock.source());
        clock.now = row.start;
        logic.Mark();
        clock.now = row.now;
        logic.Tick();
        EXPECT_EQ(view.timebox, row.shown);
    }
}

TEST(TFormLogic, MarkTickAndDone) {
    uitest::FakeTimingView view;
    uitest::ManualClock clock;
    ui::TFormLogic logic(view, clock.source());
    clock.now = {2026, 12, 8, 14, 25, 36};
    logic.Tick(); // before any Mark: counted from the zero date
    EXPECT_EQ(view.timebox, "14:25:36");
    logic.setTheNum(" *67 555-1212#");
    logic.Mark();
    EXPECT_EQ(view.num, " *67 555-1212#");
    EXPECT_EQ(view.timebox, "14:25:36"); // Mark leaves the clock text
    view.hidden = false;
    logic.Done();
    EXPECT_TRUE(view.hidden);
    clock.now.minute += 2;
    logic.Tick(); // hidden, the clock runs on
    EXPECT_EQ(view.timebox, "00:02:00");
}

} // namespace
