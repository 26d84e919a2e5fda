// DialerStartup: creates and loads the dial window, as the program does at start.
//
// Shared by main() and the start-up benchmark so that both measure and run the same path.
#pragma once

#include "telephony/RuntimeError.h"

#include <memory>
#include <string>

namespace ui::qt {
class DialForm;
}

namespace app {

using ui::qt::DialForm;

// Sets the application's name, version and window icon. Call once after QApplication.
void SetUpApplication();

// Creates the dial window and runs its load handler. A run-time error (380 when there is
// no line device) is reported in a message box and on standard error, and no window is
// returned: the caller ends the program with a non-zero status.
std::unique_ptr<DialForm> CreateDialWindow();

// At the first start without a telephone line set up (no configuration file), asks the
// user over the dial window whether to set one up: Yes opens line 0's settings dialog
// (saved into the file when accepted; cancelled, the next start asks again), No saves
// the practice line into the file, so that later starts ask nothing.
void AskForALineAtFirstStart(DialForm& dialWindow);

// The line configuration dialog of line 0, or the dialing properties, on their own, as
// `orvodial --line-settings` and `--dialing-properties` open them; what the user accepts is
// saved into the configuration file. Returns the exit status: 0, or 1 when there is no
// line (error 380, reported as at start) or the telephony service refuses the dialog.
enum class LineDialog { Settings, DialingProperties };
int RunLineDialog(LineDialog dialog);

// What the start-up error box says under a run-time error of the load: for 380 (no line
// device) why there is no line and how to add one; empty for anything else.
std::string NoLineExplanation(const RuntimeError& error);

} // namespace app
