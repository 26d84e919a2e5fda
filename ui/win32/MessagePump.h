// MessagePump: the one way this program takes a message off the thread's queue and hands
// it on, shared by the main loop and the modal loop of the call timing window (the
// message boxes run the system's own loop).
//
// Before the usual dialog-keyboard handling (IsDialogMessage: Tab, Enter for the default
// button, access keys) and before TranslateMessage/DispatchMessage, a character message
// (WM_CHAR) for a registered window or any of its controls goes to that window's key
// preview, which may change the character or swallow it (0). TranslateMessage turns a key
// press into WM_CHAR as a separate queued message, so every character reaches the preview
// before the focused control, whichever loop is running.
//
// Telephony messages need nothing special: the line application's hidden window is an
// ordinary window of this thread, so its messages, and with them the line callback, are
// dispatched by whichever loop runs (this one or a message box's).
//
// A RuntimeError that leaves an event handler ends the program: RunHandler shows the
// error's number and text and posts WM_QUIT with the error number as the exit code.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class RuntimeError;

namespace ui::win32 {

// Key preview of a top-level window: gets the character code, may change it; returns the
// code to pass on, 0 to swallow the key.
using KeyPreview = std::function<wchar_t(wchar_t)>;

// Registers a top-level window whose controls take keyboard navigation (and optionally a
// key preview). The window unregisters itself on destruction with UnregisterWindow.
void RegisterWindow(HWND window, KeyPreview preview = nullptr);
void UnregisterWindow(HWND window);

// Hands one message on: key preview, dialog keyboard handling, or translate and dispatch.
void PumpMessage(MSG& msg);

// Runs the loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

// Runs the loop while `keepGoing` holds. A WM_QUIT taken off the queue is posted again
// (so that the outer loop ends too) and ends this loop. Returns false on WM_QUIT.
bool RunModalLoop(const std::function<bool()>& keepGoing);

// Shows the message for a run-time error that ends the program, titled "OrvoDial".
void ShowRuntimeError(const RuntimeError& error, HWND owner = nullptr, const std::string& explanation = {});

// Runs an event handler; a RuntimeError leaving it ends the program (message, then
// WM_QUIT with the error number as exit code). Returns false when that happened.
bool RunHandler(const std::function<void()>& handler, HWND owner = nullptr);

} // namespace ui::win32
