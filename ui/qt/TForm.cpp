// TForm: fixed layout from the twips table, fonts, timer and modal show.
#include "ui/qt/TForm.h"
#include "ui/qt/PixelGeometry.h"

#include "ui/qt/Accessible.h"
#include "ui/qt/EmbeddedPictures.h"
#include "ui/Layout.h"
#include "ui/qt/QtMessageBox.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPointer>

namespace ui::qt {

namespace {

constexpr const char* kEmbeddedClockFont = ":/fonts/DSEG7Classic-Regular.ttf";

} // namespace

QFont TForm::TimeboxFont(int labelWidth) {
    using namespace ui::tform;
    const QString family = QString::fromUtf8(kTimeboxFontFamily);
    if (QFontDatabase::hasFamily(family))
        return QFont(family, kTimeboxFontPoints, QFont::Normal);

    static const QString embedded = [] {
        const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(kEmbeddedClockFont));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    if (embedded.isEmpty())
        return QFont(family, kTimeboxFontPoints, QFont::Normal); // usual substitution
    QFont font(embedded, kTimeboxFontPoints, QFont::Normal);
    const QString widest = QString::fromUtf8(kTimeboxDesignText);
    while (font.pointSize() > 8 && QFontMetrics(font).horizontalAdvance(widest) > labelWidth)
        font.setPointSize(font.pointSize() - 1);
    return font;
}

TForm::TForm(ui::LocalClock clock) : QWidget(nullptr), logic_(*this, std::move(clock)) {
    using namespace ui::tform;
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowIcon(ui::qt::ProgramIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    resize(ui::TwipsToPixels(kClient.width), ui::TwipsToPixels(kClient.height));

    Command1 = new QPushButton(QString::fromUtf8(kCommand1Text), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(ui::qt::PixelGeometry(kCommand1));
    Command1->setDefault(true);
    Command1->setAutoDefault(true);
    connect(Command1, &QPushButton::clicked, this, [this] { ui::qt::RunHandler([this] { logic_.Done(); }); });

    Num = new QLabel(QString::fromUtf8(kNumDesignText), this);
    Num->setObjectName(QStringLiteral("Num"));
    Num->setGeometry(ui::qt::PixelGeometry(kNum));
    Num->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Num->setTextFormat(Qt::PlainText);
    Num->setFont(QFont(QString::fromUtf8(kNumFontFamily), kNumFontPoints, QFont::Bold));

    Timebox = new QLabel(QString::fromUtf8(kTimeboxDesignText), this);
    Timebox->setObjectName(QStringLiteral("Timebox"));
    Timebox->setGeometry(ui::qt::PixelGeometry(kTimebox));
    Timebox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Timebox->setTextFormat(Qt::PlainText);
    Timebox->setFont(TimeboxFont(Timebox->width()));
    QPalette red = Timebox->palette();
    red.setColor(QPalette::WindowText, QColor::fromRgb(kTimeboxColourRgb));
    Timebox->setPalette(red);

    Timer1 = new QTimer(this);
    Timer1->setInterval(kTimerIntervalMs);
    connect(Timer1, &QTimer::timeout, this, [this] { ui::qt::RunHandler([this] { logic_.Tick(); }); });
    logic_.Rest(); // created hidden: the timer starts with the first show

    ui::qt::Describe(this, ui::a11y::kTimingWindow);
    ui::qt::Describe(Command1, ui::a11y::kDone);
    ui::qt::DescribeLabel(Num, ui::a11y::kTimedNumber);
    ui::qt::DescribeLabel(Timebox, ui::a11y::kElapsed);
    Command1->setFocus();
}

TForm::~TForm() = default;

void TForm::showModal() {
    QPointer<TForm> self(this);
    QEventLoop loop;
    connect(this, &TForm::hiddenOrClosed, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    Command1->setFocus();
    loop.exec();
    if (self)
        setWindowModality(Qt::NonModal);
}

void TForm::setNumText(const std::string& text) {
    Num->setText(QString::fromStdString(text));
    ui::qt::DescribeLabel(Num, ui::a11y::kTimedNumber);
}

void TForm::setTimeboxText(const std::string& text) {
    Timebox->setText(QString::fromStdString(text));
    ui::qt::DescribeLabel(Timebox, ui::a11y::kElapsed);
}

void TForm::hideWindow() {
    hide();
}

void TForm::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        Timer1->stop();
        emit closed();
    }
}

void TForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) // minimised: still on the taskbar, the clock runs on
        return;
    Timer1->stop();
    logic_.Rest();
    emit hiddenOrClosed();
}

void TForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous() || Timer1->isActive())
        return;
    ui::qt::RunHandler([this] { logic_.Wake(); });
    Timer1->start();
}

void TForm::keyPressEvent(QKeyEvent* event) {
    // Enter presses the default button wherever the focus is.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Command1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace ui::qt
