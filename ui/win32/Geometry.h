// Twips (1/1440 inch) to device pixels at the screen's DPI, and points to font heights.
#pragma once

#include <windows.h>

#include "ui/Layout.h"

namespace ui::win32 {

// The screen's logical DPI (96 on most displays; more when the user scales text).
int ScreenDpi();

inline int TwipsToDevice(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

inline RECT TwipsToDevice(ui::TwipRect r, int dpi) {
    const int left = TwipsToDevice(r.left, dpi);
    const int top = TwipsToDevice(r.top, dpi);
    return {left, top, left + TwipsToDevice(r.width, dpi), top + TwipsToDevice(r.height, dpi)};
}

// LOGFONT height (negative: character height) of a font of `points` at `dpi`.
inline int PointsToFontHeight(int points, int dpi) {
    return -MulDiv(points, dpi, 72);
}

// Creates a child control at a twips rectangle.
HWND CreateControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                   ui::TwipRect rect, int dpi);

// Sizes a top-level window so that its client area is `client` twips.
void SetClientSize(HWND window, ui::TwipSize client, int dpi);

} // namespace ui::win32
