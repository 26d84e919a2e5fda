// TForm (Win32): the call timing window "Call Timing" as a native top-level window.
//
// Holds the window's TFormLogic and shows what it says: the number label Num ("Arial"
// 12 pt bold, centred), the clock label Timebox (36 pt red; "Digiface" when installed,
// otherwise a seven-segment face embedded in the program) and the Done button Command1
// (default button, Alt+D). Timer1 ticks every 500 ms while the window is shown; hidden, it
// rests (no wake-ups), and the logic brings the clock up to date when it is shown again.
//
// Done hides the window; closing it from the title bar destroys it (exists() turns
// false) and the dial window creates a new one for the next timed call. ShowModal runs a
// modal loop with the given window disabled until the window is hidden or destroyed.
// Sizes and fonts follow the DPI of the window's monitor, also after a move to another.
#pragma once

#include "ui/TFormLogic.h"

#include <windows.h>

namespace ui::win32 {

class TForm final : public TimingView {
  public:
    static constexpr int kIdNum = 101;
    static constexpr int kIdTimebox = 102;
    static constexpr int kIdCommand1 = IDOK;
    static constexpr UINT_PTR kTimer1 = 1;

    explicit TForm(HINSTANCE instance, LocalClock clock = SystemLocalNow);
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    TFormLogic& logic() { return logic_; }
    bool exists() const { return hwnd_ != nullptr; }
    HWND hwnd() const { return hwnd_; }

    // Shows the window and returns when Done hides it or the user closes it. `disabled`
    // (the dial window) takes no input meanwhile.
    void ShowModal(HWND disabled);

    // The face the clock label uses ("Digiface" or the embedded substitute).
    const std::wstring& clockFace() const { return clockFace_; }

    // TimingView
    void setNumText(const std::string& text) override;
    void setTimeboxText(const std::string& text) override;
    void hideWindow() override;

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    // Places the controls at dpi_ and gives them fonts of that DPI.
    void LayOut();
    // Gives input back to the window ShowModal disabled. Called before the window
    // disappears, so that the system hands the activation to that window and not to
    // another program's.
    void ReleaseModalOwner();

    TFormLogic logic_;
    HWND hwnd_ = nullptr;
    HWND num_ = nullptr;
    HWND timebox_ = nullptr;
    HWND command1_ = nullptr;
    int dpi_ = 96;
    HFONT buttonFont_ = nullptr;
    HFONT numFont_ = nullptr;
    HFONT clockFont_ = nullptr;
    std::wstring clockFace_;
    HWND modalOwner_ = nullptr; // disabled by ShowModal until the window disappears
};

// Whether a font family of this name is installed (or was added by this process).
bool FontFamilyInstalled(const wchar_t* family);

} // namespace ui::win32
