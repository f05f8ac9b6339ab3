#!/usr/bin/env python3
"""Draws the dialogs' pictures as pixel art and writes them beside this script:
app.ico (window icon, 32x32 and 16x16, 16 colours), task.ico (the task symbol,
16x16, 16 colours), link.cur (the logo's pointing hand, hot spot 5,0) and
logo.bmp (130x40, the web-site link). Run it again after changing a drawing;
the outputs are kept in the repository so the build needs no Python."""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour palette, RGB.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = None


class Canvas:
    def __init__(self, w, h, fill=CLEAR):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, light, dark):
        for x in range(x0, x1 + 1):
            self.set(x, y0, light)
            self.set(x, y1, dark)
        for y in range(y0, y1 + 1):
            self.set(x0, y, light)
            self.set(x1, y, dark)

    def sine(self, x0, x1, mid, amp, period, c):
        last = None
        for x in range(x0, x1 + 1):
            y = round(mid - amp * math.sin(2 * math.pi * (x - x0) / period))
            if last is not None:
                for yy in range(min(last, y), max(last, y) + 1):
                    self.set(x, yy, c)
            self.set(x, y, c)
            last = y


def draw_app(size):
    """A measuring instrument: a grey case, a scope screen with a sine, knobs."""
    c = Canvas(size, size)
    if size == 32:
        c.rect(1, 5, 30, 26, SILVER)
        c.frame(1, 5, 30, 26, WHITE, BLACK)
        c.frame(2, 6, 29, 25, SILVER, GRAY)
        c.rect(4, 8, 20, 22, BLACK)
        c.frame(3, 7, 21, 23, GRAY, WHITE)
        for x in range(6, 20, 4):
            for y in range(9, 22, 2):
                c.set(x, y, GREEN)
        c.sine(5, 19, 15, 5, 14, LIME)
        for ky, colour in ((10, NAVY), (17, NAVY)):
            c.rect(24, ky - 1, 27, ky + 2, colour)
            c.frame(24, ky - 1, 27, ky + 2, GRAY, BLACK)
            c.set(25, ky, AQUA)
        c.rect(25, 22, 26, 23, RED)
        c.rect(4, 27, 7, 28, GRAY)
        c.rect(24, 27, 27, 28, GRAY)
    else:
        c.rect(0, 3, 15, 13, SILVER)
        c.frame(0, 3, 15, 13, WHITE, BLACK)
        c.rect(2, 5, 10, 11, BLACK)
        c.sine(2, 10, 8, 2, 8, LIME)
        c.rect(12, 5, 13, 6, NAVY)
        c.rect(12, 8, 13, 9, NAVY)
        c.set(12, 11, RED)
        c.rect(2, 14, 3, 14, GRAY)
        c.rect(12, 14, 13, 14, GRAY)
    return c


def draw_task():
    """A saved task: a sheet with a folded corner and three coloured channels."""
    c = Canvas(16, 16)
    c.rect(2, 0, 13, 15, WHITE)
    c.frame(2, 0, 13, 15, BLACK, BLACK)
    for i in range(4):  # folded corner
        for j in range(4 - i):
            c.set(13 - j, i, CLEAR)
    for i in range(4):
        c.set(10 + i, i, BLACK)
    c.rect(10, 1, 10, 3, BLACK)
    c.rect(10, 3, 12, 3, BLACK)
    c.set(11, 2, SILVER)
    for y, colour in ((5, RED), (8, GREEN), (11, BLUE)):
        c.rect(4, y, 5, y + 1, colour)
        c.sine(7, 11, y + 0.5, 1, 5, colour)
    return c


HAND = """\
.....##...........
....#oo#..........
....#oo#..........
....#oo#..........
....#oo#..........
....#oo###........
....#oo#oo###.....
....#oo#oo#oo##...
....#oo#oo#oo#o#..
##..#oo#oo#oo#o#..
#o#.#oooooooooo#..
#oo##oooooooooo#..
.#o#ooooooooooo#..
..#oooooooooooo#..
..#oooooooooooo#..
...#ooooooooooo#..
...#oooooooooo#...
....#ooooooooo#...
....#ooooooooo#...
.....#ooooooo#....
.....#ooooooo#....
.....#########....
"""


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def pack_bits(values, bpp):
    out = bytearray(row_bytes(len(values) * bpp))
    for i, v in enumerate(values):
        bit = i * bpp
        out[bit // 8] |= v << (8 - bpp - bit % 8)
    return bytes(out)


def dib(canvas, bpp, palette, index_of):
    """A DIB as icon and cursor resources hold it: header, palette, colour
    rows and the transparency mask, both bottom-up."""
    w, h = canvas.w, canvas.h
    colour = b"".join(pack_bits([index_of(p) for p in canvas.px[y]], bpp) for y in reversed(range(h)))
    mask = b"".join(pack_bits([1 if p is CLEAR else 0 for p in canvas.px[y]], 1) for y in reversed(range(h)))
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bpp, 0, len(colour) + len(mask), 0, 0, len(palette), 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + pal + colour + mask


def write_group(path, kind, images):
    """images: (canvas, dib bytes, field1, field2) with the icon's planes and
    bit count, or the cursor's hot spot."""
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    for canvas, data, f1, f2 in images:
        colours = 16 if kind == 1 else 2
        out += struct.pack("<BBBBHHII", canvas.w % 256, canvas.h % 256, colours, 0, f1, f2, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data, _, _ in images)
    with open(path, "wb") as f:
        f.write(out)


def write_icon(path, canvases):
    images = []
    for c in canvases:
        images.append((c, dib(c, 4, PALETTE, lambda p: 0 if p is CLEAR else p), 1, 4))
    write_group(path, 1, images)


def write_cursor(path):
    c = Canvas(32, 32)
    for y, line in enumerate(HAND.splitlines()):
        for x, ch in enumerate(line):
            c.set(x, y, {"#": BLACK, "o": WHITE}.get(ch, CLEAR))
    data = dib(c, 1, [(0, 0, 0), (255, 255, 255)], lambda p: 1 if p == WHITE else 0)
    write_group(path, 2, [(c, data, 5, 0)])


# A 5x7 pixel font for the logo's words.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "W": ["10001", "10001", "10001", "10101", "10101", "11011", "10001"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    " ": ["00000"] * 7,
}


def text(img, x, y, words, rgb, scale=1, bold=False, advance=6):
    for ch in words:
        for gy, bits in enumerate(FONT[ch]):
            for gx, bit in enumerate(bits):
                if bit == "1":
                    for dx in range(scale + (1 if bold else 0)):
                        for dy in range(scale):
                            img[y + gy * scale + dy][x + gx * scale + dx] = rgb
        x += advance * scale + (1 if bold else 0)
    return x


def write_logo(path):
    w, h = 130, 40
    navy = (0, 56, 120)
    # A white card with a thin grey edge, so it sits well on any dialog colour.
    img = [[(255, 255, 255)] * w for _ in range(h)]
    for x in range(w):
        img[0][x] = img[h - 1][x] = (176, 176, 176)
    for y in range(h):
        img[y][0] = img[y][w - 1] = (176, 176, 176)
    for y in range(3, 37):  # a badge with rounded corners
        for x in range(3, 37):
            if min(x - 3, 36 - x) + min(y - 3, 36 - y) >= 2:
                img[y][x] = navy
    text(img, 5, 9, "NI", (255, 255, 255), scale=3)
    for x in range(6, 34):  # a signal running under the letters
        y = round(32 - 1.5 * math.sin(2 * math.pi * (x - 6) / 14))
        img[y][x] = (120, 200, 255)
    text(img, 44, 6, "NATIONAL", navy, bold=True)
    text(img, 44, 16, "INSTRUMENTS", navy, bold=True)
    for x in range(44, 126):
        img[27][x] = (160, 160, 160)
    text(img, 44, 30, "WWW.NI.COM", (0, 0, 200))
    rows = b""
    for y in reversed(range(h)):
        row = b"".join(struct.pack("<BBB", b, g, r) for r, g, b in img[y])
        rows += row + b"\0" * (row_bytes(w * 24) - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(rows), 0, 0, 14 + len(header)))
        f.write(header + rows)


if __name__ == "__main__":
    write_icon(os.path.join(HERE, "app.ico"), [draw_app(32), draw_app(16)])
    write_icon(os.path.join(HERE, "task.ico"), [draw_task()])
    write_cursor(os.path.join(HERE, "link.cur"))
    write_logo(os.path.join(HERE, "logo.bmp"))
