#!/usr/bin/env python3
"""Draws the shell extension's four menu bitmaps and writes them as 32-bit
BMP files with an alpha channel (32 x 32 pixels; the library scales them to
the menu's check-mark size when it loads them):

    corvastine.bmp  (203)  the submenu item: a blue shield with a gold padlock
    lock.bmp        (204)  Lock: a closed gold padlock
    unlock.bmp      (205)  Unlock: an open padlock, shackle raised
    shred.bmp       (206)  Shred: a sheet fed into a shredder, cut to strips

Standard library only; drawing is analytic and anti-aliased by
supersampling, so every run writes the same bytes.

    python3 shellext/bitmaps/make_menu_bitmaps.py [output folder] [--preview preview.png]
"""
import math
import os
import struct
import sys
import zlib

SIZE = 32
SAMPLES = 6

GOLD_TOP = (1.0, 0.82, 0.36)
GOLD_BOTTOM = (0.85, 0.58, 0.12)
STEEL_TOP = (0.80, 0.82, 0.86)
STEEL_BOTTOM = (0.45, 0.48, 0.54)
OUTLINE = (0.30, 0.19, 0.03)


def lerp(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def in_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def padlock(x, y, open_shackle=False, scale=1.0, cx=0.5, top=0.0):
    """Colour of a padlock at (x, y) in the unit square, or None."""
    u = (x - cx) / scale + 0.5
    v = (y - top) / scale
    body = (0.18, 0.46, 0.82, 0.94, 0.07)
    if in_round_rect(u, v, *body):
        if not in_round_rect(u, v, body[0] + 0.05, body[1] + 0.05, body[2] - 0.05, body[3] - 0.05, 0.04):
            return OUTLINE
        if (u - 0.5) ** 2 + (v - 0.64) ** 2 <= 0.06 ** 2:
            return OUTLINE
        if 0.64 <= v <= 0.82 and abs(u - 0.5) <= 0.025 + (v - 0.64) * 0.1:
            return OUTLINE
        return lerp(GOLD_TOP, GOLD_BOTTOM, (v - 0.46) / 0.48)
    lift = 0.16 if open_shackle else 0.0
    scx, scy, ro, ri = 0.5, 0.30 - lift, 0.24, 0.14
    w = v
    if w <= scy:
        d = math.hypot(u - scx, w - scy)
        if ri <= d <= ro:
            return lerp(STEEL_TOP, STEEL_BOTTOM, (w - 0.05) / 0.4)
    else:
        left = scx - ro <= u <= scx - ri
        right = scx + ri <= u <= scx + ro
        bottom_right = 0.48
        bottom_left = 0.30 - lift + 0.02 if open_shackle else 0.48
        if (left and w <= bottom_left) or (right and w <= bottom_right):
            return lerp(STEEL_TOP, STEEL_BOTTOM, (w - 0.05) / 0.4)
    return None


def shield(x, y):
    top, waist, bottom, hw = 0.03, 0.45, 0.98, 0.44
    if y < top or y > bottom:
        return None
    if y <= waist:
        half = hw
    else:
        t = (y - waist) / (bottom - waist)
        half = hw * math.sqrt(max(0.0, 1.0 - t ** 1.6))
    if abs(x - 0.5) > half:
        return None
    rim = abs(x - 0.5) > half - 0.06 or y < top + 0.06 or (y > waist and abs(x - 0.5) > half - 0.07)
    if rim:
        return (0.05, 0.16, 0.31)
    t = (y - top) / (bottom - top)
    c = lerp((0.24, 0.52, 0.86), (0.09, 0.26, 0.52), t)
    if x < 0.5:
        c = lerp(c, (1.0, 1.0, 1.0), 0.10)
    return c


def draw_corvastine(x, y):
    lock = padlock(x, y, scale=0.55, top=0.16)
    if lock is not None:
        return lock
    return shield(x, y)


def draw_lock(x, y):
    return padlock(x, y)


def draw_unlock(x, y):
    return padlock(x, y, open_shackle=True, scale=0.92, top=0.08)


def draw_shred(x, y):
    # the shredder: a dark slot bar with a grey body below it
    if 0.38 <= y <= 0.58 and 0.04 <= x <= 0.96:
        if in_round_rect(x, y, 0.04, 0.38, 0.96, 0.58, 0.06):
            if 0.45 <= y <= 0.50 and 0.14 <= x <= 0.86:
                return (0.10, 0.10, 0.12)
            return lerp((0.55, 0.58, 0.64), (0.30, 0.32, 0.38), (y - 0.38) / 0.2)
    # the sheet entering from above, with text lines
    if 0.22 <= x <= 0.78 and 0.02 <= y < 0.38:
        if x < 0.25 or x > 0.75 or y < 0.05:
            return (0.40, 0.42, 0.48)
        for line in (0.12, 0.20, 0.28):
            if abs(y - line) <= 0.025 and 0.31 <= x <= 0.69:
                return (0.35, 0.55, 0.85)
        return (1.0, 1.0, 1.0)
    # strips falling out below, cut apart, red tips
    if 0.58 < y <= 0.98:
        for i in range(5):
            left = 0.23 + i * 0.11
            if left <= x <= left + 0.075:
                end = 0.98 - (0.10 if i % 2 else 0.0)
                if y <= end:
                    if x < left + 0.018 or x > left + 0.057:
                        return (0.40, 0.42, 0.48)
                    return (0.35, 0.55, 0.85) if i % 2 else (0.97, 0.97, 0.97)
    return None


BITMAPS = [
    ('corvastine.bmp', draw_corvastine),
    ('lock.bmp', draw_lock),
    ('unlock.bmp', draw_unlock),
    ('shred.bmp', draw_shred),
]


def render(draw):
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0]
            cover = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = draw((px + (sx + 0.5) / SAMPLES) / SIZE, (py + (sy + 0.5) / SAMPLES) / SIZE)
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
    for name, draw in BITMAPS:
        rows = render(draw)
        renders.append(rows)
        with open(os.path.join(out, name), 'wb') as f:
            f.write(bmp_bytes(rows))
    if preview:
        # each bitmap four times its size over a light background
        zoom = 4
        gap = 8
        width = len(renders) * (SIZE * zoom + gap) + gap
        height = SIZE * zoom + 2 * gap
        canvas = [[(240, 240, 240, 255)] * width for _ in range(height)]
        for k, rows in enumerate(renders):
            x0 = gap + k * (SIZE * zoom + gap)
            for y in range(SIZE * zoom):
                for x in range(SIZE * zoom):
                    p = rows[y // zoom][x // zoom]
                    a = p[3] / 255.0
                    bg = canvas[gap + y][x0 + x]
                    canvas[gap + y][x0 + x] = tuple(round(p[i] * a + bg[i] * (1 - a)) for i in range(3)) + (255,)
        with open(preview, 'wb') as f:
            f.write(png_bytes(canvas))


if __name__ == '__main__':
    main(sys.argv[1:])
