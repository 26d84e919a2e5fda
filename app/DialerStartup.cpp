// DialerStartup: application identity and the dial window's load.
#include "app/DialerStartup.h"

#include "ui/AppInfo.h"
#include "ui/qt/DialForm.h"
#include "ui/qt/EmbeddedPictures.h"
#include "localtapi/qt/SystemTapi.h"
#include "ui/qt/QtMessageBox.h"

#include <QApplication>

#include <cstdio>

namespace app {

std::string NoLineExplanation(const RuntimeError& error) {
    if (error.number() != 380)
        return {};
    return localtapi::qt::SystemService()->NoLineExplanation();
}

void SetUpApplication() {
    QApplication::setApplicationName(QString::fromUtf8(ui::kAppTitle));
    QApplication::setApplicationVersion(QString::fromUtf8(ui::kVersionText));
    QApplication::setDesktopFileName(QStringLiteral("orvodial"));
    QApplication::setWindowIcon(ui::qt::ProgramIcon());
}

std::unique_ptr<DialForm> CreateDialWindow() {
    auto form = std::make_unique<DialForm>([] { return CvbTAPILine::New(); });
    try {
        form->Load();
    } catch (const RuntimeError& error) {
        form.reset(); // releases the line object before the message
        ui::qt::ReportRuntimeError(error, NoLineExplanation(error));
        return nullptr;
    }
    return form;
}

void AskForALineAtFirstStart(DialForm& dialWindow) {
    const localtapi::Configuration& config = localtapi::qt::SystemService()->CurrentConfiguration();
    if (config.fileFound || config.lines.empty() || !config.lines.front().systemFile.empty())
        return; // set up by the user, or for everyone by an administrator
    const std::string path = config.path;
    const localtapi::LineSettings practice = config.lines.front();
    if (dialWindow.showMessage(ui::FirstStartQuestion(path), ui::MessageButtons::YesNo) == ui::MessageAnswer::Yes) {
        dialWindow.logic().tapiLine()->ConfigDialog();
        return;
    }
    std::string error;
    if (!localtapi::SaveLineSettings(path, practice, error))
        std::fprintf(stderr, "%s: the practice line could not be saved in %s: %s\n", ui::kAppTitle, path.c_str(),
                     error.c_str());
}

int RunLineDialog(LineDialog dialog) {
    const std::shared_ptr<CvbTAPILine> line = CvbTAPILine::New();
    try {
        ui::SelectFirstLine(*line);
    } catch (const RuntimeError& error) {
        ui::qt::ReportRuntimeError(error, NoLineExplanation(error));
        return 1;
    }
    const bool shown = dialog == LineDialog::Settings ? line->ConfigDialog() : line->DialingPropertiesDialog();
    if (shown)
        return 0;
    const LONG code = line->LastError();
    std::fprintf(stderr, "%s: the telephony service refused the dialog: %s\n", ui::kAppTitle,
                 line->ErrorString(code).c_str());
    return 1;
}

} // namespace app
