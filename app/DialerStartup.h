// DialerStartup: creates and loads the dial window, as the program does at start.
//
// Shared by main() and the start-up benchmark so that both measure and run the same path.
#pragma once

#include <RuntimeError.h>

#include <memory>
#include <string>

class DialForm;

namespace app {

// Sets the application's name, version and window icon. Call once after QApplication.
void SetUpApplication();

// Creates the dial window and runs its load handler. A run-time error (380 when there is
// no line device) is reported in a message box and on standard error, and no window is
// returned: the caller ends the program with a non-zero status.
std::unique_ptr<DialForm> CreateDialWindow();

// What the start-up error box says under a run-time error of the load: for 380 (no line
// device) why there is no line and how to add one; empty for anything else.
std::string NoLineExplanation(const RuntimeError& error);

} // namespace app
