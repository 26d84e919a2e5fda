// AppInfo: the program's fixed texts shared by every front end: the title of its
// message boxes, the Help text and the wording of a fatal run-time error.
#pragma once

#include "app/Version.h"

#include <string>

class RuntimeError;

namespace ui {

// Title of every message box the program shows.
inline constexpr const char* kAppTitle = "OrvoDial";
inline constexpr const char* kVersionText = ORVODIAL_VERSION_TEXT;

// The text of the Help ("?") message box. With the line in use (its name and what its
// telephony says it is, e.g. "Desk phone" and "SIP click-to-dial on sip:201@pbx"), it
// names that line and how to set up another.
std::string HelpText(const std::string& lineName = {}, const std::string& lineKind = {});

// Asked at the dialer's first start when no telephone line is set up (no configuration
// file, path): it works on its practice line, which dials nothing. Yes sets up a line.
std::string FirstStartQuestion(const std::string& path);

// The message for a run-time error that ends the program, e.g.
// "Run-time error '380':\n\nInvalid property value".
std::string RuntimeErrorMessage(int number, const std::string& text);
std::string RuntimeErrorMessage(const RuntimeError& error);

} // namespace ui
