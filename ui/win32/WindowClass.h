// Registration of the top-level window classes of the native front end: both windows
// carry the program icon (large and small) and the dialog face colour.
#pragma once

#include <windows.h>

namespace ui::win32 {

// Registers `className` with `proc` unless this instance has registered it already.
void RegisterWindowClassOnce(HINSTANCE instance, const wchar_t* className, WNDPROC proc);

} // namespace ui::win32
