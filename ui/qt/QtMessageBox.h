// QtMessageBox: the program's message boxes and its end on a run-time error.
//
// Every box is titled "OrvoDial" and has no icon; a Yes/No box opens with Yes focused.
#pragma once

#include "ui/DialFormLogic.h"

#include "telephony/RuntimeError.h"

#include <QWidget>

#include <functional>

namespace ui::qt {

// reason, when not empty, goes beneath the text (the box's informative text).
ui::MessageAnswer ShowMessage(QWidget* parent, const std::string& text, ui::MessageButtons buttons,
                              const std::string& reason = {});

// Shows "Run-time error 'n':" with the error's text, and under it the explanation when
// there is one (what is wrong, how to mend it); writes the error to standard error.
void ReportRuntimeError(const RuntimeError& error, const std::string& explanation = {});

// Runs one event handler of a window. A run-time error reaching its top is reported and
// ends the program with exit status 1.
void RunHandler(const std::function<void()>& handler);

} // namespace ui::qt
