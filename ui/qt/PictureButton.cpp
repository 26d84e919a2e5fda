// PictureButton: picture centred in a raised frame, sunk while pressed.
#include "ui/qt/PictureButton.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace ui::qt {

PictureButton::PictureButton(PictureSource pictureFor, QChar tag, QWidget* parent)
    : QAbstractButton(parent), pictureFor_(std::move(pictureFor)), tag_(tag) {
    setFocusPolicy(Qt::StrongFocus);
}

const QPixmap& PictureButton::picture() const {
    const qreal ratio = devicePixelRatioF();
    if (ratio != pictureRatio_) {
        picture_ = pictureFor_(ratio);
        pictureRatio_ = ratio;
    }
    return picture_;
}

QSize PictureButton::sizeHint() const {
    return picture().deviceIndependentSize().toSize();
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &p, this);

    const int shift = isDown() ? 1 : 0;
    const QRect inner = rect().adjusted(2, 2, -2, -2);
    p.setClipRect(inner);
    const QPixmap& shown = picture();
    const QSize size = shown.deviceIndependentSize().toSize();
    const QPoint at((width() - size.width()) / 2 + shift, (height() - size.height()) / 2 + shift);
    p.drawPixmap(at, shown);
    p.setClipping(false);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

} // namespace ui::qt
