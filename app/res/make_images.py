#!/usr/bin/env python3
"""Draws the toolbar bitmap and the program icon from the pixel maps below.

Run it after changing a map; the .bmp and .ico it writes are committed."""
import struct
import os

# Palette shared by all maps. '.' is the background: the button face grey
# (192,192,192) for the toolbar, which the toolbar maps to the system's
# button colour, and transparent for the icon.
PALETTE = {
    'k': (0, 0, 0),          # outline
    'w': (255, 255, 255),
    'g': (128, 128, 128),
    'l': (224, 224, 224),
    'G': (0, 150, 60),       # arrow green
    'H': (90, 210, 120),     # arrow highlight
    'B': (20, 70, 170),      # deep blue
    'b': (80, 140, 230),     # light blue
    'y': (240, 200, 60),     # clipboard wood
    'Y': (180, 130, 20),
    'r': (200, 40, 40),
    'o': (250, 150, 40),     # kestrin orange
    'O': (170, 80, 20),
    'c': (250, 230, 200),    # cream
}
FACE = (192, 192, 192)

BUTTONS = [
    # 32772 batch download: an arrow into a tray
    """
......kkkk......
......kHGk......
......kHGk......
......kHGk......
......kHGk......
...kkkkHGkkkk...
....kHHHGGGk....
.....kHHGGk.....
..k...kHGk...k..
..kk...kk...kk..
..kgk......kgk..
..kgwkkkkkkwgk..
..kggggggggggggk.
..kkkkkkkkkkkk..
................""",
    # 32774 timer: a clock
    """
.....kkkkkk.....
...kkwwwwwwkk...
..kwwwwkwwwwwk..
.kwwwwwkwwwwwwk.
.kwwwwwkwwwwwwk.
kwwwwwwkwwwwwwwk
kwwwwwwkwwwwwwwk
kwwwwwwkkkkkwwwk
kwwwwwwwwwwwwwwk
kwwwwwwwwwwwwwwk
.kwwwwwwwwwwwwk.
.kwwwwwwwwwwwwk.
..kwwwwwwwwwwk..
...kkwwwwwwkk...
.....kkkkkk.....""",
    # 57635 cut: scissors
    """
....k.....k.....
....k.....k.....
....k.....k.....
....kk...kk.....
.....k...k......
.....kk.kk......
......kkk.......
.......k........
......kkk.......
....rrr.rrr.....
...r..r.r..r....
..r...r.r...r...
..r...r.r...r...
..r..r...r..r...
...rr.....rr....""",
    # 57634 copy: two pages
    """
kkkkkkk.........
kwwwwwkk........
kwkkkwkwk.......
kwwwwwkkkkkkk...
kwkkkkkwwwwwkk..
kwwwwwkwkkkwkwk.
kwkkkkkwwwwwkkkk
kwwwwwkwkkkkkwwk
kwkkkkkwwwwwwwwk
kwwwwwkwkkkkkkwk
kkkkkkkwwwwwwwwk
......kwkkkkkkwk
......kwwwwwwwwk
......kkkkkkkkkk
................""",
    # 57637 paste: a clipboard with a page
    """
.....kkkkk......
.kkkkwwwwwkkkk..
kYyykkkkkkkyyYk.
kYyyyyyyyyyyyYk.
kYyyykkkkkkkkkk.
kYyyykwwwwwwwkwk
kYyyykwkkkkwwkkk
kYyyykwwwwwwwwwk
kYyyykwkkkkkkkwk
kYyyykwwwwwwwwwk
kYyyykwkkkkkkkwk
kYyyykwwwwwwwwwk
kYYYYkwkkkkkkkwk
.kkkkkwwwwwwwwwk
.....kkkkkkkkkkk""",
    # 57664 about: a question mark in a blue disc
    """
.....kkkkkk.....
...kkBBBBBBkk...
..kBBBwwwwBBBk..
.kBBBwwBBwwBBBk.
.kBBBwwBBwwBBBk.
kBBBBBBBwwBBBBBk
kBBBBBBwwBBBBBBk
kBBBBBwwBBBBBBBk
kBBBBBwwBBBBBBBk
kBBBBBBBBBBBBBBk
.kBBBBwwBBBBBBk.
.kBBBBwwBBBBBBk.
..kBBBBBBBBBBk..
...kkBBBBBBkk...
.....kkkkkk.....""",
]

ICON = """
................................
................................
..........kkkk..................
.........kooook.................
........kooOOook................
.......koookkOOok...............
......kooookwkOok...............
.....koooooookOOk.......kkk.....
....kooooooooooOOk....kkOOk.....
...kkkkkoooooooooOkkkkOOOk......
.......koooooooooooooOOOk.......
.......kcccooooooooOOOOk........
........kcccccoooooOOOk.........
.........kcccccooooOOk..........
..........kkcccccooOk...........
............kkkkkkkk............
................................
.............kkkkkk.............
.............kHHGGk.............
.............kHHGGk.............
.............kHHGGk.............
..........kkkkHHGGkkkk..........
...........kHHHHGGGGk...........
....kk......kHHHGGGk......kk....
....kgk......kHHGGk......kgk....
....kgk.......kHGk.......kgk....
....kgwkkkkkkkkkkkkkkkkkkwgk....
....kgwwwwwwwwwwwwwwwwwwwwgk....
....kggggggggggggggggggggggk....
....kkkkkkkkkkkkkkkkkkkkkkkk....
................................
................................"""


def rows_of(art, width, height):
    rows = [r for r in art.strip('\n').split('\n')]
    assert len(rows) == height, (len(rows), height)
    out = []
    for r in rows:
        r = (r + '.' * width)[:width]
        out.append(r)
    return out


def bmp24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b)."""
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b'\0' * (stride - len(row))
        data += row
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def icon_image(size, art_rows, scale):
    """One 32-bit icon image (BITMAPINFOHEADER, BGRA, AND mask)."""
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        bits = 0
        mrow = bytearray()
        for x in range(size):
            ch = art_rows[y * scale][x * scale] if scale > 1 else art_rows[y][x]
            if ch in ' .':
                xor += bytes((0, 0, 0, 0))
                bits = (bits << 1) | 1
            else:
                r, g, b = PALETTE[ch]
                xor += bytes((b, g, r, 255))
                bits = bits << 1
            if x % 8 == 7:
                mrow.append(bits & 0xFF)
                bits = 0
        mrow += b'\0' * (mask_stride - len(mrow))
        mask += mrow
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    maps = [rows_of(b, 16, 15) for b in BUTTONS]

    def toolbar_pixel(x, y):
        ch = maps[x // 16][y][x % 16]
        return FACE if ch in ' .' else PALETTE[ch]
    with open(os.path.join(here, 'Toolbar.bmp'), 'wb') as f:
        f.write(bmp24(16 * len(maps), 15, toolbar_pixel))

    art = rows_of(ICON, 32, 32)
    images = [icon_image(32, art, 1), icon_image(16, art, 2)]
    ico = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip((32, 16), images):
        ico += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        ico += img
    with open(os.path.join(here, 'Kestrin.ico'), 'wb') as f:
        f.write(ico)


if __name__ == '__main__':
    main()
