// PictureButton: a push button that shows a picture instead of a text.
//
// The picture is drawn centred and clipped to the button, over a raised frame that sinks
// while the button is down, with a focus rectangle when it has the keyboard focus. The
// picture is asked for by name for the screen's device pixel ratio, again whenever that
// changes, so it stays sharp at any scale. It carries a one-character tag; what pressing it
// means is up to the window that owns it.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

#include <functional>

namespace ui::qt {

class PictureButton : public QAbstractButton {
    Q_OBJECT
  public:
    // pictureFor gives the picture, at its logical size, for a device pixel ratio.
    using PictureSource = std::function<QPixmap(qreal devicePixelRatio)>;
    PictureButton(PictureSource pictureFor, QChar tag, QWidget* parent = nullptr);

    QChar tag() const { return tag_; }
    QSize sizeHint() const override;
    // The picture as drawn for the button's present device pixel ratio.
    const QPixmap& picture() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    PictureSource pictureFor_;
    mutable QPixmap picture_;
    mutable qreal pictureRatio_ = 0;
    QChar tag_;
};

} // namespace ui::qt
