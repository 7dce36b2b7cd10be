#!/usr/bin/env python3
"""Draws the vault window's artwork and writes it beside this script:

    vault_caption.*              16 x 16 caption icon
    vault_min_{normal,hover,pressed}.*    32 x 32 minimise buttons
    vault_close_{normal,hover,pressed}.*  48 x 48 close buttons
    vault_banner.bmp             400 x 168 banner (24-bit)

Each icon is written as its two resource parts, NAME.icon (the image, an
RT_ICON entry) and NAME.group (the RT_GROUP_ICON directory naming that
image's resource number), because every resource script numbers the images
of its ICON statements from 1 and the programs also link the common
dialogs' script, whose application icon would take the same numbers.
Resources/Vault.rc gives each image the number of its icon plus 4000.

The caption buttons hang from the top edge of the window: only their top
16 rows and the width of their hit zone (26 and 42 pixels) are drawn, the
rest of the icon is transparent. Standard library only; the output is the
same on every run.

    python3 resources/icons/make_vault_art.py [--preview preview.png]
"""
import os
import struct
import sys

import make_icon

CAPTION_RED = (155, 43, 30)


def clamp(v):
    return max(0, min(255, int(round(v))))


def blank(w, h):
    return [[(0, 0, 0, 0)] * w for _ in range(h)]


def coverage(inside, px, py, n=4):
    """Share of the pixel (px, py) for which inside(x, y) holds."""
    hits = 0
    for sy in range(n):
        for sx in range(n):
            if inside(px + (sx + 0.5) / n, py + (sy + 0.5) / n):
                hits += 1
    return hits / (n * n)


def paint(rows, inside, colour, alpha=1.0):
    h = len(rows)
    w = len(rows[0])
    for py in range(h):
        for px in range(w):
            c = coverage(inside, px, py)
            if c <= 0:
                continue
            a = c * alpha
            r0, g0, b0, a0 = rows[py][px]
            a0 /= 255.0
            out_a = a + a0 * (1 - a)
            mix = [(colour[i] * a + (r0, g0, b0)[i] * a0 * (1 - a)) / out_a for i in range(3)]
            rows[py][px] = (clamp(mix[0]), clamp(mix[1]), clamp(mix[2]), clamp(out_a * 255))


def tab(width, height=16, r=5.0):
    """A button hanging from the top edge: square top, rounded bottom."""
    def inside(x, y):
        if x < 0 or x > width or y < 0 or y > height:
            return False
        if y < height - r:
            return True
        cx = min(max(x, r), width - r)
        return (x - cx) ** 2 + (y - (height - r)) ** 2 <= r * r
    return inside


def button(size, width, face, edge, glyph):
    rows = blank(size, size)
    paint(rows, tab(width), edge)
    inner = tab(width - 2, 15, 4.0)
    paint(rows, lambda x, y: inner(x - 1, y), face)
    paint(rows, glyph, (255, 255, 255))
    return rows


def minimise_glyph(width):
    cx = width / 2.0
    return lambda x, y: abs(x - cx) <= 5 and 9.5 <= y <= 12


def close_glyph(width):
    cx, cy = width / 2.0, 7.5

    def inside(x, y):
        dx, dy = x - cx, y - cy
        if abs(dx) > 4.6 or abs(dy) > 4.6:
            return False
        return abs(dx - dy) <= 1.4 or abs(dx + dy) <= 1.4
    return inside


STATES = {
    'normal': ((183, 72, 58), (110, 28, 20)),
    'hover': ((214, 105, 88), (120, 34, 26)),
    'pressed': ((118, 26, 18), (70, 14, 10)),
}
CLOSE_STATES = {
    'normal': ((199, 56, 44), (110, 20, 14)),
    'hover': ((232, 72, 56), (120, 24, 18)),
    'pressed': ((142, 30, 22), (70, 10, 8)),
}


def caption_icon():
    return make_icon.render(16)


def banner():
    w, h = 400, 168
    rows = [[(255, 255, 255, 255)] * w for _ in range(h)]
    # a soft band in the caption's colour along the bottom
    for y in range(h):
        for x in range(w):
            t = (y - 120) / 48.0
            wave = 6 * ((x / w) - 0.5) ** 2 * 8
            if y > 120 - wave:
                k = min(1.0, max(0.0, t + 0.35))
                base = (250, 236, 233)
                rows[y][x] = tuple(clamp(base[i] + (CAPTION_RED[i] - base[i]) * k * 0.25) for i in range(3)) + (255,)
    # the USB stick: body, connector, and the shield on it
    body = lambda x, y: 150 <= x <= 330 and 52 <= y <= 112 and not (
        (x < 160 and (y < 62 and (x - 160) ** 2 + (y - 62) ** 2 > 100)) or
        (x < 160 and (y > 102 and (x - 160) ** 2 + (y - 102) ** 2 > 100)))
    paint(rows, body, (70, 78, 92))
    paint(rows, lambda x, y: 154 <= x <= 326 and 56 <= y <= 70, (98, 108, 124))
    paint(rows, lambda x, y: 330 <= x <= 372 and 62 <= y <= 102, (196, 200, 208))
    paint(rows, lambda x, y: 346 <= x <= 356 and 72 <= y <= 80, (90, 94, 102))
    paint(rows, lambda x, y: 346 <= x <= 356 and 84 <= y <= 92, (90, 94, 102))
    shield = make_icon.render(128)
    ox, oy = 22, 18
    for y, row in enumerate(shield):
        for x, p in enumerate(row):
            a = p[3] / 255.0
            if a <= 0:
                continue
            bg = rows[oy + y][ox + x]
            rows[oy + y][ox + x] = tuple(clamp(p[i] * a + bg[i] * (1 - a)) for i in range(3)) + (255,)
    # three locked files stepping into the stick
    for i, (fx, fy) in enumerate(((196, 24), (232, 30), (268, 36))):
        paint(rows, lambda x, y, fx=fx, fy=fy: fx <= x <= fx + 24 and fy <= y <= fy + 30, (120, 120, 130))
        paint(rows, lambda x, y, fx=fx, fy=fy: fx + 1 <= x <= fx + 23 and fy + 1 <= y <= fy + 29, (250, 250, 252))
        for line in range(4):
            paint(rows, lambda x, y, fx=fx, fy=fy, line=line: fx + 5 <= x <= fx + 19 and
                  fy + 7 + line * 5 <= y <= fy + 8.5 + line * 5, (150, 160, 180))
        paint(rows, lambda x, y, fx=fx, fy=fy: fx + 14 <= x <= fx + 22 and fy + 20 <= y <= fy + 27, (222, 160, 40))
    return rows


def bmp_bytes(rows):
    h = len(rows)
    w = len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(b''.join(bytes((p[2], p[1], p[0])) for p in row))
        line += b'\x00' * (stride - len(line))
        data += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


ICON_IDS = {
    'vault_caption': 233,
    'vault_close_normal': 234, 'vault_close_hover': 235, 'vault_close_pressed': 236,
    'vault_min_pressed': 240, 'vault_min_normal': 241, 'vault_min_hover': 242,
}


def write_icon(base, size, rows):
    image = make_icon.dib_bytes(rows)
    name = os.path.basename(base)
    with open(base + '.icon', 'wb') as f:
        f.write(image)
    with open(base + '.group', 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, 1))
        f.write(struct.pack('<BBBBHHIH', size, size, 0, 0, 1, 32, len(image), 4000 + ICON_IDS[name]))


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    images = {}
    images['vault_caption'] = (16, caption_icon())
    for state, (face, edge) in STATES.items():
        images['vault_min_%s' % state] = (32, button(32, 26, face, edge, minimise_glyph(26)))
    for state, (face, edge) in CLOSE_STATES.items():
        images['vault_close_%s' % state] = (48, button(48, 42, face, edge, close_glyph(42)))
    for name, (size, rows) in images.items():
        write_icon(os.path.join(here, name), size, rows)
    art = banner()
    with open(os.path.join(here, 'vault_banner.bmp'), 'wb') as f:
        f.write(bmp_bytes(art))
    if len(argv) == 2 and argv[0] == '--preview':
        width, height = 420, 168 + 80
        canvas = [[CAPTION_RED + (255,)] * width for _ in range(height)]
        for y, row in enumerate(art):
            canvas[70 + y][10:10 + len(row)] = row
        x0 = 10
        for name in sorted(images):
            size, rows = images[name]
            for y, row in enumerate(rows):
                for x, p in enumerate(row):
                    a = p[3] / 255.0
                    bg = canvas[4 + y][x0 + x]
                    canvas[4 + y][x0 + x] = tuple(clamp(p[i] * a + bg[i] * (1 - a)) for i in range(3)) + (255,)
            x0 += size + 6
        with open(argv[1], 'wb') as f:
            f.write(make_icon.png_bytes(canvas))


if __name__ == '__main__':
    main(sys.argv[1:])
