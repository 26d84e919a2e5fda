// EmbeddedPictures: the keypad pictures and the program icon, compiled into the program as
// 32-bit pixel rows (generated at build time by tools/embed_pictures.py from the PNG files).
//
// Start-up shows them without an image reader: no format probing, no image plugins, no
// decoding. Picture() wraps one in a QPixmap; ProgramIcon() is the one icon of the run.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <cstdint>
#include <span>

namespace ui::qt {

struct EmbeddedPicture {
    const char* name;
    int width;
    int height;
    bool hasAlpha;
    const std::uint32_t* pixels; // 0xAARRGGBB, row after row

};

// Every embedded picture, in the order the build listed them.
std::span<const EmbeddedPicture> EmbeddedPictures();

// The picture of that name as a pixmap; a null pixmap for a name that is not embedded.
QPixmap Picture(const char* name);

// The program icon (title bars of both windows and the application's own icon), made once.
const QIcon& ProgramIcon();

// The keypad picture "key_<x>" for a screen of that device pixel ratio, at the picture's
// logical size of 71x53: at 1 the embedded 100 % picture; above, the picture drawn for the
// nearest scale at or above the ratio (resources key_<x>@<s>x.png, s = 1.25 to 3), scaled
// smoothly to the exact device size when the ratio lies between the drawn scales.
QPixmap KeyPicture(const char* name, qreal devicePixelRatio);

} // namespace ui::qt
