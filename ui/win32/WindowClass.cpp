#include "ui/win32/WindowClass.h"

#include "ui/win32/Resources.h"

namespace ui::win32 {

namespace {

HICON ProgramIcon(HINSTANCE instance, int size) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, size, size, 0));
}

} // namespace

void RegisterWindowClassOnce(HINSTANCE instance, const wchar_t* className, WNDPROC proc) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, className, &existing))
        return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = ProgramIcon(instance, 32);
    wc.hIconSm = ProgramIcon(instance, 16);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /*IDC_ARROW*/);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    RegisterClassExW(&wc);
}

} // namespace ui::win32
