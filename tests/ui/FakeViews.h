// Fake views for the window logic: they log what the logic asks of its window, in call
// order, and answer message boxes from a script.
#pragma once

#include "DialFormLogic.h"
#include "TFormLogic.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace uitest {

class FakeTimingView : public ui::TimingView {
  public:
    std::string num = "555-1212";
    std::string timebox = "00:00:00";
    bool hidden = true;

    void setNumText(const std::string& text) override { num = text; }
    void setTimeboxText(const std::string& text) override { timebox = text; }
    void hideWindow() override { hidden = true; }
};

// A clock the test sets by hand.
struct ManualClock {
    ui::LocalDateTime now{2026, 12, 8, 10, 0, 0};
    ui::LocalClock source() {
        return [this] { return now; };
    }
};

class FakeDialView : public ui::DialView {
  public:
    std::string text;
    // "focus", "insert:<n>" (at the top of the list), "ok:<text>", "yesno:<text>",
    // "timing:create", "timing:show:<Num>"
    std::vector<std::string> log;
    std::deque<ui::MessageAnswer> answers; // next answers; then No or OK
    std::function<void()> whileMessageOpen;

    ManualClock clock;
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
        if (answers.empty())
            return yesNo ? ui::MessageAnswer::No : ui::MessageAnswer::Ok;
        const ui::MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    ui::TFormLogic& ensureTimingWindow() override {
        if (!timing) {
            timing = std::make_unique<ui::TFormLogic>(timingView, clock.source());
            log.push_back("timing:create");
        }
        return *timing;
    }
    void showTimingWindowModal() override { log.push_back("timing:show:" + timingView.num); }
};

} // namespace uitest
