// Twips (1/1440 inch) to device pixels at a window's DPI, points to font heights, and the
// pieces a window needs to lay itself out again when it moves to a monitor of another DPI
// (the font, the controls' places, smoothly scaled pictures).
#pragma once

#include <windows.h>

#include "ui/Layout.h"

namespace ui::win32 {

// The screen's logical DPI (96 on most displays; more when the user scales text).
int ScreenDpi();

// The DPI `window` is drawn at: its monitor's where Windows knows that (Windows 10 version
// 1607 on, asked at run time so that older Windows still start the program), else the
// screen's.
int WindowDpi(HWND window);

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

// Moves and sizes a child control to a twips rectangle.
void PlaceControl(HWND control, ui::TwipRect rect, int dpi);

// The system's message font (the one its dialog boxes use) for a window of `dpi`; the
// caller deletes it.
HFONT CreateMessageFont(int dpi);

// A new bitmap of width x height pixels holding `source` scaled smoothly (averaged, not
// repeated pixels); the caller deletes it. Null when `source` is.
HBITMAP ScaleBitmap(HBITMAP source, int width, int height);

} // namespace ui::win32
