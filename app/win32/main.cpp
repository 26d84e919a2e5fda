// Start-up of OrvoDial.exe: reads the command line (CommandLine.h), then creates the dial
// window on the system's telephony (tapi32), runs its load handler and, unless that raised
// a run-time error, shows the window and runs the message loop until it is closed.
//
// A run-time error at load (380 when the system has no telephone line device) ends the
// program before the dial window is shown, after a message box with the error's number
// and text; the exit code is the error number. With a link, its number goes into the dial
// window of the dialer already running in this session (a named mutex tells whether one
// is, WM_COPYDATA hands the link over); --line-settings and --dialing-properties open the
// line's dialogs and end.
#include "app/CommandLine.h"
#include "ui/win32/DialForm.h"
#include "ui/win32/MessagePump.h"
#include "ui/win32/Win32Text.h"

#include "ui/AppInfo.h"
#include "telephony/RuntimeError.h"
#include "telephony/mTAPIDecs.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// Under the start-up error 380: what it means on Windows and how to mend it.
constexpr const char* kNoLineExplanation =
    "No telephone line is available: Windows reports no telephony line device. Install a modem "
    "(or another telephony device with its TAPI driver) and check it in Control Panel, Phone and "
    "Modem.";

// Per session and so per user: the Local namespace is the session's.
constexpr const wchar_t* kDialerMutex = L"Local\\OrvoDial-Dialer";

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            args.push_back(ui::win32::Narrow(argv[i]));
        LocalFree(argv);
    }
    return args;
}

// Text for the user of a program without a console: on standard output or error when
// there is one (redirected, or a console started it), else in a message box.
void Tell(const std::string& text, bool error) {
    HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE &&
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return;
    MessageBoxW(nullptr, ui::win32::Widen(text).c_str(), ui::win32::Widen(ui::kAppTitle).c_str(),
                error ? MB_OK | MB_ICONERROR : MB_OK);
}

// Hands the link (empty: none) to the running dialer's window; true when it took it.
bool HandToRunningDialer(const std::string& link) {
    HWND running = FindWindowW(ui::win32::DialForm::kClassName, nullptr);
    if (running == nullptr)
        return false;
    DWORD process = 0;
    GetWindowThreadProcessId(running, &process);
    AllowSetForegroundWindow(process); // so that it may come to the front
    COPYDATASTRUCT data{ui::win32::DialForm::kLinkTag, static_cast<DWORD>(link.size()),
                        const_cast<char*>(link.data())};
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 3000,
                               &result) != 0 &&
           result == TRUE;
}

int RunLineDialog(bool settings) {
    const std::shared_ptr<CvbTAPILine> line = CvbTAPILine::New();
    try {
        ui::SelectFirstLine(*line);
    } catch (const RuntimeError& error) {
        ui::win32::ShowRuntimeError(error, nullptr, error.number() == 380 ? kNoLineExplanation : "");
        return error.number();
    }
    if (settings ? line->ConfigDialog() : line->DialingPropertiesDialog())
        return 0;
    Tell(std::string("The telephony service refused the dialog: ") + line->ErrorString(line->LastError()) + "\n",
         true);
    return 1;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // Every way out ends the windows and line objects first, then the telephony binding
    // and its trace: nothing of it is left to the exit handlers.
    const mTAPIDecs::SystemTapiScope telephony;
    const app::CommandLine command = app::ParseCommandLine(Arguments());
    if (!command.error.empty()) {
        Tell("orvodial: " + command.error + "\nTry 'OrvoDial.exe --help'.\n", true);
        return app::kUsageExitStatus;
    }
    switch (command.action) {
    case app::Action::Help:
        Tell(app::UsageText(), false);
        return 0;
    case app::Action::Version:
        Tell(std::string(ui::kAppTitle) + " " + ui::kVersionText + "\n", false);
        return 0;
    case app::Action::LineSettings:
    case app::Action::DialingProperties:
        return RunLineDialog(command.action == app::Action::LineSettings);
    case app::Action::Dial:
        break;
    }

    // The first dialer of the session owns the mutex until it ends.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kDialerMutex);
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HandToRunningDialer(command.link.value_or(std::string())))
            return 0;
        // Its window is not there (yet, or any more): this start becomes a dialer too.
    }
    ui::win32::DialForm dialForm(instance);
    try {
        dialForm.Load();
    } catch (const RuntimeError& error) {
        ui::win32::ShowRuntimeError(error, nullptr, error.number() == 380 ? kNoLineExplanation : "");
        return error.number();
    }
    dialForm.SetLinkHandler([&dialForm](const std::string& link) {
        if (link.empty()) {
            dialForm.logic().ReceiveLink(std::nullopt);
            return;
        }
        const app::LinkNumber n = app::NumberFromLink(link);
        if (n.error.empty())
            dialForm.logic().ReceiveLink(n.number);
    });
    dialForm.Show(showCommand);
    if (command.link)
        dialForm.logic().ReceiveLink(command.number);
    return ui::win32::RunMessageLoop();
}
