// TForm: the "Call Timing" window in Qt Widgets.
//
// Shows the number (Num), the clock (Timebox) and Done (Command1); a 500 ms timer ticks
// while the window is shown. Hidden, the timer rests, so a hidden window never wakes the
// program; the logic brings the clock text up to date when the window is seen again. All behaviour is in ui::TFormLogic; this
// class places the controls from the twips table and forwards the timer and the button.
// Done hides the window; closing it from the title bar destroys it (closed() is emitted
// first so that its owner forgets it).
#pragma once

#include "ui/TFormLogic.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace ui::qt {

class TForm : public QWidget, public ui::TimingView {
    Q_OBJECT
  public:
    explicit TForm(ui::LocalClock clock = ui::SystemLocalNow);
    ~TForm() override;

    ui::TFormLogic& logic() { return logic_; }

    // Shows the window application-modal and returns once it is hidden or closed. The
    // window may be gone on return (closed from the title bar).
    void showModal();

    // The clock font: "Digiface" 36 pt when installed. Otherwise the seven-segment face
    // built into the program, at 36 pt or smaller so that "00:00:00" fits the label's
    // width (it is wider than Digiface).
    static QFont TimeboxFont(int labelWidth);

    QLabel* Num;
    QLabel* Timebox;
    QPushButton* Command1;
    QTimer* Timer1;

    // TimingView
    void setNumText(const std::string& text) override;
    void setTimeboxText(const std::string& text) override;
    void hideWindow() override;

  signals:
    void closed();
    void hiddenOrClosed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    ui::TFormLogic logic_;
};

} // namespace ui::qt
