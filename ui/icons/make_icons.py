#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files beside this script.

APPICON.ico   the letters IPS on a banded background: 32x32 and 16x16 at 16 and
              at 256 colours
BROWSEICON.ico an opened folder: 32x32 at 16 colours
IPSFILE.ico   a document page with a folded corner and IPS: the formats of APPICON

Only the standard library is used, so that anyone can regenerate the files:
    python3 ui/icons/make_icons.py
"""

import os
import struct

# The 16 colours of the standard VGA palette, in index order.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, DARK_GREEN, DARK_YELLOW, NAVY, PURPLE, TEAL, SILVER = VGA[:8]
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = VGA[8:]

# The letters drawn in the icons, in three sizes, one string per glyph row.
FONTS = {
    "large": {
        "I": ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
        "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
        "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    },
    "medium": {
        "I": ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
        "P": ["###.", "#..#", "#..#", "###.", "#...", "#...", "#..."],
        "S": [".###", "#...", "#...", ".##.", "...#", "...#", "###."],
    },
    "small": {
        "I": ["#", "#", "#", "#", "#"],
        "P": ["##.", "#.#", "##.", "#..", "#.."],
        "S": [".##", "#..", ".#.", "..#", "##."],
    },
}


class Canvas:
    """A square image of RGB pixels; None is transparent."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[None] * size for _ in range(size)]

    def set(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def fill(self, left, top, right, bottom, colour):
        """Fills the rectangle with the inclusive corners given."""
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                self.set(x, y, colour)

    def outline(self, left, top, right, bottom, colour):
        for x in range(left, right + 1):
            self.set(x, top, colour)
            self.set(x, bottom, colour)
        for y in range(top, bottom + 1):
            self.set(left, y, colour)
            self.set(right, y, colour)

    def text(self, x, y, word, font, wide, tall, colour, gap):
        """Draws word at (x, y), each glyph pixel a block wide x tall."""
        for letter in word:
            rows = FONTS[font][letter]
            for row, line in enumerate(rows):
                for column, mark in enumerate(line):
                    if mark == "#":
                        self.fill(x + column * wide, y + row * tall,
                                  x + column * wide + wide - 1, y + row * tall + tall - 1, colour)
            x += len(rows[0]) * wide + gap


def text_size(word, font, wide, tall, gap):
    """Width and height of word drawn with text()."""
    glyphs = [FONTS[font][letter] for letter in word]
    width = sum(len(rows[0]) * wide for rows in glyphs) + gap * (len(word) - 1)
    return width, len(glyphs[0]) * tall


def draw_ips(canvas, colour, shadow):
    """IPS centred on the canvas; at 32 pixels with a one-pixel shadow below
    right (at 16 there is no room for it)."""
    scale = 2 if canvas.size >= 32 else 1
    width, height = text_size("IPS", "medium", scale, scale, scale)
    x = (canvas.size - width - 1) // 2
    y = (canvas.size - height - 1) // 2
    if scale > 1:
        canvas.text(x + 1, y + 1, "IPS", "medium", scale, scale, shadow, scale)
    canvas.text(x, y, "IPS", "medium", scale, scale, colour, scale)


def app_icon(size, colours):
    """The letters IPS on horizontal bands, with a dark frame."""
    canvas = Canvas(size)
    if colours == 16:
        bands = [NAVY, BLUE, TEAL, BLUE, NAVY]
    else:
        bands = [(16, 40 + 24 * i, 112 + 18 * i) for i in range(4)]
        bands = bands + bands[-2::-1]
    band_height = size / len(bands)
    for y in range(size):
        canvas.fill(0, y, size - 1, y, bands[min(int(y / band_height), len(bands) - 1)])
    canvas.outline(0, 0, size - 1, size - 1, BLACK)
    draw_ips(canvas, WHITE if colours == 16 else (255, 244, 160), BLACK)
    return canvas


def ips_file_icon(size, colours):
    """A white page with its top right corner folded over, a few lines of
    "text" and IPS written on it."""
    canvas = Canvas(size)
    left, right, top, bottom = size // 8, size - size // 8 - 1, 0, size - 1
    fold = size // 4
    corner = right - fold + 1
    folded = SILVER if colours == 16 else (208, 216, 232)
    ink = BLUE if colours == 16 else (0, 72, 176)
    lines = SILVER if colours == 16 else (168, 184, 216)
    canvas.fill(left, top, right, bottom, WHITE)
    for step in range(fold):
        for x in range(corner + step + 1, right + 1):
            canvas.set(x, top + step, None)
        canvas.fill(corner + 1, top + step, corner + step - 1, top + step, folded)
        canvas.set(corner + step, top + step, BLACK)
    canvas.fill(left, top, corner, top, BLACK)
    canvas.fill(corner, top, corner, top + fold - 1, BLACK)
    canvas.fill(corner, top + fold - 1, right, top + fold - 1, BLACK)
    canvas.fill(right, top + fold - 1, right, bottom, BLACK)
    canvas.fill(left, top, left, bottom, BLACK)
    canvas.fill(left, bottom, right, bottom, BLACK)
    font, tall = ("large", 2) if size >= 32 else ("small", 1)
    width, height = text_size("IPS", font, 1, tall, 1)
    for y in range(top + fold // 2 + 1, size // 2 - 1, 3 if size >= 32 else 2):
        canvas.fill(left + 2, y, (corner if y < top + fold else right) - 2, y, lines)
    canvas.text(left + (right - left + 1 - width) // 2, bottom - height - (3 if size >= 32 else 1),
                "IPS", font, 1, tall, ink, 1)
    return canvas


def browse_icon():
    """An opened folder: back panel with a tab, a sheet, the front flap.

    It keeps to the middle rows, since the browse buttons are less than 32
    pixels high and cut the image at top and bottom."""
    canvas = Canvas(32)
    # back panel and its tab
    canvas.fill(3, 10, 11, 11, DARK_YELLOW)
    canvas.fill(2, 12, 26, 24, DARK_YELLOW)
    canvas.outline(3, 9, 11, 11, BLACK)
    canvas.outline(2, 11, 26, 24, BLACK)
    # a sheet of paper standing in it
    canvas.fill(7, 8, 24, 16, WHITE)
    canvas.outline(7, 8, 24, 16, BLACK)
    for y in (10, 12, 14):
        canvas.fill(9, y, 22, y, SILVER)
    # the front flap, tilted open: its top edge leans to the right
    for row, y in enumerate(range(15, 25)):
        start, end = 6 - row * 4 // 9, 29 - row * 4 // 9
        canvas.fill(start, y, end, y, YELLOW)
        canvas.set(start, y, BLACK)
        canvas.set(end, y, BLACK)
    canvas.fill(6, 15, 29, 15, BLACK)
    canvas.fill(2, 24, 25, 24, BLACK)
    return canvas


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))


def palette_for(canvas, colours):
    if colours == 16:
        return list(VGA)
    used = sorted({c for row in canvas.pixels for c in row if c is not None} | {BLACK})
    assert len(used) <= 256, "more than 256 colours"
    return used + [BLACK] * (256 - len(used))


def row_bytes(bits, width):
    """Bytes of one DIB row of width pixels, padded to a multiple of four."""
    return ((width * bits + 31) // 32) * 4


def dib(canvas, colours):
    """The icon image: header, palette, colour bits, mask (rows bottom-up)."""
    size = canvas.size
    bits = 4 if colours == 16 else 8
    palette = palette_for(canvas, colours)
    lookup = {}
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        indexes = []
        mask_row = bytearray(row_bytes(1, size))
        for x in range(size):
            colour = canvas.pixels[y][x]
            if colour is None:
                indexes.append(0)
                mask_row[x // 8] |= 0x80 >> (x % 8)
            else:
                if colour not in lookup:
                    lookup[colour] = nearest(palette, colour)
                indexes.append(lookup[colour])
        row = bytearray(row_bytes(bits, size))
        for x, index in enumerate(indexes):
            if bits == 8:
                row[x] = index
            else:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
        mask += mask_row
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + bytes(xor) + bytes(mask)


def write_ico(path, images):
    """images: (canvas, colours) pairs, in directory order."""
    blobs = [dib(canvas, colours) for canvas, colours in images]
    offset = 6 + 16 * len(images)
    data = struct.pack("<HHH", 0, 1, len(images))
    for (canvas, colours), blob in zip(images, blobs):
        bits = 4 if colours == 16 else 8
        data += struct.pack("<BBBBHHII", canvas.size, canvas.size, 16 if colours == 16 else 0, 0, 1, bits,
                            len(blob), offset)
        offset += len(blob)
    data += b"".join(blobs)
    with open(path, "wb") as out:
        out.write(data)


def four_formats(draw):
    return [(draw(32, 16), 16), (draw(16, 16), 16), (draw(32, 256), 256), (draw(16, 256), 256)]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_ico(os.path.join(here, "APPICON.ico"), four_formats(app_icon))
    write_ico(os.path.join(here, "BROWSEICON.ico"), [(browse_icon(), 16)])
    write_ico(os.path.join(here, "IPSFILE.ico"), four_formats(ips_file_icon))


if __name__ == "__main__":
    main()
