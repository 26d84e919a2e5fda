// TFormLogic: wall-clock arithmetic and the timing window's handlers.
#include "ui/TFormLogic.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

namespace ui {

namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kSecondsPerDay = 86400;

std::string TwoDigits(std::int64_t n) {
    std::string s = std::to_string(n);
    return s.size() == 1 ? "0" + s : s;
}

} // namespace

std::int64_t WallClockSeconds(const LocalDateTime& t) {
    const std::int64_t days =
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) -
        DaysFromCivil(1899, 12, 30);
    return days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
}

std::string FormatElapsed(std::int64_t elapsedSeconds) {
    const std::int64_t t = (elapsedSeconds < 0 ? -elapsedSeconds : elapsedSeconds) % kSecondsPerDay;
    return TwoDigits(t / 3600) + ":" + TwoDigits((t % 3600) / 60) + ":" + TwoDigits(t % 60);
}

LocalDateTime SystemLocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TFormLogic::TFormLogic(TimingView& view, LocalClock clock, TickClock ticks, int tickIntervalMs)
    : view_(view), clock_(std::move(clock)), ticks_(std::move(ticks)), tickIntervalMs_(tickIntervalMs),
      lastTickMs_(ticks_()) {}

void TFormLogic::Mark() {
    CatchUp();
    view_.setNumText(theNum_);
    startTime_ = clock_();
}

void TFormLogic::Tick() {
    lastTickMs_ = ticks_();
    const std::int64_t elapsed = WallClockSeconds(clock_()) - WallClockSeconds(startTime_);
    view_.setTimeboxText(FormatElapsed(elapsed));
}

void TFormLogic::Done() {
    view_.hideWindow();
}

void TFormLogic::Rest() {
    resting_ = true;
}

void TFormLogic::Wake() {
    CatchUp();
    resting_ = false;
}

void TFormLogic::CatchUp() {
    if (resting_ && ticks_() - lastTickMs_ >= tickIntervalMs_)
        Tick();
}

} // namespace ui
