// A control's place in twips (ui/Layout.h) as a Qt rectangle in pixels at the screen's
// scale, for both windows' setGeometry.
#pragma once

#include "ui/Layout.h"

#include <QRect>

namespace ui::qt {

inline QRect PixelGeometry(const ui::TwipRect& twips) {
    const ui::PixelRect r = ui::ToPixels(twips);
    return {r.left, r.top, r.width, r.height};
}

} // namespace ui::qt
