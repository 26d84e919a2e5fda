// Handles: what the window, device-context and icon handles of the telephony API stand
// for on this platform. A window handle is a QWidget*, a device context a QPainter*, and
// an icon a QImage that the telephony service owns until DestroyIcon.
#pragma once

#include "telephony/mTAPIDecs.h"

class QImage;
class QPainter;
class QWidget;

namespace localtapi::qt {

inline HWND HwndFromWidget(QWidget* widget) {
    return reinterpret_cast<HWND>(widget);
}
inline QWidget* WidgetFromHwnd(HWND hwnd) {
    return reinterpret_cast<QWidget*>(hwnd);
}
inline HDC HdcFromPainter(QPainter* painter) {
    return reinterpret_cast<HDC>(painter);
}
inline QPainter* PainterFromHdc(HDC hdc) {
    return reinterpret_cast<QPainter*>(hdc);
}
inline HICON HiconFromImage(QImage* image) {
    return reinterpret_cast<HICON>(image);
}
inline QImage* ImageFromHicon(HICON icon) {
    return reinterpret_cast<QImage*>(icon);
}

} // namespace localtapi::qt

// Mirrors of the helpers at global scope, for the program's windows.
using localtapi::qt::HdcFromPainter;
using localtapi::qt::HwndFromWidget;
