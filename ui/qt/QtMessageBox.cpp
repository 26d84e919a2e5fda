// QtMessageBox: QMessageBox with the program's title, and the fatal run-time error path.
#include "ui/qt/QtMessageBox.h"

#include "ui/AppInfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>

#include <cstdio>
#include <cstdlib>

namespace ui::qt {

namespace {

// Title-bar room beside the title's text: the window icon and three buttons.
constexpr int kTitleBarExtras = 160;

// The application's style, except that dialog buttons have no icons. With the icons on
// (the desktop theme's choice), every standard button made looks up its icon in the icon
// themes: thousands of failing file look-ups, for the first box tens of milliseconds.
class PlainButtonsStyle : public QProxyStyle {
  public:
    PlainButtonsStyle() : QProxyStyle(QApplication::style()->name()) { setParent(qApp); }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// One for the run, made with the first box and gone with the application.
QStyle* PlainButtons() {
    static QPointer<QStyle> style;
    if (!style)
        style = new PlainButtonsStyle;
    return style;
}

} // namespace

ui::MessageAnswer ShowMessage(QWidget* parent, const std::string& text, ui::MessageButtons buttons,
                              const std::string& reason) {
    const bool yesNo = buttons == ui::MessageButtons::YesNo;
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(ui::kAppTitle), QString::fromStdString(text),
                    QMessageBox::NoButton, parent);
    if (!reason.empty()) {
        box.setInformativeText(QString::fromStdString(reason));
        // The reason is the telephony's words (a port's name, a server's answer): plain text.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
    }
    // The buttons are made by the box's button box, with its style: plain text buttons.
    if (auto* buttonBox = box.findChild<QDialogButtonBox*>())
        buttonBox->setStyle(PlainButtons());
    box.setStandardButtons(yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    // A short text ("TAPI failure") makes a box narrower than its own title bar needs,
    // and window managers then cut the title "OrvoDial" to "...". Keep room for the title,
    // the window icon and three title-bar buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return ui::MessageAnswer::Yes;
    case QMessageBox::No:
        return ui::MessageAnswer::No;
    default:
        return yesNo ? ui::MessageAnswer::No : ui::MessageAnswer::Ok;
    }
}

void ReportRuntimeError(const RuntimeError& error, const std::string& explanation) {
    const std::string message = ui::RuntimeErrorMessage(error);
    std::fprintf(stderr, "%s: %s\n", ui::kAppTitle, message.c_str());
    std::fflush(stderr);
    ShowMessage(nullptr, explanation.empty() ? message : message + "\n\n" + explanation, ui::MessageButtons::Ok);
}

void RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RuntimeError& error) {
        ReportRuntimeError(error);
        std::exit(1);
    }
}

} // namespace ui::qt
