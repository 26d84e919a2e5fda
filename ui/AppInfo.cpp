// AppInfo: the Help text and the wording of a fatal run-time error.
#include "ui/AppInfo.h"

#include "telephony/RuntimeError.h"

namespace ui {

std::string HelpText() {
    return std::string(kAppTitle) + " version " + kVersionText +
           "\n\nA telephone dialer. Compose a number with the keyboard or the keypad and "
           "press Dial: OrvoDial places a voice call through the first telephone line, then "
           "leaves the call to your handset. On request it times the call.";
}

std::string RuntimeErrorMessage(int number, const std::string& text) {
    return "Run-time error '" + std::to_string(number) + "':\n\n" + text;
}

std::string RuntimeErrorMessage(const RuntimeError& error) {
    return RuntimeErrorMessage(error.number(), error.text());
}

} // namespace ui
