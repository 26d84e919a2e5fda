// EmbeddedPictures: pixmaps and the icon from the compiled-in pixel rows.
#include "ui/qt/EmbeddedPictures.h"

#include <QImage>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace ui::qt {

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

// The scales the key-caps are drawn at beside 100 %: the resources' list in CMakeLists.txt.
constexpr double kDrawnScales[] = {ORVODIAL_KEY_SCALES};

} // namespace

QPixmap KeyPicture(const char* name, qreal devicePixelRatio) {
    const QPixmap normal = Picture(name);
    if (devicePixelRatio <= 1.0 || normal.isNull())
        return normal;
    const double* scale = std::find_if(std::begin(kDrawnScales), std::end(kDrawnScales),
                                       [&](double s) { return s >= devicePixelRatio - 1e-6; });
    if (scale == std::end(kDrawnScales))
        --scale; // above the largest: scaled up from it
    QImage drawn(QStringLiteral(":/pictures/%1@%2x.png").arg(QLatin1String(name), QString::number(*scale)), "PNG");
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

} // namespace ui::qt
