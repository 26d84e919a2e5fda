// DeviceIcon: the line device's icon, drawn: a desk telephone, tinted by driver.
#include "localtapi/qt/LineDialogs.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace localtapi::qt {

QImage DeviceIcon(const std::string& driver) {
    constexpr int kSize = 32;
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // A tint per driver, so that different kinds of device look different.
    std::size_t hash = std::hash<std::string>{}(driver);
    const QColor body =
        driver == "simulated" ? QColor(0x1f, 0x6f, 0xb5) : QColor::fromHsv(int(hash % 360), 160, 170);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(body.darker(160), 1.2));
    // Base of the desk telephone.
    QPainterPath base;
    base.moveTo(5, 28);
    base.lineTo(9, 15);
    base.lineTo(23, 15);
    base.lineTo(27, 28);
    base.closeSubpath();
    p.setBrush(body);
    p.drawPath(base);
    // Handset on its cradle.
    p.drawRoundedRect(QRectF(3, 6, 26, 6), 3, 3);
    // Keypad: three by three keys.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf0, 0xf0, 0xf0));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(12 + col * 3, 17 + row * 3.3, 2, 2));
    return image;
}

} // namespace localtapi::qt
