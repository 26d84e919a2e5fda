// PictureButton: a push button that shows a picture instead of a text.
//
// The picture is drawn centred and clipped to the button, over a raised frame that sinks
// while the button is down, with a focus rectangle when it has the keyboard focus. It
// carries a one-character tag; what pressing it means is up to the window that owns it.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

class PictureButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit PictureButton(const QPixmap& picture, QChar tag, QWidget* parent = nullptr);

    QChar tag() const { return tag_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap picture_;
    QChar tag_;
};
