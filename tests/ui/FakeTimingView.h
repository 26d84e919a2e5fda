// The timing window as its logic sees it, faked: what the logic last showed.
#pragma once

#include "ui/TFormLogic.h"

#include <string>

namespace uitest {

struct FakeTimingView : ui::TimingView {
    std::string num = "555-1212";
    std::string timebox = "00:00:00";
    bool hidden = true;

    void setNumText(const std::string& text) override { num = text; }
    void setTimeboxText(const std::string& text) override { timebox = text; }
    void hideWindow() override { hidden = true; }
};

} // namespace uitest
