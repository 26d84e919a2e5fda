// DialForm: fixed layout, key preview and the hand-over of events to DialFormLogic.
#include "ui/qt/DialForm.h"
#include "ui/qt/PixelGeometry.h"

#include "ui/qt/Accessible.h"
#include "ui/qt/EmbeddedPictures.h"
#include "ui/Layout.h"
#include "ui/qt/QtMessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace ui::qt {

namespace {

// The key-cap picture of a keypad key, for a device pixel ratio.
PictureButton::PictureSource PictureFor(char tag) {
    const std::string name = std::string("key_") + (tag == '*'   ? "star"
                                                    : tag == '#' ? "hash"
                                                                 : std::string(1, tag));
    return [name](qreal ratio) { return ui::qt::KeyPicture(name.c_str(), ratio); };
}

} // namespace

DialForm::DialForm(ui::DialFormLogic::LineFactory factory, ui::LocalClock clock)
    : QWidget(nullptr), logic_(*this, std::move(factory)), clock_(std::move(clock)) {
    using namespace ui::dialform;
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowIcon(ui::qt::ProgramIcon());
    resize(ui::TwipsToPixels(kClient.width), ui::TwipsToPixels(kClient.height));

    // Controls are created in tab order: the keypad "1" to "#", Dial, Clr, <-, ?, Text1.
    std::array<std::size_t, kKeyCount> byTabIndex{};
    for (std::size_t i = 0; i < kKeyCount; ++i)
        byTabIndex[static_cast<std::size_t>(kKeypad[i].tabIndex)] = i;
    for (std::size_t index : byTabIndex) {
        const KeypadKey& key = kKeypad[index];
        auto* button = new PictureButton(PictureFor(key.tag), QChar(key.tag), this);
        button->setObjectName(QStringLiteral("TTButton%1").arg(index));
        button->setGeometry(ui::qt::PixelGeometry(key.rect()));
        ui::qt::Describe(button, ui::a11y::KeyName(key), ui::a11y::kKeyDescription);
        connect(button, &QAbstractButton::clicked, this,
                [this, index] { ui::qt::RunHandler([this, index] { logic_.KeypadPress(index); }); });
        TTButton[index] = button;
    }
    Dial = makeButton(kDial, &ui::DialFormLogic::DialClick);
    ClearBtn = makeButton(kClearBtn, &ui::DialFormLogic::ClearBtnClick);
    CorBtn = makeButton(kCorBtn, &ui::DialFormLogic::CorBtnClick);
    Help = makeButton(kHelp, &ui::DialFormLogic::HelpClick);
    Dial->setDefault(true);
    ui::qt::Describe(Dial, ui::a11y::kDial);
    ui::qt::Describe(ClearBtn, ui::a11y::kClear);
    ui::qt::Describe(CorBtn, ui::a11y::kBackspace);
    ui::qt::Describe(Help, ui::a11y::kHelp);

    Text1 = new QComboBox(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setEditable(true);
    Text1->setInsertPolicy(QComboBox::NoInsert); // only the Dial command adds entries
    Text1->setGeometry(ui::qt::PixelGeometry(kText1));
    Text1->setEditText(QString());
    ui::qt::Describe(Text1, ui::a11y::kNumber);
    ui::qt::Describe(Text1->lineEdit(), ui::a11y::kNumber);
    ui::qt::Describe(this, ui::a11y::kDialWindow);

    // The first control in tab order has the focus when the window is first shown.
    TTButton[1]->setFocus();

    // Like a native window: a focused push button takes Enter and shows as the default;
    // with the focus anywhere else Dial is the default button again. (A QPushButton that
    // loses the focus outside a dialog drops its default state for good.)
    defaultTracking_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now->window() == this)
            Dial->setDefault(now == Dial || !qobject_cast<QPushButton*>(now));
    });

    caretRest_.setSingleShot(true);
    caretRest_.setInterval(kCaretBlinkTimeoutMs);
    connect(&caretRest_, &QTimer::timeout, this, [this] {
        caretFlashTime_ = QApplication::cursorFlashTime();
        QApplication::setCursorFlashTime(0); // a steady caret
    });
    caretRest_.start();

    // Key preview: character keys reach the logic before the focused control.
    qApp->installEventFilter(this);
}

void DialForm::wakeCaret() {
    if (caretFlashTime_ >= 0) {
        QApplication::setCursorFlashTime(caretFlashTime_);
        caretFlashTime_ = -1;
    }
    caretRest_.start();
}

DialForm::~DialForm() {
    if (caretFlashTime_ >= 0)
        QApplication::setCursorFlashTime(caretFlashTime_);
    disconnect(defaultTracking_);
    qApp->removeEventFilter(this);
    delete tform_.data();
}

QPushButton* DialForm::makeButton(const ui::dialform::ButtonSpec& spec,
                                  void (ui::DialFormLogic::*handler)()) {
    auto* button = new QPushButton(QString::fromUtf8(spec.text), this);
    button->setObjectName(QString::fromUtf8(spec.name));
    button->setGeometry(ui::qt::PixelGeometry(spec.rect));
    button->setAutoDefault(true); // Enter presses a focused push button
    connect(button, &QPushButton::clicked, this,
            [this, handler] { ui::qt::RunHandler([this, handler] { (logic_.*handler)(); }); });
    return button;
}

void DialForm::Load() {
    logic_.Load();
}

std::string DialForm::numberText() const {
    return Text1->currentText().toStdString();
}

void DialForm::setNumberText(const std::string& text) {
    Text1->setEditText(QString::fromStdString(text));
}

void DialForm::insertHistoryAtTop(const std::string& number) {
    // Inserting may move the combo box's current item; the text being composed stays.
    const QString text = Text1->currentText();
    Text1->insertItem(0, QString::fromStdString(number));
    Text1->setEditText(text);
}

void DialForm::setFocusToNumber() {
    Text1->setFocus(Qt::OtherFocusReason);
}

ui::MessageAnswer DialForm::showMessage(const std::string& text, ui::MessageButtons buttons) {
    const ui::MessageAnswer answer = ui::qt::ShowMessage(this, text, buttons);
    takeBackActivation();
    return answer;
}

void DialForm::showFailure(const std::string& text, const std::string& reason) {
    ui::qt::ShowMessage(this, text, ui::MessageButtons::Ok, reason);
    takeBackActivation();
}

void DialForm::takeBackActivation() {
    // A closed modal window hands the keyboard back to no one in particular: some window
    // managers leave the focus on nothing, and with none the keys follow the pointer. Ask
    // for it explicitly (on X11 this sets the input focus when the window manager does not
    // activate windows on request); the focus widget inside is the logic's to choose.
    activateWindow();
}

ui::TFormLogic& DialForm::ensureTimingWindow() {
    if (!tform_) {
        tform_ = new TForm(clock_);
        // Closed from its title bar: it is on its way to destruction; forget it now so
        // the next timed call creates a new one.
        connect(tform_.data(), &TForm::closed, this, [this] { tform_ = nullptr; });
    }
    return tform_->logic();
}

void DialForm::showTimingWindowModal() {
    if (tform_)
        tform_->showModal();
    takeBackActivation();
}

void DialForm::showBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void DialForm::bringToFront() {
    if (isMinimized())
        showNormal();
    raise();
    takeBackActivation();
}

void DialForm::closeEvent(QCloseEvent* event) {
    // The run ends with the dial window: a hidden timing window goes with it.
    delete tform_.data();
    QWidget::closeEvent(event);
}

bool DialForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::WindowActivate:
        wakeCaret();
        break;
    default:
        break;
    }
    const bool key = event->type() == QEvent::KeyPress;
    if ((!key && event->type() != QEvent::InputMethod) || !watched->isWidgetType())
        return false;
    auto* receiver = static_cast<QWidget*>(watched);
    if (receiver->window() != this)
        return false;
    // Each key once: only at its first delivery, to the window's focused control (or to
    // the window when nothing in it has the focus), not again as it propagates to parents.
    // The window's own focus widget, not the application's: keys can reach a window that is
    // not active (no window manager), and they must be previewed all the same.
    QWidget* focus = focusWidget();
    if (receiver != (focus ? focus : this))
        return false;
    if (!key)
        return previewComposed(static_cast<QInputMethodEvent*>(event));
    return previewKey(receiver, static_cast<QKeyEvent*>(event));
}

bool DialForm::previewComposed(QInputMethodEvent* input) {
    // Text from an input method (a dead key and a letter, a compose sequence) is typed
    // characters too: each goes through the key preview, and none reaches the field
    // directly, not even as a preview of the composition.
    for (QChar c : input->commitString()) {
        char16_t k = c.unicode();
        ui::qt::RunHandler([this, &k] { logic_.KeyPreview(k); });
    }
    return true;
}

bool DialForm::previewKey(QWidget* receiver, QKeyEvent* key) {
    // Enter presses the focused push button, or else the default button Dial.
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        auto* button = qobject_cast<QAbstractButton*>(receiver);
        (button ? button : Dial)->click();
        return true;
    }
    // Tab and Backtab move the focus as usual.
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
        return false;
    // Keys that produce no character (Delete, Home, arrows ...) act on the field as usual.
    const QString text = key->text();
    if (text.isEmpty() || text.at(0).unicode() == 0x7F)
        return false;
    // With Alt (but not Ctrl+Alt, which is AltGr on some systems) a key is a menu or
    // access key, not a character: access keys have been matched as shortcuts before the
    // key is delivered, and the rest have no effect. The field would insert them.
    if ((key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier))
        return true;

    char16_t k = text.at(0).unicode();
    ui::qt::RunHandler([this, &k] { logic_.KeyPreview(k); });
    return k == 0; // a non-zero k would go on to the control; the logic only leaves 9 and 13
}

} // namespace ui::qt
