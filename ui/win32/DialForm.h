// DialForm (Win32): the dial window "Orvo Dial" as a native top-level window.
//
// Implements DialView with plain Win32 controls laid out from the twips tables at the
// DPI of the monitor it is on (again when it moves to one of another DPI), in the system's
// message font: the number box Text1 (drop-down combo box), the twelve keypad picture
// buttons TTButton (bitmap resources, scaled to the DPI), and the push buttons Dial (default button), "Clr",
// "<-" and "?". Creation order gives the tab order, so the "1" key has the focus when the
// window first shows. Character keys reach DialFormLogic::KeyPreview through the message
// pump before the focused control sees them.
//
// It holds no call state: every event goes to DialFormLogic. Message boxes are the
// system's (MB_OK / MB_YESNO, titled "OrvoDial", no icon); the call timing window is a
// TForm shown modally. Closing the dial window ends the run, taking a hidden timing
// window with it.
#pragma once

#include "ui/win32/TForm.h"

#include "ui/DialFormLogic.h"
#include "ui/Layout.h"

#include <windows.h>

#include <array>
#include <functional>
#include <memory>

namespace ui::win32 {

class DialForm final : public DialView {
  public:
    static constexpr int kIdText1 = 100;
    static constexpr int kIdKeypadFirst = 200; // + TTButton index
    static constexpr int kIdDial = 300;
    static constexpr int kIdClearBtn = 301;
    static constexpr int kIdCorBtn = 302;
    static constexpr int kIdHelp = 303;

    DialForm(
        HINSTANCE instance, DialFormLogic::LineFactory factory = [] { return CvbTAPILine::New(); },
        LocalClock clock = SystemLocalNow);
    ~DialForm() override;
    DialForm(const DialForm&) = delete;
    DialForm& operator=(const DialForm&) = delete;

    // Creates the window hidden and runs the load handler. A RuntimeError from it (380
    // when there is no line device) propagates; the window is then never shown.
    void Load();
    void Show(int showCommand = SW_SHOWNORMAL);

    DialFormLogic& logic() { return logic_; }
    HWND hwnd() const { return hwnd_; }

    // Window class of the dial window, by which a later start finds it.
    static constexpr const wchar_t* kClassName = L"OrvoDialForm";
    // WM_COPYDATA with this tag carries a link from a later start of the program (UTF-8,
    // empty: no link, just come to the front); the handler gets it as sent.
    static constexpr ULONG_PTR kLinkTag = 0x4F52564Cu; // "ORVL"
    using LinkHandler = std::function<void(const std::string& link)>;
    void SetLinkHandler(LinkHandler handler) { linkHandler_ = std::move(handler); }
    HWND text1() const { return text1_; }
    HWND keypadButton(std::size_t index) const { return keys_.at(index); }
    HWND dialButton() const { return buttons_[0]; }
    // The timing window, or null while none exists.
    TForm* timingWindow() const { return tform_ && tform_->exists() ? tform_.get() : nullptr; }

    // DialView
    std::string numberText() const override;
    void setNumberText(const std::string& text) override;
    void insertHistoryAtTop(const std::string& number) override;
    void setFocusToNumber() override;
    MessageAnswer showMessage(const std::string& text, MessageButtons buttons) override;
    void showFailure(const std::string& text, const std::string& reason) override;
    TFormLogic& ensureTimingWindow() override;
    void showTimingWindowModal() override;
    void bringToFront() override;
    void showBusy(bool busy) override;

  private:
    HCURSOR cursorBeforeBusy_ = nullptr; // put back when the line has opened
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    // Places every control at dpi_ and gives them the font and pictures for it.
    void LayOut();
    void OnCommand(int id, int code);
    wchar_t OnKeyPreview(wchar_t k);

    HINSTANCE instance_;
    LocalClock clock_;
    DialFormLogic logic_;
    HWND hwnd_ = nullptr;
    static constexpr std::array<std::pair<const dialform::ButtonSpec*, int>, 4> kButtons{{
        {&dialform::kDial, kIdDial},
        {&dialform::kClearBtn, kIdClearBtn},
        {&dialform::kCorBtn, kIdCorBtn},
        {&dialform::kHelp, kIdHelp},
    }};

    int dpi_ = 96;
    HFONT font_ = nullptr;
    HWND text1_ = nullptr;
    std::array<HWND, dialform::kKeyCount> keys_{};
    std::array<HWND, 4> buttons_{};
    std::array<HBITMAP, dialform::kKeyCount> pictures_{};
    HWND lastFocus_ = nullptr;
    std::unique_ptr<TForm> tform_;
    LinkHandler linkHandler_;
};

} // namespace ui::win32
