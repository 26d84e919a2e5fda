#include "ui/win32/TForm.h"

#include "ui/win32/Accessible.h"
#include "ui/win32/Geometry.h"
#include "ui/win32/MessagePump.h"
#include "ui/win32/Resources.h"
#include "ui/win32/Win32Text.h"
#include "ui/win32/WindowClass.h"

#include "ui/Layout.h"

namespace ui::win32 {

namespace {

constexpr const wchar_t* kClassName = L"OrvoDialTForm";
// Family name inside the embedded seven-segment font file.
constexpr const wchar_t* kEmbeddedClockFace = L"DSEG7 Classic";

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// Makes the embedded seven-segment font available to this process (once); true when it
// is. A font added from memory is private to the process and, on Windows, not
// enumerable: whether it is there is known from this call, not from the font list.
bool AddEmbeddedClockFont(HINSTANCE instance) {
    static bool added = false;
    if (added)
        return true;
    HRSRC resource =
        FindResourceW(instance, MAKEINTRESOURCEW(IDR_CLOCK_FONT), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (resource == nullptr)
        return false;
    HGLOBAL data = LoadResource(instance, resource);
    DWORD fonts = 0;
    if (data != nullptr &&
        AddFontMemResourceEx(LockResource(data), SizeofResource(instance, resource), nullptr, &fonts) !=
            nullptr &&
        fonts > 0)
        added = true;
    return added;
}

HFONT ClockFont(int height, const std::wstring& face) {
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

// Width in pixels of `text` drawn in `font` on the screen.
int TextWidth(HFONT font, const std::wstring& text) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    SIZE size{};
    GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return size.cx;
}
} // namespace

bool FontFamilyInstalled(const wchar_t* family) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, family, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &lf, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

TForm::TForm(HINSTANCE instance, LocalClock clock) : logic_(*this, std::move(clock)) {
    RegisterWindowClassOnce(instance, kClassName, &TForm::WndProc);
    hwnd_ = CreateWindowExW(0, kClassName, Widen(tform::kTitle).c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    dpi_ = WindowDpi(hwnd_);
    SetClientSize(hwnd_, tform::kClient, dpi_);
    clockFace_ = Widen(tform::kTimeboxFontFamily);
    if (!FontFamilyInstalled(clockFace_.c_str()) && AddEmbeddedClockFont(instance))
        clockFace_ = kEmbeddedClockFace;
    CreateControls();
    LayOut();
    logic_.Rest(); // created hidden: the timer runs only while the window is shown
}

TForm::~TForm() {
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
    DeleteObject(buttonFont_);
    DeleteObject(numFont_);
    DeleteObject(clockFont_);
}

void TForm::CreateControls() {
    const int dpi = dpi_;
    // Creation order is the tab order: Command1 (0), Num (1), Timebox (2).
    command1_ = CreateControl(hwnd_, L"BUTTON", Widen(tform::kCommand1Text).c_str(),
                              WS_TABSTOP | BS_DEFPUSHBUTTON, kIdCommand1, tform::kCommand1, dpi);
    num_ = CreateControl(hwnd_, L"STATIC", Widen(tform::kNumDesignText).c_str(), SS_CENTER | SS_NOPREFIX,
                         kIdNum, tform::kNum, dpi);
    timebox_ = CreateControl(hwnd_, L"STATIC", Widen(tform::kTimeboxDesignText).c_str(),
                             SS_LEFT | SS_NOPREFIX, kIdTimebox, tform::kTimebox, dpi);
    // Told by name; the labels' texts (the number, the time) are their values.
    Describe(command1_, a11y::kDone);
    Describe(num_, a11y::kTimedNumber);
    Describe(timebox_, a11y::kElapsed);
}

void TForm::LayOut() {
    const int dpi = dpi_;
    HFONT buttonFont = CreateMessageFont(dpi);
    HFONT numFont =
        CreateFontW(PointsToFontHeight(tform::kNumFontPoints, dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                    ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_SWISS, Widen(tform::kNumFontFamily).c_str());
    HFONT clockFont = ClockFont(PointsToFontHeight(tform::kTimeboxFontPoints, dpi), clockFace_);
    if (clockFace_ == kEmbeddedClockFace) {
        // The substitute's digits are wider than the designed face's: scale it down so that
        // "00:00:00" fits the clock label instead of being cut off.
        const int labelWidth = TwipsToDevice(tform::kTimebox.width, dpi);
        const int textWidth = TextWidth(clockFont, Widen(tform::kTimeboxDesignText));
        if (textWidth > labelWidth) {
            DeleteObject(clockFont);
            clockFont =
                ClockFont(MulDiv(PointsToFontHeight(tform::kTimeboxFontPoints, dpi), labelWidth, textWidth),
                          clockFace_);
        }
    }
    PlaceControl(command1_, tform::kCommand1, dpi);
    PlaceControl(num_, tform::kNum, dpi);
    PlaceControl(timebox_, tform::kTimebox, dpi);
    SendMessageW(command1_, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont), TRUE);
    SendMessageW(num_, WM_SETFONT, reinterpret_cast<WPARAM>(numFont), TRUE);
    SendMessageW(timebox_, WM_SETFONT, reinterpret_cast<WPARAM>(clockFont), TRUE);
    for (HFONT old : {buttonFont_, numFont_, clockFont_})
        if (old != nullptr)
            DeleteObject(old);
    buttonFont_ = buttonFont;
    numFont_ = numFont;
    clockFont_ = clockFont;
}

void TForm::ShowModal(HWND disabled) {
    if (hwnd_ == nullptr)
        return;
    const bool wasEnabled = disabled != nullptr && IsWindowEnabled(disabled);
    if (wasEnabled) {
        EnableWindow(disabled, FALSE);
        modalOwner_ = disabled;
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(command1_);
    RunModalLoop([this] { return hwnd_ != nullptr && IsWindowVisible(hwnd_); });
    // Still set when the loop ended on WM_QUIT with the window on the screen.
    ReleaseModalOwner();
    if (wasEnabled)
        SetActiveWindow(disabled);
}

void TForm::ReleaseModalOwner() {
    if (modalOwner_ == nullptr)
        return;
    EnableWindow(modalOwner_, TRUE);
    modalOwner_ = nullptr;
}

void TForm::setNumText(const std::string& text) {
    SetWindowTextW(num_, Widen(text).c_str());
}

void TForm::setTimeboxText(const std::string& text) {
    SetWindowTextW(timebox_, Widen(text).c_str());
}

void TForm::hideWindow() {
    if (hwnd_ == nullptr)
        return;
    ReleaseModalOwner();
    ShowWindow(hwnd_, SW_HIDE);
    // Wake the modal loop, which looks at the window's state only between messages.
    PostMessageW(nullptr, WM_NULL, 0, 0);
}

LRESULT CALLBACK TForm::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<TForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = hwnd_;
    switch (message) {
    case WM_CREATE:
        RegisterWindow(hwnd);
        return 0;
    case WM_SHOWWINDOW:
        // Shown or hidden by the program (lParam 0), not by minimising: a hidden window
        // has no timer, so it never wakes the program.
        if (lParam == 0) {
            if (wParam) {
                RunHandler([this] { logic_.Wake(); }, hwnd);
                SetTimer(hwnd, kTimer1, static_cast<UINT>(tform::kTimerIntervalMs), nullptr);
            } else {
                KillTimer(hwnd, kTimer1);
                logic_.Rest();
            }
        }
        break;
    case WM_TIMER:
        if (wParam == kTimer1)
            RunHandler([this] { logic_.Tick(); }, hwnd);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kIdCommand1 && HIWORD(wParam) == BN_CLICKED)
            RunHandler([this] { logic_.Done(); }, hwnd);
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(kIdCommand1, DC_HASDEFID);
    case WM_DPICHANGED:
        // As the dial window: the suggested size, then controls and fonts at the new DPI.
        dpi_ = HIWORD(wParam);
        if (const auto* suggested = reinterpret_cast<const RECT*>(lParam); suggested != nullptr)
            SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        LayOut();
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == timebox_) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0xFF, 0x00, 0x00));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case WM_CLOSE:
        // Closed from the title bar: destroyed by the default handling, after the window
        // that the modal show disabled takes input again.
        ReleaseModalOwner();
        break;
    case WM_SETFOCUS:
        // The only control that takes the focus.
        SetFocus(command1_);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kTimer1);
        UnregisterWindow(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        num_ = timebox_ = command1_ = nullptr;
        PostMessageW(nullptr, WM_NULL, 0, 0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace ui::win32
