// Fake views for the window logic: they record what the logic asks of its window, as
// text lines in call order, and answer message boxes from a script.
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
    struct Message {
        std::string text;
        ui::MessageButtons buttons;
    };

    std::string text;
    std::vector<std::string> history; // top first
    std::vector<std::string> log;     // "focus", "message:<text>", "insert:<n>", "timing:create", ...
    std::vector<Message> messages;
    std::deque<ui::MessageAnswer> answers;                    // next answers to give
    std::function<void(const std::string&)> whileMessageOpen; // runs inside showMessage
    std::function<void()> whileTimingShown;                   // runs inside the modal show

    ManualClock clock;
    FakeTimingView timingView;
    std::unique_ptr<ui::TFormLogic> timing;
    int timingCreated = 0;
    std::vector<std::string> timingShownWith; // Num text at each modal show

    std::string numberText() const override { return text; }
    void setNumberText(const std::string& t) override { text = t; }
    void insertHistoryAtTop(const std::string& n) override {
        history.insert(history.begin(), n);
        log.push_back("insert:" + n);
    }
    void setFocusToNumber() override { log.push_back("focus"); }
    ui::MessageAnswer showMessage(const std::string& t, ui::MessageButtons b) override {
        messages.push_back({t, b});
        log.push_back("message:" + t);
        if (whileMessageOpen)
            whileMessageOpen(t);
        if (answers.empty())
            return b == ui::MessageButtons::YesNo ? ui::MessageAnswer::No : ui::MessageAnswer::Ok;
        const ui::MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    ui::TFormLogic& ensureTimingWindow() override {
        if (!timing) {
            timingView = FakeTimingView{};
            timing = std::make_unique<ui::TFormLogic>(timingView, clock.source());
            ++timingCreated;
            log.push_back("timing:create");
        }
        return *timing;
    }
    void showTimingWindowModal() override {
        log.push_back("timing:show");
        timingView.hidden = false;
        timingShownWith.push_back(timingView.num);
        if (whileTimingShown)
            whileTimingShown();
        timingView.hidden = true;
    }
};

} // namespace uitest
