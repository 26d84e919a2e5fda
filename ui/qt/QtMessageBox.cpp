// QtMessageBox: QMessageBox with the program's title, and the fatal run-time error path.
#include "QtMessageBox.h"

#include "AppInfo.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace qtui {

ui::MessageAnswer ShowMessage(QWidget* parent, const std::string& text, ui::MessageButtons buttons) {
    const bool yesNo = buttons == ui::MessageButtons::YesNo;
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(ui::kAppTitle), QString::fromStdString(text),
                    yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon()); // plain text buttons
    switch (box.exec()) {
    case QMessageBox::Yes:
        return ui::MessageAnswer::Yes;
    case QMessageBox::No:
        return ui::MessageAnswer::No;
    default:
        return yesNo ? ui::MessageAnswer::No : ui::MessageAnswer::Ok;
    }
}

void ReportRuntimeError(const RuntimeError& error) {
    const std::string message = ui::RuntimeErrorMessage(error);
    std::fprintf(stderr, "%s: %s\n", ui::kAppTitle, message.c_str());
    std::fflush(stderr);
    ShowMessage(nullptr, message, ui::MessageButtons::Ok);
}

void RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RuntimeError& error) {
        ReportRuntimeError(error);
        std::exit(1);
    }
}

} // namespace qtui
