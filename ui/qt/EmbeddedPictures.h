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

namespace qtui {

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

} // namespace qtui
