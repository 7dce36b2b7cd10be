#!/usr/bin/env python3
"""Draws the desktop program's images and writes them beside this script:

  menu_images.bmp   bitmap 128, 96 x 16: Lock, Unlock, Shred, (spare),
                    Change Password, Forgot Password; 32-bit, with alpha
  menu_images_24.bmp  the same images at 24 x 24 (144 x 24), for 144 dots
                    per inch
  toolbar_big.bmp   bitmap 224, 96 x 32: Lock, Unlock, Shred; white is
                    transparent
  tips_back.bmp     bitmap 230, 300 x 250: the tips panel's background
  strip_menu.bmp    bitmap 231, 1 x 21: menu band and status bar strip
  strip_toolbar.bmp bitmap 232, 1 x 43: big-toolbar band strip
  icon 233          16 x 16 (and 24, 32): title-bar icon
  icons 234-236     48 x 48 (and 72, 96): close button
  icons 237-239     32 x 32 (and 48, 64): maximise button
  icons 240, 241, 243  32 x 32 (and 48, 64): minimise button
  DesktopIcons.rc   the icons as resources

The icons are written as their resource parts (icons/NNN.grp, the icon
directory, and icons/NNN-K.dib, its images) with image numbers of their
own (icon N, image K: N * 10 + K), so that they never share a number with
the images of the application icon, which the resource compiler numbers
from 1 in the common dialogs' script.

The caption buttons are drawn in the upper rows of their icons (the
program places the icons one pixel below the window's top edge); the rest
of each icon is transparent. Larger sizes serve high-resolution displays.
Standard library only; the output is the same on every run.

    python3 resources/desktop/make_art.py
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'icons'))
import make_icon  # noqa: E402  (the application icon's drawing and file writers)


# ---------------------------------------------------------------- canvas

def canvas(w, h, colour):
    return [[colour] * w for _ in range(h)]


def blend(dst, src, a):
    return tuple(round(src[i] * a + dst[i] * (1 - a)) for i in range(3))


def over(p, colour, a):
    """colour at coverage a over pixel p: RGB pixels are blended, RGBA
    pixels composited (their alpha grows with the coverage)."""
    if len(p) == 3:
        return blend(p, colour, a)
    pa = p[3] / 255.0
    oa = a + pa * (1 - a)
    if oa <= 0:
        return p
    rgb = tuple(round((colour[i] * a + p[i] * pa * (1 - a)) / oa) for i in range(3))
    return rgb + (round(255 * oa),)


def fill(img, x0, y0, x1, y1, colour, a=1.0):
    """Fills [x0, x1) x [y0, y1) (float edges, anti-aliased by coverage)."""
    h = len(img)
    w = len(img[0])
    for y in range(max(0, int(y0)), min(h, int(y1) + 1)):
        cy = min(y + 1, y1) - max(y, y0)
        if cy <= 0:
            continue
        for x in range(max(0, int(x0)), min(w, int(x1) + 1)):
            cx = min(x + 1, x1) - max(x, x0)
            if cx <= 0:
                continue
            img[y][x] = over(img[y][x], colour, a * cx * cy)


def shape(img, inside, colour, n=4):
    """Paints every pixel by the share of sample points inside(x, y)."""
    h = len(img)
    w = len(img[0])
    for y in range(h):
        for x in range(w):
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    if inside(x + (sx + 0.5) / n, y + (sy + 0.5) / n):
                        hits += 1
            if hits:
                img[y][x] = over(img[y][x], colour, hits / (n * n))


def in_round_rect(x, y, x0, y0, x1, y1, r):
    return make_icon.inside_round_rect(x, y, x0, y0, x1, y1, r)


def in_ring(x, y, cx, cy, r0, r1):
    d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    return r0 <= d <= r1


# ---------------------------------------------------------------- glyphs
# Each glyph draws into a square of side s at (ox, oy).

def padlock(img, ox, oy, s, open_, body=(214, 160, 40), dark=(90, 60, 10)):
    lift = 0.16 * s if open_ else 0.0
    shift = 0.22 * s if open_ else 0.0

    def shackle(x, y):
        cx = ox + 0.5 * s + shift
        cy = oy + 0.40 * s - lift
        if y > cy:
            return (abs(x - (cx - 0.22 * s)) <= 0.06 * s or (abs(x - (cx + 0.22 * s)) <= 0.06 * s and not open_)) \
                and y <= oy + 0.55 * s
        return in_ring(x, y, cx, cy, 0.16 * s, 0.28 * s)

    shape(img, shackle, (120, 126, 138))
    shape(img, lambda x, y: in_round_rect(x, y, ox + 0.15 * s, oy + 0.45 * s, ox + 0.85 * s, oy + 0.95 * s,
                                          0.08 * s), dark)
    shape(img, lambda x, y: in_round_rect(x, y, ox + 0.19 * s, oy + 0.49 * s, ox + 0.81 * s, oy + 0.91 * s,
                                          0.06 * s), body)
    shape(img, lambda x, y: ((x - ox - 0.5 * s) ** 2 + (y - oy - 0.65 * s) ** 2) <= (0.07 * s) ** 2
          or (abs(x - ox - 0.5 * s) <= 0.03 * s and oy + 0.65 * s <= y <= oy + 0.80 * s), dark)


def shredder(img, ox, oy, s):
    # a sheet going into a slot, strips coming out below
    shape(img, lambda x, y: ox + 0.25 * s <= x <= ox + 0.75 * s and oy + 0.05 * s <= y <= oy + 0.45 * s,
          (250, 250, 250))
    shape(img, lambda x, y: (ox + 0.25 * s <= x <= ox + 0.75 * s and oy + 0.05 * s <= y <= oy + 0.45 * s)
          and not (ox + 0.27 * s <= x <= ox + 0.73 * s and oy + 0.07 * s <= y <= oy + 0.45 * s), (110, 110, 110))
    for i in range(3):
        yy = oy + (0.15 + 0.09 * i) * s
        fill(img, ox + 0.32 * s, yy, ox + 0.68 * s, yy + max(1.0, 0.03 * s), (120, 140, 170))
    shape(img, lambda x, y: in_round_rect(x, y, ox + 0.08 * s, oy + 0.42 * s, ox + 0.92 * s, oy + 0.62 * s,
                                          0.05 * s), (170, 40, 40))
    for i in range(5):
        x0 = ox + (0.25 + 0.105 * i) * s
        fill(img, x0, oy + 0.62 * s, x0 + 0.06 * s, oy + (0.88 + 0.06 * (i % 2)) * s, (235, 235, 235))
        fill(img, x0 + 0.06 * s, oy + 0.62 * s, x0 + 0.075 * s, oy + 0.9 * s, (120, 120, 120))


def key(img, ox, oy, s, colour=(200, 150, 30)):
    shape(img, lambda x, y: in_ring(x, y, ox + 0.30 * s, oy + 0.35 * s, 0.09 * s, 0.22 * s), colour)
    shape(img, lambda x, y: ox + 0.45 * s <= x <= ox + 0.92 * s and oy + 0.30 * s <= y <= oy + 0.40 * s, colour)
    shape(img, lambda x, y: ox + 0.75 * s <= x <= ox + 0.83 * s and oy + 0.38 * s <= y <= oy + 0.55 * s, colour)
    shape(img, lambda x, y: ox + 0.62 * s <= x <= ox + 0.70 * s and oy + 0.38 * s <= y <= oy + 0.50 * s, colour)


def question(img, ox, oy, s, colour=(40, 90, 170)):
    shape(img, lambda x, y: ((x - ox - 0.5 * s) ** 2 + (y - oy - 0.5 * s) ** 2) <= (0.45 * s) ** 2, colour)
    white = (255, 255, 255)
    shape(img, lambda x, y: in_ring(x, y, ox + 0.5 * s, oy + 0.36 * s, 0.08 * s, 0.17 * s)
          and not (x < ox + 0.5 * s and y > oy + 0.36 * s), white)
    shape(img, lambda x, y: ox + 0.45 * s <= x <= ox + 0.55 * s and oy + 0.45 * s <= y <= oy + 0.62 * s, white)
    shape(img, lambda x, y: ((x - ox - 0.5 * s) ** 2 + (y - oy - 0.76 * s) ** 2) <= (0.06 * s) ** 2, white)


# ---------------------------------------------------------------- files

def bmp_bytes(img):
    """24-bit bottom-up BMP."""
    h = len(img)
    w = len(img[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(img):
        line = bytearray()
        for p in row:
            line += bytes((p[2], p[1], p[0]))
        line += b'\0' * (stride - len(line))
        data += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def bmp32_bytes(img):
    """32-bit bottom-up BMP of an RGBA canvas, alpha in the fourth byte
    (not premultiplied)."""
    h = len(img)
    w = len(img[0])
    data = bytearray()
    for row in reversed(img):
        for p in row:
            data += bytes((p[2], p[1], p[0], p[3]))
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 32, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


ICON_LINES = []


def write_icon(number, name, images):
    """images: list of (size, rows); writes the group and its images."""
    os.makedirs(os.path.join(HERE, 'icons'), exist_ok=True)
    group = struct.pack('<HHH', 0, 1, len(images))
    for k, (size, rows) in enumerate(images):
        data = make_icon.dib_bytes(rows)
        image_id = number * 10 + k
        write('icons/%d-%d.dib' % (number, k), data)
        group += struct.pack('<BBBBHHIH', size, size, 0, 0, 1, 32, len(data), image_id)
        ICON_LINES.append('%d 3 "desktop/icons/%d-%d.dib"' % (image_id, number, k))
    write('icons/%d.grp' % number, group)
    ICON_LINES.append('%d 14 "desktop/icons/%d.grp"  // %s' % (number, number, name))


def drawn(draw, sizes):
    out = []
    for size in sizes:
        img = canvas(size, size, (0, 0, 0, 0))
        draw(img, size)
        out.append((size, img))
    return out


def rgba_shape(img, inside, colour, n=4):
    """Like shape, for RGBA canvases: coverage also raises alpha."""
    h = len(img)
    w = len(img[0])
    for y in range(h):
        for x in range(w):
            hits = sum(1 for sy in range(n) for sx in range(n) if inside(x + (sx + 0.5) / n, y + (sy + 0.5) / n))
            if not hits:
                continue
            a = hits / (n * n)
            p = img[y][x]
            pa = p[3] / 255.0
            oa = a + pa * (1 - a)
            rgb = tuple(round((colour[i] * a + p[i] * pa * (1 - a)) / oa) for i in range(3))
            img[y][x] = rgb + (round(255 * oa),)


# Caption buttons: width and height of the drawn face at 1x, per button.
FACES = {'min': (25, 15), 'max': (24, 15), 'close': (41, 15)}
STATES = {
    'normal': ((190, 80, 66), (255, 255, 255)),
    'hover': ((222, 110, 92), (255, 255, 255)),
    'pressed': ((120, 24, 16), (235, 210, 205)),
}
CLOSE_STATES = {
    'normal': ((200, 50, 40), (255, 255, 255)),
    'hover': ((236, 72, 58), (255, 255, 255)),
    'pressed': ((130, 16, 10), (235, 210, 205)),
}


def caption_button(kind, state):
    face, mark = (CLOSE_STATES if kind == 'close' else STATES)[state]
    fw, fh = FACES[kind]

    def draw(img, size):
        k = size / (48 if kind == 'close' else 32)
        w, h = fw * k, fh * k
        rgba_shape(img, lambda x, y: in_round_rect(x, y, 0, 0, w, h, 3 * k), (90, 20, 14))
        rgba_shape(img, lambda x, y: in_round_rect(x, y, k, k, w - k, h - k, 2.5 * k), face)
        cx, cy = w / 2, h / 2
        t = 1.1 * k
        if kind == 'min':
            rgba_shape(img, lambda x, y: abs(x - cx) <= 4.5 * k and abs(y - (cy + 3 * k)) <= t, mark)
        elif kind == 'max':
            rgba_shape(img, lambda x, y: abs(x - cx) <= 5 * k and abs(y - cy) <= 4 * k
                       and not (abs(x - cx) <= 5 * k - 1.2 * k and cy - 2 * k <= y <= cy + 4 * k - 1.2 * k), mark)
        else:
            rgba_shape(img, lambda x, y: abs(abs(x - cx) - abs(y - cy)) <= t and abs(y - cy) <= 4.5 * k, mark)
    return draw


def main():
    # bitmap 128 and its 24-pixel sibling: menu images on a transparent
    # canvas, drawn at each size (not scaled), so that both stay crisp
    for s, name in ((16, 'menu_images.bmp'), (24, 'menu_images_24.bmp')):
        img = canvas(6 * s, s, (0, 0, 0, 0))
        padlock(img, 0, 0, s, False)
        padlock(img, s, 0, s, True)
        shredder(img, 2 * s, 0, s)
        key(img, 3 * s, 0, s, (120, 120, 120))
        key(img, 4 * s, 0, s)
        question(img, 5 * s, 0, s)
        write(name, bmp32_bytes(img))

    # bitmap 224: big toolbar images, white background
    img = canvas(96, 32, (255, 255, 255))
    padlock(img, 0, 0, 32, False)
    padlock(img, 32, 0, 32, True)
    shredder(img, 64, 0, 32)
    write('toolbar_big.bmp', bmp_bytes(img))

    # bitmaps 231 and 232: colour strips (light, slightly warm greys)
    def strip(h, top, bottom):
        return [[tuple(round(top[i] + (bottom[i] - top[i]) * y / (h - 1)) for i in range(3))] for y in range(h)]
    write('strip_menu.bmp', bmp_bytes(strip(21, (250, 248, 247), (226, 222, 220))))
    write('strip_toolbar.bmp', bmp_bytes(strip(43, (252, 250, 249), (218, 212, 210))))

    # bitmap 230: tips background, a soft gradient with a faint shield
    img = [[tuple(round(a + (b - a) * y / 249) for a, b in zip((255, 252, 248), (238, 232, 226)))
            for _ in range(300)] for y in range(250)]
    icon = make_icon.render(96)
    for y, row in enumerate(icon):
        for x, p in enumerate(row):
            if p[3]:
                tx, ty = 196 + x, 146 + y
                img[ty][tx] = blend(img[ty][tx], p, 0.10 * p[3] / 255)
    write('tips_back.bmp', bmp_bytes(img))

    # icon 233: the application icon's drawing at title-bar sizes
    write_icon(233, 'title bar', [(s, make_icon.render(s)) for s in (16, 24, 32)])
    numbers = {('close', 'normal'): 234, ('close', 'hover'): 235, ('close', 'pressed'): 236,
               ('max', 'normal'): 237, ('max', 'hover'): 238, ('max', 'pressed'): 239,
               ('min', 'pressed'): 240, ('min', 'normal'): 241, ('min', 'hover'): 243}
    for (kind, state), number in sorted(numbers.items(), key=lambda item: item[1]):
        sizes = (48, 72, 96) if kind == 'close' else (32, 48, 64)
        write_icon(number, '%s button, %s' % (kind, state), drawn(caption_button(kind, state), sizes))
    write('DesktopIcons.rc', ('// Written by make_art.py: the desktop program\'s icons as resources\n'
          '// (type 3 an icon image, type 14 an icon directory).\n' + '\n'.join(ICON_LINES) + '\n').encode())


if __name__ == '__main__':
    main()
