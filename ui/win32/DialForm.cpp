#include "ui/win32/DialForm.h"

#include "ui/win32/Accessible.h"
#include "ui/win32/Geometry.h"
#include "ui/win32/MessagePump.h"
#include "ui/win32/Resources.h"
#include "ui/win32/Win32Text.h"
#include "ui/win32/WindowClass.h"

#include "ui/Accessibility.h"
#include "ui/AppInfo.h"
#include "ui/Layout.h"

#include <algorithm>
#include <numeric>

namespace ui::win32 {

namespace {

// A drop-down combo box's height includes its list; the edit part keeps the design
// height, the list opens below it.
ui::TwipRect Text1Rect() {
    ui::TwipRect rect = dialform::kText1;
    rect.height *= 8;
    return rect;
}

} // namespace

DialForm::DialForm(HINSTANCE instance, DialFormLogic::LineFactory factory, LocalClock clock)
    : instance_(instance), clock_(std::move(clock)), logic_(*this, std::move(factory)) {}

DialForm::~DialForm() {
    tform_.reset();
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
    for (HBITMAP picture : pictures_)
        DeleteObject(picture);
    DeleteObject(font_);
}

void DialForm::Load() {
    if (hwnd_ == nullptr) {
        RegisterWindowClassOnce(instance_, kClassName, &DialForm::WndProc);
        CreateWindowExW(0, kClassName, Widen(dialform::kTitle).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                        instance_, this);
        dpi_ = WindowDpi(hwnd_);
        SetClientSize(hwnd_, dialform::kClient, dpi_);
        CreateControls();
        LayOut();
    }
    logic_.Load();
}

void DialForm::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    // The first control in the tab order (the "1" key) starts with the focus.
    lastFocus_ = keys_[1];
    SetFocus(lastFocus_);
}

void DialForm::CreateControls() {
    const int dpi = dpi_;
    // Tab order is creation order: the keypad by tab index, then Dial, Clr, <-, ?, Text1.
    std::array<std::size_t, dialform::kKeyCount> byTab{};
    std::iota(byTab.begin(), byTab.end(), std::size_t{0});
    std::sort(byTab.begin(), byTab.end(), [](std::size_t a, std::size_t b) {
        return dialform::kKeypad[a].tabIndex < dialform::kKeypad[b].tabIndex;
    });
    for (std::size_t index : byTab) {
        const auto id = kIdKeypadFirst + static_cast<int>(index);
        // The picture shows; the window text ("2 ABC") is what a screen reader reads.
        keys_[index] =
            CreateControl(hwnd_, L"BUTTON", Widen(a11y::KeyName(dialform::kKeypad[index])).c_str(),
                          WS_TABSTOP | BS_PUSHBUTTON | BS_BITMAP, id, dialform::kKeypad[index].rect(), dpi);
        Describe(keys_[index], a11y::KeyName(dialform::kKeypad[index]), a11y::kKeyDescription,
                 a11y::Role::PushButton);
    }
    for (const auto& [spec, id] : kButtons) {
        const DWORD kind = id == kIdDial ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        buttons_[static_cast<std::size_t>(id - kIdDial)] = CreateControl(
            hwnd_, L"BUTTON", Widen(spec->text).c_str(), WS_TABSTOP | kind, id, spec->rect, dpi);
    }
    text1_ = CreateControl(hwnd_, L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                           kIdText1, Text1Rect(), dpi);
    // What a screen reader says of each ("<-" is "Backspace").
    const a11y::Control* said[] = {&a11y::kDial, &a11y::kClear, &a11y::kBackspace, &a11y::kHelp};
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        Describe(buttons_[i], *said[i]);
    Describe(text1_, a11y::kNumber);
}

void DialForm::LayOut() {
    const int dpi = dpi_;
    HFONT font = CreateMessageFont(dpi);
    const dialform::KeyPictureScale scale = dialform::KeyPictureAt(dpi);
    const int first = scale.fromDouble ? IDB_KEYPAD_2X_FIRST : IDB_KEYPAD_FIRST;
    for (std::size_t index = 0; index < dialform::kKeyCount; ++index) {
        PlaceControl(keys_[index], dialform::kKeypad[index].rect(), dpi);
        auto drawing = static_cast<HBITMAP>(
            LoadImageW(instance_, MAKEINTRESOURCEW(first + static_cast<int>(index)), IMAGE_BITMAP, 0, 0, 0));
        BITMAP size{};
        HBITMAP picture = drawing;
        if (drawing != nullptr && GetObjectW(drawing, sizeof size, &size) != 0 &&
            (size.bmWidth != scale.width || size.bmHeight != scale.height)) {
            picture = ScaleBitmap(drawing, scale.width, scale.height);
            DeleteObject(drawing);
        }
        SendMessageW(keys_[index], BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
        if (pictures_[index] != nullptr)
            DeleteObject(pictures_[index]);
        pictures_[index] = picture;
    }
    for (const auto& [spec, id] : kButtons)
        PlaceControl(buttons_[static_cast<std::size_t>(id - kIdDial)], spec->rect, dpi);
    PlaceControl(text1_, Text1Rect(), dpi);
    for (HWND child : keys_)
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    for (HWND child : buttons_)
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(text1_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_ != nullptr)
        DeleteObject(font_);
    font_ = font;
}

std::string DialForm::numberText() const {
    const int length = GetWindowTextLengthW(text1_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(text1_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return Narrow(text);
}

void DialForm::setNumberText(const std::string& text) {
    const std::wstring wide = Widen(text);
    SetWindowTextW(text1_, wide.c_str());
    // Setting the text puts the caret at its start; move it to the end, where the next
    // character is added, so that the field looks as if the number had been typed there.
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(text1_, &info) && info.hwndItem != nullptr) {
        const auto end = static_cast<WPARAM>(GetWindowTextLengthW(info.hwndItem));
        SendMessageW(info.hwndItem, EM_SETSEL, end, static_cast<LPARAM>(end));
    }
}

void DialForm::insertHistoryAtTop(const std::string& number) {
    SendMessageW(text1_, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(Widen(number).c_str()));
}

void DialForm::setFocusToNumber() {
    lastFocus_ = text1_;
    SetFocus(text1_);
}

void DialForm::showFailure(const std::string& text, const std::string& reason) {
    showMessage(reason.empty() ? text : text + "\n\n" + reason, MessageButtons::Ok);
}

MessageAnswer DialForm::showMessage(const std::string& text, MessageButtons buttons) {
    const UINT style = buttons == MessageButtons::YesNo ? MB_YESNO | MB_DEFBUTTON1 : MB_OK;
    const int answer = MessageBoxW(hwnd_, Widen(text).c_str(), Widen(kAppTitle).c_str(), style);
    // The box gives the activation back to its owner; ask for it all the same, as the Qt
    // front end does, so that the keys typed next reach the dial window.
    SetActiveWindow(hwnd_);
    switch (answer) {
    case IDYES:
        return MessageAnswer::Yes;
    case IDNO:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Ok;
    }
}

TFormLogic& DialForm::ensureTimingWindow() {
    if (!tform_ || !tform_->exists())
        tform_ = std::make_unique<TForm>(instance_, clock_);
    return tform_->logic();
}

void DialForm::showBusy(bool busy) {
    // The line opens on this thread: the wait cursor stays until the open returns.
    if (busy)
        cursorBeforeBusy_ = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    else
        SetCursor(cursorBeforeBusy_ != nullptr ? cursorBeforeBusy_ : LoadCursorA(nullptr, IDC_ARROW));
}

void DialForm::bringToFront() {
    if (IsIconic(hwnd_))
        ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
}

void DialForm::showTimingWindowModal() {
    if (tform_)
        tform_->ShowModal(hwnd_);
}

wchar_t DialForm::OnKeyPreview(wchar_t k) {
    char16_t code = static_cast<char16_t>(k);
    RunHandler([&] { logic_.KeyPreview(code); }, hwnd_);
    return static_cast<wchar_t>(code);
}

void DialForm::OnCommand(int id, int code) {
    if (code != BN_CLICKED)
        return;
    if (id >= kIdKeypadFirst && id < kIdKeypadFirst + static_cast<int>(dialform::kKeyCount)) {
        RunHandler([&] { logic_.KeypadPress(static_cast<std::size_t>(id - kIdKeypadFirst)); }, hwnd_);
        return;
    }
    switch (id) {
    case kIdDial:
        RunHandler([&] { logic_.DialClick(); }, hwnd_);
        break;
    case kIdClearBtn:
        RunHandler([&] { logic_.ClearBtnClick(); }, hwnd_);
        break;
    case kIdCorBtn:
        RunHandler([&] { logic_.CorBtnClick(); }, hwnd_);
        break;
    case kIdHelp:
        RunHandler([&] { logic_.HelpClick(); }, hwnd_);
        break;
    default:
        break;
    }
}

LRESULT CALLBACK DialForm::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<DialForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<DialForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT DialForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = hwnd_;
    switch (message) {
    case WM_CREATE:
        RegisterWindow(hwnd, [this](wchar_t k) { return OnKeyPreview(k); });
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DPICHANGED:
        // Moved to a monitor of another scaling (or the scaling changed): take the size
        // Windows suggests and lay the controls, their font and pictures out again.
        dpi_ = HIWORD(wParam);
        if (const auto* suggested = reinterpret_cast<const RECT*>(lParam); suggested != nullptr)
            SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        LayOut();
        return 0;
    case DM_GETDEFID: {
        // Enter presses the push button that has the focus, as in a dialog box; elsewhere
        // (the number box) the default button Dial. The dialog keyboard handling asks here
        // because this is no dialog box and its buttons do not pass the default between
        // them when the focus moves by a click.
        HWND focus = GetFocus();
        if (focus != nullptr && GetParent(focus) == hwnd &&
            (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0)
            return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
        return MAKELRESULT(kIdDial, DC_HASDEFID);
    }
    case WM_ACTIVATE:
        // Keep the focused control across deactivation, as dialog boxes do.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(hwnd, focus))
                lastFocus_ = focus;
        } else if (lastFocus_ != nullptr && IsWindow(lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        constexpr DWORD kMaxLinkBytes = 4096;
        if (data == nullptr || data->dwData != kLinkTag || data->cbData > kMaxLinkBytes || !linkHandler_)
            return FALSE;
        const std::string link = data->cbData == 0
                                     ? std::string()
                                     : std::string(static_cast<const char*>(data->lpData), data->cbData);
        RunHandler([&] { linkHandler_(link); }, hwnd);
        return TRUE;
    }
    case WM_CLOSE:
        // Closing the dial window ends the run; a hidden timing window goes with it.
        DestroyWindow(hwnd);
        PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        UnregisterWindow(hwnd);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace ui::win32
