// orvodial: starts the dialer. Takes no arguments; the dial window is the main window and
// the run ends when it is closed.
#include "DialerStartup.h"

#include <DialForm.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    app::SetUpApplication();
    std::unique_ptr<DialForm> dialWindow = app::CreateDialWindow();
    if (!dialWindow)
        return 1;
    dialWindow->show();
    return application.exec();
}
