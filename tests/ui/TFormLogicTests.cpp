// The timing window's logic on a fake view: its clock arithmetic, its tick and Done, and a
// resting timer.
#include "tests/ui/FakeTimingView.h"
#include "ui/TFormLogic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using uitest::FakeTimingView;

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
