// DialFormLogic: the behaviour of the dial window, without a toolkit.
//
// Owns the one line object (tapiLine) and runs every handler of the dial window: the
// load, the key preview, the keypad, "Clr", "<-", "?" and the Dial command, which takes
// one call from the number box through the line to the optional call timing window. It
// drives the window only through DialView, so the Qt and the native Windows front ends
// share it unchanged.
//
// While "Time call?" is up it listens to the line object for the call's failure (a failed
// reply to the call request, the call disconnected or gone idle): a call that failed is
// not timed, and "TAPI failure" tells why instead.
//
// What it does not do: it catches no errors (a RuntimeError from the line object leaves
// the handler and the front end ends the program with RuntimeErrorMessage), and keeps no
// call state between runs of Dial: the line object's own checks make late or repeated
// calls harmless.
#pragma once

#include "ui/TFormLogic.h"

#include "telephony/CvbTAPILine.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ui {

enum class MessageButtons { Ok, YesNo };

// Message-box results, with the platform's values.
enum class MessageAnswer : int { Ok = 1, Yes = 6, No = 7 };

// What the dial window offers its logic. Implemented by each front end's DialForm.
class DialView {
  public:
    virtual ~DialView() = default;

    // Text of the number box Text1 (UTF-8).
    virtual std::string numberText() const = 0;
    virtual void setNumberText(const std::string& text) = 0;

    // Inserts an entry at position 0, the top of Text1's drop-down list.
    virtual void insertHistoryAtTop(const std::string& number) = 0;

    // Gives the keyboard focus to Text1.
    virtual void setFocusToNumber() = 0;

    // Modal message box titled kAppTitle, with no icon; with YesNo, Yes has the focus.
    // Returns the button pressed. The line object's messages go on being dispatched
    // while it is open.
    virtual MessageAnswer showMessage(const std::string& text, MessageButtons buttons) = 0;

    // The call timing window's logic, creating the window (hidden, with its design texts
    // and its timer running) when none exists; an existing one is returned unchanged.
    virtual TFormLogic& ensureTimingWindow() = 0;

    // The "TAPI failure" box: text with OK, as showMessage, and beneath it the reason the
    // telephony gave (nothing when empty).
    virtual void showFailure(const std::string& text, const std::string& reason) = 0;

    // Shows the timing window modally with no owner; returns when Done hides it or the
    // user closes (destroys) it.
    virtual void showTimingWindowModal() = 0;

    // Brings the dial window to the front, restored and active.
    virtual void bringToFront() = 0;

    // While the line opens (a modem's reset may take seconds): true shows the user that
    // the program is busy (a wait cursor), false ends that. Nothing by default.
    virtual void showBusy(bool busy) { (void)busy; }
};

class DialFormLogic : private CvbTAPILineEvents {
  public:
    using LineFactory = std::function<std::shared_ptr<CvbTAPILine>()>;

    // The factory creates the line object at Load (by default on the system's telephony).
    explicit DialFormLogic(
        DialView& view, LineFactory factory = [] { return CvbTAPILine::New(); });
    ~DialFormLogic() override;
    DialFormLogic(const DialFormLogic&) = delete;
    DialFormLogic& operator=(const DialFormLogic&) = delete;

    // Load: creates the line object, sets the version range 1.3 to 3.0, registers the
    // line application and selects line 0. Throws RuntimeError 380 with no line device.
    void Load();

    // Key preview of a character key. k is the character code; on return 0 means the key
    // is swallowed. Enter (13) and Tab (9) go on to the focused control.
    void KeyPreview(char16_t& k);

    // Keypad press of TTButton element index (0 to 11): appends its tag.
    void KeypadPress(std::size_t index);

    // "Clr": empties the number; the list is untouched.
    void ClearBtnClick();

    // "<-": removes the last character of the number.
    void CorBtnClick();

    // "?": shows the Help message. The focus is not moved.
    void HelpClick();

    // The Dial command.
    void DialClick();

    // A link or a start of the program reached this dialer: the number (when there is one)
    // replaces the number box's text, the window comes to the front and the number box has
    // the focus. Nothing is dialled. While the Dial command or Help is running (their modal
    // windows are up) it waits, the last one kept, until the command has ended, so the
    // number box never changes under the command.
    void ReceiveLink(std::optional<std::string> number);

    // The line object, once Load has created it.
    const std::shared_ptr<CvbTAPILine>& tapiLine() const { return tapiLine_; }

    static constexpr DWORD kLowAPI = telephony::tapi::kVersion1_3;
    static constexpr DWORD kHiAPI = telephony::tapi::kVersion3_0;

  private:
    // Marks a handler with modal windows as running; links wait until it ends.
    class Running;

    // The call's failure while "Time call?" is up.
    void MakeCallResult(LONG errorCode) override;
    void Disconnected() override;
    void Idle() override;
    void ShowFailure(const std::string& reason);

    // Set while "Time call?" waits for the user: a failure then is the call's.
    bool watching_ = false;
    bool callFailed_ = false;
    LONG failCode_ = 0;

    DialView& view_;
    LineFactory factory_;
    std::shared_ptr<CvbTAPILine> tapiLine_;
    bool running_ = false;
    bool linkWaiting_ = false;
    std::optional<std::string> waitingNumber_;
};

// Prepares a line object as the dial window's load does: the version range 1.3 to 3.0,
// the line application registered, line 0 selected. Throws RuntimeError 380 with no line
// device. Also used by the start-up options that open a line's dialogs on their own.
void SelectFirstLine(CvbTAPILine& line);

// The text without its last character (a whole UTF-8 sequence); empty stays empty.
std::string WithoutLastCharacter(const std::string& text);

} // namespace ui
