// TFormLogic: the behaviour of the call timing window, without a toolkit.
//
// Holds the number to show (theNum) and the moment the clock started (startTime), and
// turns each timer tick into the clock text "hh:mm:ss". Time comes from an injectable
// local wall-clock source read to the whole second; the elapsed time is the difference of
// two local wall-clock readings (not of UTC instants), so a daylight-saving switch or a
// manual change of the clock shows. A negative difference is shown by its size, and the
// clock wraps every 24 hours.
//
// It does not own the timer, the window or its lifetime: the front end creates the
// window with a TFormLogic inside, calls Tick every kTimerIntervalMs and Done on the
// button, and implements TimingView to show the results.
//
// A hidden window need not wake the program: the front end may stop its timer while the
// window is hidden (Rest) and start it again when the window is shown (Wake). The logic
// keeps the clock text as a timer that never stopped would have left it: when the text can
// be seen again (at Mark, which precedes a show, and at Wake) and a tick would have fallen
// since the last one, it ticks once, still measuring from the Mark that was in force.
#pragma once

#include "ui/Layout.h"

#include <cstdint>
#include <functional>
#include <string>

namespace ui {

// A local date and time of day, to the whole second, as the wall clock shows it.
struct LocalDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Whole seconds from 1899-12-30 00:00:00 (the "zero" date-time) to t, counting every day
// as 86400 seconds: wall-clock arithmetic, with no time zone or daylight-saving rules.
std::int64_t WallClockSeconds(const LocalDateTime& t);

// The clock text for e elapsed seconds: t = |e| mod 86400 as "hh:mm:ss".
std::string FormatElapsed(std::int64_t elapsedSeconds);

// Source of the present local date and time.
using LocalClock = std::function<LocalDateTime()>;

// The system's local wall clock, to the whole second.
LocalDateTime SystemLocalNow();

// Source of monotonic time in milliseconds: when the timer's ticks fall.
using TickClock = std::function<std::int64_t()>;

// The system's monotonic clock, in milliseconds.
std::int64_t SteadyMilliseconds();

// What the timing window shows. Implemented by each front end's TForm.
class TimingView {
  public:
    virtual ~TimingView() = default;
    // Text of the number label Num.
    virtual void setNumText(const std::string& text) = 0;
    // Text of the clock label Timebox.
    virtual void setTimeboxText(const std::string& text) = 0;
    // Hides the window without destroying it; a modal show of it returns.
    virtual void hideWindow() = 0;
};

class TFormLogic {
  public:
    // The timer is taken to start ticking now, every tickIntervalMs.
    explicit TFormLogic(TimingView& view, LocalClock clock = SystemLocalNow, TickClock ticks = SteadyMilliseconds,
                        int tickIntervalMs = tform::kTimerIntervalMs);

    // The number to show: a plain stored value.
    const std::string& theNum() const { return theNum_; }
    void setTheNum(std::string number) { theNum_ = std::move(number); }

    // Shows theNum in Num and starts the clock from now. Leaves the clock text alone
    // (after bringing a resting clock up to date, see Rest).
    void Mark();

    // Timer1 tick: rewrites the clock text with the time since startTime.
    void Tick();

    // The front end has stopped its timer while the window is hidden.
    void Rest();
    // The front end is about to show the window and start its timer again.
    void Wake();
    bool resting() const { return resting_; }

    // Command1 (Done): hides the window.
    void Done();

    // The moment of the last Mark (the zero date-time before the first one).
    const LocalDateTime& startTime() const { return startTime_; }

  private:
    // While resting: the tick a running timer would have made since the last one.
    void CatchUp();

    TimingView& view_;
    LocalClock clock_;
    TickClock ticks_;
    int tickIntervalMs_;
    std::string theNum_;
    LocalDateTime startTime_{};
    std::int64_t lastTickMs_ = 0;
    bool resting_ = false;
};

} // namespace ui
