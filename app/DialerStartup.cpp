// DialerStartup: application identity and the dial window's load.
#include "DialerStartup.h"

#include <AppInfo.h>
#include <DialForm.h>
#include <EmbeddedPictures.h>
#include <LocalTapi.h>
#include <QtMessageBox.h>

#include <QApplication>

namespace app {

std::string NoLineExplanation(const RuntimeError& error) {
    if (error.number() != 380)
        return {};
    const auto service = std::dynamic_pointer_cast<localtapi::LocalTapi>(mTAPIDecs::SystemTapi());
    return service ? service->NoLineExplanation() : std::string();
}

void SetUpApplication() {
    QApplication::setApplicationName(QString::fromUtf8(ui::kAppTitle));
    QApplication::setApplicationVersion(QString::fromUtf8(ui::kVersionText));
    QApplication::setDesktopFileName(QStringLiteral("orvodial"));
    QApplication::setWindowIcon(qtui::ProgramIcon());
}

std::unique_ptr<DialForm> CreateDialWindow() {
    auto form = std::make_unique<DialForm>([] { return CvbTAPILine::New(); });
    try {
        form->Load();
    } catch (const RuntimeError& error) {
        form.reset(); // releases the line object before the message
        qtui::ReportRuntimeError(error, NoLineExplanation(error));
        return nullptr;
    }
    return form;
}

} // namespace app
