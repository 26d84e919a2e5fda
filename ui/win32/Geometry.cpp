#include "ui/win32/Geometry.h"

namespace ui::win32 {

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    return ScreenDpi();
}

HWND CreateControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                   ui::TwipRect rect, int dpi) {
    const RECT r = TwipsToDevice(rect, dpi);
    HWND control =
        CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left,
                        r.bottom - r.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    return control;
}

void SetClientSize(HWND window, ui::TwipSize client, int dpi) {
    RECT r{0, 0, TwipsToDevice(client.width, dpi), TwipsToDevice(client.height, dpi)};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceControl(HWND control, ui::TwipRect rect, int dpi) {
    const RECT r = TwipsToDevice(rect, dpi);
    SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT CreateMessageFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        // 8-point "MS Shell Dlg", what the stock GUI font is.
        metrics.lfMessageFont = LOGFONTW{};
        metrics.lfMessageFont.lfHeight = PointsToFontHeight(8, ScreenDpi());
        metrics.lfMessageFont.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(metrics.lfMessageFont.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    }
    // The metrics are the screen's; a window on another monitor needs them at its DPI.
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, ScreenDpi());
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

HBITMAP ScaleBitmap(HBITMAP source, int width, int height) {
    BITMAP from{};
    if (source == nullptr || GetObjectW(source, sizeof from, &from) == 0)
        return nullptr;
    HDC screen = GetDC(nullptr);
    HDC sourceDc = CreateCompatibleDC(screen);
    HDC targetDc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldSource = SelectObject(sourceDc, source);
    HGDIOBJ oldTarget = SelectObject(targetDc, target);
    // HALFTONE averages the source pixels behind each target pixel; it needs the brush
    // origin set afterwards.
    SetStretchBltMode(targetDc, HALFTONE);
    SetBrushOrgEx(targetDc, 0, 0, nullptr);
    StretchBlt(targetDc, 0, 0, width, height, sourceDc, 0, 0, from.bmWidth, from.bmHeight, SRCCOPY);
    SelectObject(targetDc, oldTarget);
    SelectObject(sourceDc, oldSource);
    DeleteDC(targetDc);
    DeleteDC(sourceDc);
    ReleaseDC(nullptr, screen);
    return target;
}

} // namespace ui::win32
