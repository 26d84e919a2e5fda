// Accessible: hands the names, descriptions and roles of ui/Accessibility.h to Qt's
// accessibility (on Linux, its AT-SPI bridge), so that a screen reader finds each
// control by what it is. The two windows are told as frames (Qt would make a top-level
// plain widget a "filler").
#pragma once

#include "ui/Accessibility.h"

class QLabel;
class QWidget;

namespace ui::qt {

// The control's accessible name and description; the windows' frame role, once.
void Describe(QWidget* widget, const a11y::Control& control);
void Describe(QWidget* widget, const std::string& name, const char* description);
// A label's: what it is, then what it shows ("Elapsed time: 00:01:05"), again each time
// its text changes (Qt gives a label no text of its own to read once it has a name).
void DescribeLabel(QLabel* label, const a11y::Control& control);

} // namespace ui::qt
