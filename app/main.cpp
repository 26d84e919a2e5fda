// orvodial: starts the dialer. Without arguments the dial window is the main window and the
// run ends when it is closed. With a link, its number goes into the dial window of the
// dialer already running for this user (or of this one when none is); the two dialog
// options open a line's settings or the dialing properties and end (CommandLine.h).
#include "app/CommandLine.h"
#include "app/DialerStartup.h"
#include "app/SingleDialer.h"

#include "ui/AppInfo.h"
#include "localtapi/qt/SystemTapi.h"
#include "telephony/mTAPIDecs.h"
#include "ui/qt/DialForm.h"
#include "ui/qt/QtMessageBox.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using ui::qt::DialForm;

namespace {

constexpr int kHandOverTimeoutMs = 3000;

} // namespace

int main(int argc, char** argv) {
    const app::CommandLine command = app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!command.error.empty()) {
        std::fprintf(stderr, "orvodial: %s\nTry 'orvodial --help'.\n", command.error.c_str());
        return app::kUsageExitStatus;
    }
    if (command.action == app::Action::Help) {
        std::fputs(app::UsageText().c_str(), stdout);
        return 0;
    }
    if (command.action == app::Action::Version) {
        std::printf("%s %s\n", ui::kAppTitle, ui::kVersionText);
        return 0;
    }

    // Qt's default platform needs an X display: say so rather than let Qt abort.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fputs("orvodial: no display to show the dialer on (DISPLAY is not set); without a desktop, try: "
                   "xvfb-run -a orvodial\n",
                   stderr);
        return 1;
    }
    int qtArgc = 1; // the arguments are ours, not Qt's
    QApplication application(qtArgc, argv);
    // Every way out of main below ends the windows and line objects, then the telephony
    // (trace, service, drivers), then QApplication: none of them is left to exit handlers.
    const mTAPIDecs::SystemTapiScope telephony;
    app::SetUpApplication();
    if (command.action != app::Action::Dial)
        return app::RunLineDialog(command.action == app::Action::LineSettings ? app::LineDialog::Settings
                                                                              : app::LineDialog::DialingProperties);

    if (app::HandToRunningDialer(command.link, kHandOverTimeoutMs))
        return 0;
    std::unique_ptr<DialForm> dialWindow = app::CreateDialWindow();
    if (!dialWindow)
        return 1;
    app::DialerServer server([&dialWindow](std::optional<std::string> number) {
        if (dialWindow) // none while the program ends
            ui::qt::RunHandler([&] { dialWindow->logic().ReceiveLink(std::move(number)); });
    });
    QString error;
    if (!server.Listen(error))
        std::fprintf(stderr, "orvodial: later starts cannot reach this dialer: %s\n", qPrintable(error));
    dialWindow->show();
    if (command.link)
        dialWindow->logic().ReceiveLink(command.number);
    // Asked once the window is up, from the event loop, before anything is dialled.
    QTimer::singleShot(0, dialWindow.get(), [&dialWindow] {
        ui::qt::RunHandler([&] { app::AskForALineAtFirstStart(*dialWindow); });
    });
    const int status = application.exec();
    // A modem still hanging up after the last call gets its moment (a second at most), so
    // that quitting right after a call never leaves it off hook.
    dialWindow.reset();
    localtapi::qt::SystemService()->WaitForDevices(std::chrono::seconds(1));
    return status;
}
