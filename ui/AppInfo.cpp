// AppInfo: the Help text and the wording of a fatal run-time error.
#include "ui/AppInfo.h"

#include "telephony/RuntimeError.h"

namespace ui {

std::string HelpText(const std::string& lineName, const std::string& lineKind) {
    std::string text = std::string(kAppTitle) + " version " + kVersionText +
                       "\n\nA telephone dialer. Compose a number with the keyboard or the keypad and "
                       "press Dial: OrvoDial places a voice call through the first telephone line, then "
                       "leaves the call to your handset. On request it times the call.";
    if (lineName.empty() && lineKind.empty())
        return text;
    text += "\n\nLine in use: " + (lineName.empty() ? lineKind : lineName);
    if (!lineName.empty() && !lineKind.empty())
        text += " (" + lineKind + ")";
    return text + ".\nTo set up another line (a modem, a SIP desk phone, a mobile phone): Line Settings "
                  "in the desktop menu, or orvodial --line-settings.";
}

std::string FirstStartQuestion(const std::string& path) {
    return "No telephone line is set up yet. OrvoDial is on its practice line: it dials nothing, "
           "and a timed call is only practice.\n\n"
           "Set up your telephone line now (a modem, a SIP desk phone or a mobile phone)?\n\n"
           "No keeps the practice line and does not ask again; it is saved in " +
           path + ". Line Settings in the desktop menu, or orvodial --line-settings, changes it later.";
}

std::string RuntimeErrorMessage(int number, const std::string& text) {
    return "Run-time error '" + std::to_string(number) + "':\n\n" + text;
}

std::string RuntimeErrorMessage(const RuntimeError& error) {
    return RuntimeErrorMessage(error.number(), error.text());
}

} // namespace ui
