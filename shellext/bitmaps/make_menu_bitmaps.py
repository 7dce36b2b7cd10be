#!/usr/bin/env python3
"""Draws the shell extension's four menu bitmaps, each for two sizes, and
writes them as 32-bit BMP files with straight (not premultiplied) alpha:

    corvastine.bmp / corvastine-24.bmp  (203 / 3203)  the submenu item: a blue
                                                      shield holding a gold padlock
    lock.bmp / lock-24.bmp              (204 / 3204)  Lock: a closed padlock
    unlock.bmp / unlock-24.bmp          (205 / 3205)  Unlock: the padlock with its
                                                      shackle lifted out
    shred.bmp / shred-24.bmp            (206 / 3206)  Shred: a sheet going into a
                                                      shredder, strips falling out

16 x 16 pixels is the menu size at 96 DPI, 24 x 24 at 144 DPI; the library
averages the 24-pixel art down for the sizes between. Each picture is laid
out on the pixel grid of its size (straight edges on pixel borders, one-pixel
outlines), so it stays sharp; only curves are smoothed, by supersampling.
The dark outlines keep every picture readable on a light menu and on the
highlight colour of a selected row.

Standard library only; every run writes the same bytes.

    python3 shellext/bitmaps/make_menu_bitmaps.py [output folder] [--preview preview.png]

The preview shows every bitmap eight times its size, on a light menu colour
and on a highlight blue.
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 24)
SAMPLES = 8

GOLD_TOP = (1.00, 0.84, 0.38)
GOLD_BOTTOM = (0.86, 0.58, 0.10)
GOLD_EDGE = (0.36, 0.22, 0.02)
STEEL_LIGHT = (0.86, 0.88, 0.91)
STEEL_DARK = (0.50, 0.53, 0.59)
STEEL_EDGE = (0.22, 0.24, 0.29)
SHIELD_TOP = (0.30, 0.58, 0.92)
SHIELD_BOTTOM = (0.10, 0.30, 0.62)
SHIELD_EDGE = (0.04, 0.13, 0.30)
PAPER = (1.00, 1.00, 1.00)
PAPER_EDGE = (0.33, 0.35, 0.40)
INK = (0.30, 0.52, 0.86)
MACHINE_TOP = (0.62, 0.65, 0.71)
MACHINE_BOTTOM = (0.34, 0.36, 0.42)
MACHINE_EDGE = (0.12, 0.13, 0.16)
SLOT = (0.05, 0.05, 0.06)


def lerp(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def in_box(x, y, box, r=0.0):
    """Inside the box (x0, y0, x1, y1) with corners rounded by r."""
    x0, y0, x1, y1 = box
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    if r <= 0:
        return True
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shrink(box, d):
    return (box[0] + d, box[1] + d, box[2] - d, box[3] - d)


# ------------------------------------------------------------ the padlock
# All coordinates are pixels of the picture's own size.

class Padlock:
    def __init__(self, body, radius, shackle_x, shackle_top, outer, inner, lift=0.0, keyhole=True):
        self.body = body                  # (x0, y0, x1, y1)
        self.radius = radius              # corner rounding of the body
        self.shackle_x = shackle_x        # centre of the shackle's arch
        self.arch_y = shackle_top + outer  # centre of the arch's circle
        self.outer = outer
        self.inner = inner
        self.lift = lift                  # open: the shackle raised by this much
        self.keyhole = keyhole

    def colour(self, x, y):
        body = self.body
        if in_box(x, y, body, self.radius):
            if not in_box(x, y, shrink(body, 1), max(0.0, self.radius - 1)):
                return GOLD_EDGE
            if self.keyhole and self._keyhole(x, y):
                return GOLD_EDGE
            return lerp(GOLD_TOP, GOLD_BOTTOM, (y - body[1]) / (body[3] - body[1]))
        return self._shackle(x, y)

    def _keyhole(self, x, y):
        x0, y0, x1, y1 = self.body
        cx = (x0 + x1) / 2
        h = y1 - y0
        r = max(1.0, h * 0.14)
        cy = y0 + h * 0.40
        if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
            return True
        return cy <= y <= y0 + h * 0.75 and abs(x - cx) <= max(0.5, r * 0.5)

    def _shackle(self, x, y):
        cx, cy = self.shackle_x, self.arch_y - self.lift
        top_of_body = self.body[1]
        d = math.hypot(x - cx, y - cy)
        thickness = self.outer - self.inner
        edge = 1.0 if thickness >= 2.5 else 0.75

        def shade(t):
            # dark outer and inner rims, light in the middle of the bar
            if t < edge or t > thickness - edge:
                return STEEL_EDGE
            return lerp(STEEL_LIGHT, STEEL_DARK, abs(t - thickness / 2) / (thickness / 2))

        if y <= cy:
            if self.inner <= d <= self.outer:
                return shade(self.outer - d)
            return None
        left = cx - self.outer <= x <= cx - self.inner
        right = cx + self.inner <= x <= cx + self.outer
        # The open shackle's free leg stops short of the body.
        left_end = top_of_body if not self.lift else cy + thickness * 0.5
        if left and y <= left_end:
            return shade(x - (cx - self.outer))
        if right and y <= top_of_body:
            return shade((cx + self.outer) - x)
        return None


def padlock_for(size, open_shackle=False):
    if size == 16:
        return Padlock(body=(2, 7, 14, 15), radius=1.5, shackle_x=8, shackle_top=1 if not open_shackle else 2,
                       outer=4, inner=2, lift=2 if open_shackle else 0)
    return Padlock(body=(3, 11, 21, 23), radius=2, shackle_x=12, shackle_top=1 if not open_shackle else 3,
                   outer=6, inner=3, lift=3 if open_shackle else 0)


def draw_lock(size):
    lock = padlock_for(size)
    return lock.colour


def draw_unlock(size):
    lock = padlock_for(size, open_shackle=True)
    return lock.colour


# ------------------------------------------------------------ the shield

def draw_corvastine(size):
    if size == 16:
        top, waist, bottom, half = 0.0, 7.0, 16.0, 7.0
        lock = Padlock(body=(5, 7, 11, 12), radius=0.5, shackle_x=8, shackle_top=2.5, outer=2.5, inner=1.2,
                       keyhole=False)
    else:
        top, waist, bottom, half = 0.0, 11.0, 24.0, 10.5
        lock = Padlock(body=(7, 11, 17, 18), radius=1, shackle_x=12, shackle_top=4, outer=3.6, inner=1.8)
    cx = size / 2

    def width_at(y):
        if y <= waist:
            return half
        t = (y - waist) / (bottom - waist)
        return half * math.sqrt(max(0.0, 1.0 - t ** 1.5))

    def colour(x, y):
        c = lock.colour(x, y)
        if c is not None:
            return c
        if y < top or y > bottom:
            return None
        w = width_at(y)
        if abs(x - cx) > w:
            return None
        # one-pixel rim: measured across and, near the point, downwards
        if abs(x - cx) > w - 1.0 or y < top + 1.0 or abs(x - cx) > width_at(y + 1.0) - 1.0 + 0.0 and y > waist:
            return SHIELD_EDGE
        c = lerp(SHIELD_TOP, SHIELD_BOTTOM, (y - top) / (bottom - top))
        if x < cx:
            c = lerp(c, (1.0, 1.0, 1.0), 0.12)
        return c

    return colour


# ------------------------------------------------------------ the shredder

def draw_shred(size):
    if size == 16:
        sheet = (3, 0, 13, 7)         # enters the slot
        lines = [(5, 2, 11, 3), (5, 4, 9, 5)]
        machine = (1, 6, 15, 11)
        slot = (3, 8, 13, 9)
        strips = [(2, 11, 5, 15), (6, 11, 9, 16), (10, 11, 13, 14)]
    else:
        sheet = (5, 0, 19, 10)
        lines = [(7, 2, 17, 3), (7, 4, 17, 5), (7, 6, 14, 7)]
        machine = (2, 9, 22, 16)
        slot = (5, 12, 19, 13)
        strips = [(4, 16, 7, 22), (8, 16, 11, 24), (12, 16, 15, 21), (16, 16, 19, 23)]

    def paper(x, y, box, ink=()):
        if not in_box(x, y, box):
            return None
        if not in_box(x, y, shrink(box, 1)):
            return PAPER_EDGE
        for line in ink:
            if in_box(x, y, line):
                return INK
        return PAPER

    def colour(x, y):
        if in_box(x, y, machine, 1.5):
            if not in_box(x, y, shrink(machine, 1), 0.5):
                return MACHINE_EDGE
            if in_box(x, y, slot):
                return SLOT
            return lerp(MACHINE_TOP, MACHINE_BOTTOM, (y - machine[1]) / (machine[3] - machine[1]))
        c = paper(x, y, sheet, lines)
        if c is not None:
            return c
        for i, strip in enumerate(strips):
            if in_box(x, y, strip):
                # a strip: paper with a dark side and a dark end; every
                # other one carries a piece of a printed line
                x0, y0, x1, y1 = strip
                if x < x0 + 1 or y > y1 - 1:
                    return PAPER_EDGE
                if x > x1 - 1:
                    return PAPER_EDGE
                if i % 2 and y0 + 1 <= y < y0 + 2:
                    return INK
                return PAPER
        return None

    return colour


BITMAPS = [
    ('corvastine', draw_corvastine),
    ('lock', draw_lock),
    ('unlock', draw_unlock),
    ('shred', draw_shred),
]


def file_name(name, size):
    return f'{name}.bmp' if size == 16 else f'{name}-{size}.bmp'


def render(draw, size):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            cover = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = draw(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c is not None:
                        cover += 1
                        for i in range(3):
                            acc[i] += c[i]
            if cover:
                rgb = tuple(min(255, round(255 * acc[i] / cover)) for i in range(3))
            else:
                rgb = (0, 0, 0)
            row.append(rgb + (round(255 * cover / (SAMPLES * SAMPLES)),))
        rows.append(row)
    return rows


def bmp_bytes(rows):
    """A BMP file: BITMAPFILEHEADER, BITMAPINFOHEADER, BGRA rows bottom-up."""
    h = len(rows)
    w = len(rows[0])
    pixels = b''.join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def png_bytes(rows):
    raw = b''.join(b'\x00' + bytes(v for p in row for v in p) for row in rows)

    def chunk(tag, data):
        c = tag + data
        return struct.pack('>I', len(data)) + c + struct.pack('>I', zlib.crc32(c) & 0xFFFFFFFF)

    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', len(rows[0]), len(rows), 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def preview_bytes(renders):
    """Every picture eight times its size, in two rows: on the menu colour
    and on the highlight colour."""
    zoom, gap = 8, 8
    backgrounds = [(240, 240, 240), (49, 106, 197)]
    cells = [rows for rows in renders]
    width = gap + sum(len(rows) * zoom + gap for rows in cells)
    cell_height = max(len(rows) for rows in cells) * zoom
    height = gap + len(backgrounds) * (cell_height + gap)
    canvas = [[(255, 255, 255, 255)] * width for _ in range(height)]
    for b, bg in enumerate(backgrounds):
        y0 = gap + b * (cell_height + gap)
        x0 = gap
        for rows in cells:
            n = len(rows)
            for y in range(n * zoom):
                for x in range(n * zoom):
                    p = rows[y // zoom][x // zoom]
                    a = p[3] / 255.0
                    canvas[y0 + y][x0 + x] = tuple(round(p[i] * a + bg[i] * (1 - a)) for i in range(3)) + (255,)
            x0 += n * zoom + gap
    return png_bytes(canvas)


def main(argv):
    out = os.path.dirname(os.path.abspath(__file__))
    preview = None
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == '--preview':
            preview = args.pop(0)
        else:
            out = a
    renders = []
    for size in SIZES:
        for name, draw in BITMAPS:
            rows = render(draw(size), size)
            renders.append(rows)
            with open(os.path.join(out, file_name(name, size)), 'wb') as f:
                f.write(bmp_bytes(rows))
    if preview:
        with open(preview, 'wb') as f:
            f.write(preview_bytes(renders))


if __name__ == '__main__':
    main(sys.argv[1:])
