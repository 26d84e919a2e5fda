// Start-up of OrvoDial.exe: creates the dial window on the system's telephony (tapi32),
// runs its load handler and, unless that raised a run-time error, shows the window and
// runs the message loop until the window is closed.
//
// A run-time error at load (380 when the system has no telephone line device) ends the
// program before the dial window is shown, after a message box with the error's number
// and text; the exit code is the error number. The program takes no arguments.
#include <DialForm.h>
#include <MessagePump.h>

#include <RuntimeError.h>

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    ui::win32::DialForm dialForm(instance);
    try {
        dialForm.Load();
    } catch (const RuntimeError& error) {
        ui::win32::ShowRuntimeError(error);
        return error.number();
    }
    dialForm.Show(showCommand);
    return ui::win32::RunMessageLoop();
}
