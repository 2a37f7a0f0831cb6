#!/usr/bin/env python3
"""Draws the program's artwork: the two badge bitmaps and the application icon.

    python3 resources/make_art.py [output directory]   (default: resources/)

Writes badge_123.bmp (124 x 22), badge_456.bmp (122 x 16), both 24 bits per pixel,
and roicalc.ico (16, 20, 24, 32, 40 and 48 pixels as 32-bit bitmaps with alpha, 64
and 256 pixels PNG-compressed: the sizes Windows asks for from 100 % to 200 % and for
large icons). The generated files are committed, so a build never needs Python; run
this again only to change the art. Standard library only: the BMP, PNG and ICO bytes
are written by hand (zlib for the PNG data).

The badges avoid the exact greys 128/128/128, 192/192/192 and 223/223/223: the image
control loads them with LR_LOADMAP3DCOLORS, which swaps those for the 3D colours.
"""

import os
import struct
import sys
import zlib

# A 5 x 7 capital font, drawn for these badges ('#' = ink): the glyphs stand side by
# side in the order of GLYPH_NAMES, the blank last.
GLYPH_NAMES = "ACHILMOQRSTU "
GLYPH_ART = """
    .###.  .###.  #...#  .###.  #....  #...#  .###.  .###.  ####.  .####  #####  #...#  .....
    #...#  #...#  #...#  ..#..  #....  ##.##  #...#  #...#  #...#  #....  ..#..  #...#  .....
    #...#  #....  #...#  ..#..  #....  #.#.#  #...#  #...#  #...#  #....  ..#..  #...#  .....
    #####  #....  #####  ..#..  #....  #.#.#  #...#  #...#  ####.  .###.  ..#..  #...#  .....
    #...#  #....  #...#  ..#..  #....  #...#  #...#  #.#.#  #.#..  ....#  ..#..  #...#  .....
    #...#  #...#  #...#  ..#..  #....  #...#  #...#  #..#.  #..#.  ....#  ..#..  #...#  .....
    #...#  .###.  #...#  .###.  #####  #...#  .###.  .##.#  #...#  ####.  ..#..  .###.  .....
"""
GLYPH_ROWS = [row.split() for row in GLYPH_ART.strip().splitlines()]
GLYPHS = {name: [row[n] for row in GLYPH_ROWS] for n, name in enumerate(GLYPH_NAMES)}

# Colours as (red, green, blue).
FIELD_GREEN = (0x1B, 0x5E, 0x20)
FIELD_RED = (0x8E, 0x1B, 0x22)
GOLD = (0xF2, 0xC1, 0x2E)
CREAM = (0xFF, 0xF4, 0xD6)
WHITE = (0xFF, 0xFF, 0xFF)

GREYS_REMAPPED_ON_LOAD = {(128, 128, 128), (192, 192, 192), (223, 223, 223)}


class Canvas:
    def __init__(self, width, height, colour):
        self.width = width
        self.height = height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def frame(self, colour):
        for x in range(self.width):
            self.put(x, 0, colour)
            self.put(x, self.height - 1, colour)
        for y in range(self.height):
            self.put(0, y, colour)
            self.put(self.width - 1, y, colour)


def glyph_columns(ch, bold):
    """The glyph's rows as lists of booleans; bold smears each row one pixel right."""
    rows = []
    for row in GLYPHS[ch]:
        ink = [c == "#" for c in row]
        if bold:
            ink = [a or b for a, b in zip(ink + [False], [False] + ink)]
        rows.append(ink)
    return rows


def text_size(text, scale_x, scale_y, gap, bold):
    glyph_width = (6 if bold else 5) * scale_x
    return len(text) * (glyph_width + gap) - gap, 7 * scale_y


def draw_text(canvas, text, colour, scale_x, scale_y, gap, bold):
    width, height = text_size(text, scale_x, scale_y, gap, bold)
    left = (canvas.width - width) // 2
    top = (canvas.height - height) // 2
    x = left
    for ch in text:
        rows = glyph_columns(ch, bold)
        for gy, row in enumerate(rows):
            for gx, ink in enumerate(row):
                if ink:
                    for dy in range(scale_y):
                        for dx in range(scale_x):
                            canvas.put(x + gx * scale_x + dx, top + gy * scale_y + dy, colour)
        x += len(rows[0]) * scale_x + gap


def bmp_bytes(canvas):
    """A 24-bit bottom-up BMP file: BITMAPFILEHEADER, BITMAPINFOHEADER, padded rows."""
    for row in canvas.pixels:
        for colour in row:
            assert colour not in GREYS_REMAPPED_ON_LOAD, colour
    stride = (canvas.width * 3 + 3) & ~3
    image_size = stride * canvas.height
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + image_size, 0, 0, offset)
    body = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        body += line
    return header + info + bytes(body)


def badge_123():
    # Top left of the window: the maker's name, gold on green inside a gold frame.
    canvas = Canvas(124, 22, FIELD_GREEN)
    canvas.frame(GOLD)
    draw_text(canvas, "QUILLMARSH", GOLD, 2, 2, 2, False)
    return canvas


def badge_456():
    # Top right: the product's name, cream on red, letters bold and tall.
    canvas = Canvas(122, 16, FIELD_RED)
    draw_text(canvas, "ROI CALCULATOR", CREAM, 1, 2, 2, True)
    return canvas


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


# A rising line on a green coin: what a bankroll should do. Unit coordinates, y down.
TREND = [(0.22, 0.70), (0.42, 0.52), (0.56, 0.62), (0.80, 0.30)]
ARROW_HEAD = [((0.80, 0.30), (0.62, 0.31)), ((0.80, 0.30), (0.78, 0.48))]


def icon_sample(u, v, size):
    """(r, g, b, a) of one sub-sample at unit coordinates (u, v)."""
    r = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
    if r > 0.5:
        return (0, 0, 0, 0)
    ring = max(0.06, 1.5 / size)
    colour = GOLD if r > 0.5 - ring else FIELD_GREEN
    stroke = max(0.055, 1.1 / size)
    segments = list(zip(TREND, TREND[1:])) + ARROW_HEAD
    for (ax, ay), (bx, by) in segments:
        if distance_to_segment(u, v, ax, ay, bx, by) < stroke:
            colour = WHITE
    return colour + (255,)


def icon_image(size, oversample=4):
    """Rows of (b, g, r, a), top row first, anti-aliased by averaging sub-samples."""
    rows = []
    n = oversample * oversample
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(oversample):
                for sx in range(oversample):
                    u = (x + (sx + 0.5) / oversample) / size
                    v = (y + (sy + 0.5) / oversample) / size
                    cr, cg, cb, ca = icon_sample(u, v, size)
                    acc[0] += cr * ca
                    acc[1] += cg * ca
                    acc[2] += cb * ca
                    acc[3] += ca
            alpha = acc[3] / n
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                red, green, blue = (round(c / acc[3]) for c in acc[:3])
                row.append((blue, green, red, round(alpha)))
        rows.append(row)
    return rows


def icon_entry_bytes(size):
    """One ICO image: BITMAPINFOHEADER (height doubled for the mask), BGRA rows bottom-up, AND mask."""
    rows = icon_image(size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(rows):
        for pixel in row:
            colour += bytes(pixel)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return info + bytes(colour) + bytes(mask)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_bytes(size):
    """One ICO image as a PNG file: 8-bit RGBA, no filtering, best compression."""
    raw = bytearray()
    for row in icon_image(size):
        raw.append(0)  # filter type: none
        for blue, green, red, alpha in row:
            raw += bytes((red, green, blue, alpha))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + png_chunk(b"IEND", b""))


# Images this large are stored as PNG (Windows Vista and later read them); a bitmap
# of 256 pixels alone would add a quarter of a megabyte to the program.
PNG_FROM = 64


def ico_bytes(sizes):
    images = [png_bytes(s) if s >= PNG_FROM else icon_entry_bytes(s) for s in sizes]
    header = struct.pack("<HHH", 0, 1, len(sizes))
    offset = len(header) + 16 * len(sizes)
    entries = bytearray()
    for size, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return header + bytes(entries) + b"".join(images)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    files = {
        "badge_123.bmp": bmp_bytes(badge_123()),
        "badge_456.bmp": bmp_bytes(badge_456()),
        "roicalc.ico": ico_bytes([16, 20, 24, 32, 40, 48, 64, 256]),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
