// EmbeddedPictures: pixmaps and the icon from the compiled-in pixel rows.
#include "EmbeddedPictures.h"

#include <QImage>

#include <cstdlib>
#include <cstring>
#include <iterator>

namespace qtui {

QPixmap Picture(const char* name) {
    for (const EmbeddedPicture& picture : EmbeddedPictures()) {
        if (std::strcmp(picture.name, name) != 0)
            continue;
        // Already in the raster format: the pixmap shares the static rows, no conversion.
        const QImage image(reinterpret_cast<const uchar*>(picture.pixels), picture.width, picture.height,
                           picture.width * 4, picture.hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        return QPixmap::fromImage(image);
    }
    return {};
}

namespace {

// The scales the key-caps are drawn at beside 100 % (tools/make_pictures.py).
constexpr const char* kDrawnScales[] = {"1.25", "1.5", "2", "2.5", "3"};

} // namespace

QPixmap KeyPicture(const char* name, qreal devicePixelRatio) {
    const QPixmap normal = Picture(name);
    if (devicePixelRatio <= 1.0 || normal.isNull())
        return normal;
    const char* scale = kDrawnScales[std::size(kDrawnScales) - 1];
    for (const char* s : kDrawnScales) {
        if (std::strtod(s, nullptr) >= devicePixelRatio - 1e-6) {
            scale = s;
            break;
        }
    }
    QImage drawn(QStringLiteral(":/pictures/%1@%2x.png").arg(QLatin1String(name), QLatin1String(scale)), "PNG");
    if (drawn.isNull())
        return normal;
    const QSize device(qRound(normal.width() * devicePixelRatio), qRound(normal.height() * devicePixelRatio));
    if (drawn.size() != device)
        drawn = drawn.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPixmap picture = QPixmap::fromImage(drawn);
    picture.setDevicePixelRatio(devicePixelRatio);
    return picture;
}

const QIcon& ProgramIcon() {
    static const QIcon icon(Picture("orvodial"));
    return icon;
}

} // namespace qtui
