// EmbeddedPictures: pixmaps and the icon from the compiled-in pixel rows.
#include "EmbeddedPictures.h"

#include <QImage>

#include <cstring>

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

const QIcon& ProgramIcon() {
    static const QIcon icon(Picture("orvodial"));
    return icon;
}

} // namespace qtui
