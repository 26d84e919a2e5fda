// DialForm: the dial window ("Orvo Dial") in Qt Widgets.
//
// Places the number box, the twelve keypad buttons and Dial, "Clr", "<-", "?" from the
// twips tables, and translates the user's actions into ui::DialFormLogic calls: button
// clicks, and character keys through a key preview that sees them before the focused
// control. It owns the call timing window it creates for the logic, and destroys it with
// itself, so closing the dial window ends the run even when a hidden timing window is
// still loaded.
#pragma once

#include "ui/DialFormLogic.h"
#include "ui/Layout.h"
#include "ui/qt/PictureButton.h"
#include "ui/qt/TForm.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <array>

namespace ui::qt {

class DialForm : public QWidget, public ui::DialView {
    Q_OBJECT
  public:
    // factory creates the line object at Load; clock is the timing windows' wall clock.
    explicit DialForm(ui::DialFormLogic::LineFactory factory, ui::LocalClock clock = ui::SystemLocalNow);
    ~DialForm() override;

    // The load handler; throws RuntimeError (380 with no line device).
    void Load();

    ui::DialFormLogic& logic() { return logic_; }
    // The current call timing window, or null when there is none.
    TForm* timingWindow() const { return tform_; }

    // Like the desktops' text fields, the caret stops blinking after this long without
    // input (and blinks again at the next key or click), so that an idle dialer does not
    // wake the computer twice a second.
    static constexpr int kCaretBlinkTimeoutMs = 10000;
    QTimer* caretRestTimer() { return &caretRest_; }

    QComboBox* Text1;
    std::array<PictureButton*, 12> TTButton{};
    QPushButton* Dial;
    QPushButton* ClearBtn;
    QPushButton* CorBtn;
    QPushButton* Help;

    // DialView
    std::string numberText() const override;
    void setNumberText(const std::string& text) override;
    void insertHistoryAtTop(const std::string& number) override;
    void setFocusToNumber() override;
    ui::MessageAnswer showMessage(const std::string& text, ui::MessageButtons buttons) override;
    void showFailure(const std::string& text, const std::string& reason) override;
    ui::TFormLogic& ensureTimingWindow() override;
    void showTimingWindowModal() override;
    void bringToFront() override;
    void showBusy(bool busy) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool previewKey(QWidget* receiver, class QKeyEvent* key);
    void takeBackActivation();
    bool previewComposed(class QInputMethodEvent* input);
    QPushButton* makeButton(const ui::dialform::ButtonSpec& spec, void (ui::DialFormLogic::*handler)());

    ui::DialFormLogic logic_;
    ui::LocalClock clock_;
    void wakeCaret();

    QPointer<TForm> tform_;
    QMetaObject::Connection defaultTracking_;
    QTimer caretRest_;
    int caretFlashTime_ = -1; // the blink period put aside while the caret rests, else -1
};

} // namespace ui::qt
