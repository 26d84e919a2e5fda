// PictureButton: picture centred in a raised frame, sunk while pressed.
#include "PictureButton.h"

#include <QPainter>
#include <QStyleOptionButton>

PictureButton::PictureButton(const QPixmap& picture, QChar tag, QWidget* parent)
    : QAbstractButton(parent), picture_(picture), tag_(tag) {
    setFocusPolicy(Qt::StrongFocus);
}

QSize PictureButton::sizeHint() const {
    return picture_.size();
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
    const QPoint at((width() - picture_.width()) / 2 + shift, (height() - picture_.height()) / 2 + shift);
    p.drawPixmap(at, picture_);
    p.setClipping(false);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}
