// Accessible: the names a screen reader reads for the native windows' controls, from
// ui/Accessibility.h, through MSAA (and UI Automation's bridge from it). A named control
// answers WM_GETOBJECT with an IAccessible of its own: the table's name, description and
// role, a label's text as its value, "press" on a button as a click; everything else is
// handed to the system's standard object for the control where the system has one.
// What it does not do: no UI Automation provider of its own, no events of its own.
#pragma once

#include "ui/Accessibility.h"

#include <windows.h>

namespace ui::win32 {

// From now on the control tells assistive technology what `control` says (its name may be
// a keypad key's, given apart). The control keeps its looks and behaviour.
void Describe(HWND hwnd, const a11y::Control& control);
void Describe(HWND hwnd, const std::string& name, const char* description, a11y::Role role);

} // namespace ui::win32
