#!/usr/bin/env python3
"""Draws the dialer's pictures: the 12 keypad key-caps and the program icon.

The key-caps are drawn from their vector sources, ui/assets/keycaps/key_<name>.svg
(DejaVu Sans), with rsvg-convert (Debian: librsvg2-bin; fonts-dejavu-core) at every scale
the front ends use; the icon is pixel art in this file. Run from anywhere; it writes into
the repository:

  ui/assets/pictures/key_<name>.png        71x53 8-bit grey key-caps (100 %), compiled into the Qt
                                    front end as pixel rows
  ui/assets/pictures/key_<name>@<s>x.png   the same at 1.25, 1.5, 2, 2.5 and 3 times the size, for
                                    screens with those scale factors (Qt resources)
  ui/assets/pictures/key_<name>.bmp        71x53, 8 bits per pixel, 256-entry grey palette: the
  ui/assets/pictures/key_<name>@2x.bmp     Windows resources, at 100 % and 200 %
  ui/assets/icons/orvodial.png            32x32 program icon (title bars, desktop entry)
  ui/assets/icons/orvodial-128.png        the icon scaled up 4x for launchers that want a big one
  ui/assets/icons/orvodial.ico            32x32, 16 colours (4-bit BMP inside an ICO), for the
                                    Windows icon resource
  ui/assets/icons/orvodial.bmp            the icon's 16-colour BMP on its own

<name> is the key's character: 0-9, "star" for "*", "hash" for "#".
The pictures are committed; rerun this after changing a source and commit the results.
"""

import os
import struct
import subprocess
import tempfile
import zlib

from embed_pictures import read_png  # beside this file

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The keypad: character, file name part. The order does not matter here.
KEYS = ["1", "2", "3", "4", "5", "6", "7", "8", "9", "*", "0", "#"]
KEY_FILE_NAME = {"*": "star", "#": "hash"}

KEY_W, KEY_H = 71, 53
QT_SCALES = ["1.25", "1.5", "2", "2.5", "3"]  # beside 100 %
WINDOWS_SCALES = ["2"]                           # beside 100 %


# ---- file writers ----

def png(path, w, h, rows, colour):
    """rows: list of bytes per row; colour: 0 = 8-bit grey, 2 = 8-bit RGB."""
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(kind, data):
        c = kind + data
        return struct.pack(">I", len(data)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, colour, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    write(path, data)


def bmp_rows(w, h, indices, bpp):
    """Bottom-up rows of palette indices packed at bpp bits, padded to 4 bytes."""
    out = b""
    for y in range(h - 1, -1, -1):
        row = indices[y]
        if bpp == 8:
            b = bytes(row)
        else:  # 4 bits
            b = bytes((row[x] << 4) | (row[x + 1] if x + 1 < w else 0) for x in range(0, w, 2))
        out += b + b"\x00" * ((4 - len(b) % 4) % 4)
    return out


def bmp_info(w, h, bpp, ncolours, image_size, height_factor=1):
    return struct.pack("<IiiHHIIiiII", 40, w, h * height_factor, 1, bpp, 0, image_size, 3780, 3780,
                       ncolours, 0)


def bmp(path, w, h, indices, palette, bpp):
    pixels = bmp_rows(w, h, indices, bpp)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    info = bmp_info(w, h, bpp, len(palette), len(pixels))
    offset = 14 + len(info) + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    write(path, header + info + pal + pixels)


def ico(path, w, h, indices, palette, transparent=None):
    pixels = bmp_rows(w, h, indices, 4)
    mask_rows = []
    for y in range(h - 1, -1, -1):
        bits = 0
        row = b""
        for x in range(w):
            bits = (bits << 1) | (1 if indices[y][x] == transparent else 0)
            if x % 8 == 7:
                row += bytes([bits])
                bits = 0
        row += b"\x00" * ((4 - len(row) % 4) % 4)
        mask_rows.append(row)
    mask = b"".join(mask_rows)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    image = bmp_info(w, h, 4, 16, len(pixels) + len(mask), height_factor=2) + pal + pixels + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(image), 6 + 16)
    write(path, header + entry + image)


def write(path, data):
    full = os.path.join(ROOT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)


# ---- keypad pictures ----

def key_cap(source, scale):
    """The key-cap drawn from its SVG source at scale: (width, height, grey rows)."""
    w, h = int(KEY_W * float(scale) + 0.5), int(KEY_H * float(scale) + 0.5)  # as Qt rounds
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "cap.png")
        subprocess.run(["rsvg-convert", "-w", str(w), "-h", str(h), "-o", out, source], check=True)
        w, h, n, rows = read_png(out)
    grey = []
    for row in rows:  # the sources are opaque: luminance of the colour
        grey.append([(299 * row[x] + 587 * row[x + 1] + 114 * row[x + 2] + 500) // 1000
                     for x in range(0, len(row), n)])
    return w, h, grey


def write_keys():
    palette = [(i, i, i) for i in range(256)]
    for ch in KEYS:
        name = KEY_FILE_NAME.get(ch, ch)
        source = os.path.join(ROOT, "ui/assets/keycaps/key_%s.svg" % name)
        for scale in ["1"] + QT_SCALES:
            w, h, grey = key_cap(source, scale)
            suffix = "" if scale == "1" else "@%sx" % scale
            png("ui/assets/pictures/key_%s%s.png" % (name, suffix), w, h, [bytes(r) for r in grey], 0)
            if scale == "1" or scale in WINDOWS_SCALES:
                bmp("ui/assets/pictures/key_%s%s.bmp" % (name, suffix), w, h, grey, palette, 8)


# ---- program icon: a blue desk telephone with a keypad on a yellow ground ----

# The 16 standard colours.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREY, SILVER, BLUE, YELLOW, WHITE = 0, 4, 8, 7, 12, 11, 15

ICON = [
    # 0         1         2         3
    # 01234567890123456789012345678901
    "YYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY",  # 0
    "YYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY",  # 1
    "YYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY",  # 2
    "YYYKKKKKKKKKKKKKKKKKKKKKKKKKKYYY",  # 3  handset
    "YYKBBBBBBBBBBBBBBBBBBBBBBBBBBKYY",  # 4
    "YKBbbbbbbbbbbbbbbbbbbbbbbbbbbNKY",  # 5
    "YKBbbNNNNNNNNNNNNNNNNNNNNNbbbNKY",  # 6
    "YKBbbNKKKKKKKKKKKKKKKKKKKNbbbNKY",  # 7
    "YKBbbNKYYYYYYYYYYYYYYYYYKNbbbNKY",  # 8
    "YKNNNNKYYYYYYYYYYYYYYYYYKNNNNNKY",  # 9
    "YYKKKKYYYYYYYYYYYYYYYYYYYKKKKKYY",  # 10
    "YYYYYYYYYYKKYYYYYYYYKKYYYYYYYYYY",  # 11 cradle posts
    "YYYYYYYYYKbNKYYYYYYKbNKYYYYYYYYY",  # 12
    "YYYYYYYKKBbNKKKKKKKKBbNKKYYYYYYY",  # 13 body
    "YYYYYYKBBbbbbbbbbbbbbbbbNKYYYYYY",  # 14
    "YYYYYKBbbbbbbbbbbbbbbbbbbNKYYYYY",  # 15
    "YYYYYKBbbbWWbbWWbbWWbbbbbNKYYYYY",  # 16 keypad rows
    "YYYYKBbbbbWWbbWWbbWWbbbbbbNKYYYY",  # 17
    "YYYYKBbbbbbbbbbbbbbbbbbbbbNKYYYY",  # 18
    "YYYYKBbbbbWWbbWWbbWWbbbbbbNKYYYY",  # 19
    "YYYKBbbbbbWWbbWWbbWWbbbbbbbNKYYY",  # 20
    "YYYKBbbbbbbbbbbbbbbbbbbbbbbNKYYY",  # 21
    "YYYKBbbbbbWWbbWWbbWWbbbbbbbNKYYY",  # 22
    "YYKBbbbbbbWWbbWWbbWWbbbbbbbbNKYY",  # 23
    "YYKBbbbbbbbbbbbbbbbbbbbbbbbbNKYY",  # 24
    "YYKBbbbbbbWWbbWWbbWWbbbbbbbbNKYY",  # 25
    "YKBbbbbbbbWWbbWWbbWWbbbbbbbbbNKY",  # 26
    "YKBbbbbbbbbbbbbbbbbbbbbbbbbbbNKY",  # 27
    "YKNNNNNNNNNNNNNNNNNNNNNNNNNNNNKY",  # 28
    "YYKKKKKKKKKKKKKKKKKKKKKKKKKKKKYY",  # 29
    "YYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY",  # 30
    "YYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY",  # 31
]
ICON_CODES = {"Y": YELLOW, "K": BLACK, "B": 14, "b": BLUE, "N": NAVY, "W": WHITE}


def write_icon():
    assert len(ICON) == 32 and all(len(r) == 32 for r in ICON)
    idx = [[ICON_CODES[c] for c in row] for row in ICON]
    rgb = [bytes(v for i in row for v in VGA[i]) for row in idx]
    png("ui/assets/icons/orvodial.png", 32, 32, rgb, 2)
    big = []
    for row in idx:
        line = bytes(v for i in row for v in VGA[i] * 4)
        big += [line] * 4
    png("ui/assets/icons/orvodial-128.png", 128, 128, big, 2)
    ico("ui/assets/icons/orvodial.ico", 32, 32, idx, VGA)
    bmp("ui/assets/icons/orvodial.bmp", 32, 32, idx, VGA, 4)


if __name__ == "__main__":
    write_keys()
    write_icon()
