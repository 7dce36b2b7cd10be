#!/usr/bin/env python3
"""Draws the Corvastine application icon (a blue shield with a gold
padlock) and writes it as a Windows .ico file with 16, 20, 24, 32, 40, 48, 64
and 256 pixel images: 32-bit DIBs for the small sizes, PNG for 256.
Uses the standard library only; the drawing is analytic and anti-aliased
by supersampling, so the output is the same on every run.

    python3 resources/icons/make_icon.py [out.ico] [--preview preview.png]
"""
import math
import os
import struct
import sys
import zlib

SIZES = [16, 20, 24, 32, 40, 48, 64, 256]


# ---------------------------------------------------------------- shapes
# Coordinates are in the unit square, y growing downwards.

def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shield_half_width(y):
    """Half width of the shield at height y, or -1 outside its span."""
    top, waist, bottom, hw = 0.07, 0.48, 0.95, 0.41
    if y < top or y > bottom:
        return -1.0
    if y <= waist:
        return hw
    t = (y - waist) / (bottom - waist)
    return hw * math.sqrt(max(0.0, 1.0 - t ** 1.6))


def inside_shield(x, y, inset=0.0):
    yy = y
    top = 0.07 + inset
    if yy < top:
        return False
    hw = shield_half_width(yy + inset * 0.9) - inset
    if hw <= 0:
        return False
    dx = abs(x - 0.5)
    if dx > hw:
        return False
    # rounded upper corners
    r = 0.09
    cx = 0.5 + (hw - r) * (1 if x > 0.5 else -1)
    cy = top + r
    if yy < cy and dx > hw - r:
        return (x - cx) ** 2 + (yy - cy) ** 2 <= r * r
    return True


def lock_part(x, y, big):
    """Which part of the padlock covers (x, y): 'shackle', 'body', 'hole' or None."""
    s = 1.18 if big else 1.0  # small images get a larger lock
    # map into the lock's own frame, centred at (0.5, 0.52)
    u = (x - 0.5) / s + 0.5
    v = (y - 0.52) / s + 0.52
    body = (0.31, 0.45, 0.69, 0.76, 0.045)
    if inside_round_rect(u, v, *body):
        # keyhole: a circle and a tapering slot
        if (u - 0.5) ** 2 + (v - 0.565) ** 2 <= 0.045 ** 2:
            return 'hole'
        if 0.565 <= v <= 0.69 and abs(u - 0.5) <= 0.018 + (v - 0.565) * 0.12:
            return 'hole'
        return 'body'
    # shackle: an arch of a ring above the body with straight legs
    cx, cy, ro, ri = 0.5, 0.36, 0.145, 0.085
    if v <= cy:
        d = math.hypot(u - cx, v - cy)
        if ri <= d <= ro:
            return 'shackle'
    elif v <= 0.47:
        if ri <= abs(u - cx) <= ro:
            return 'shackle'
    return None


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def sample(x, y, big):
    """Colour (r, g, b, a) of one point, in 0..1."""
    if not inside_shield(x, y):
        return (0.0, 0.0, 0.0, 0.0)
    rim = not inside_shield(x, y, 0.035)
    if rim:
        return (0.05, 0.16, 0.31, 1.0)
    part = lock_part(x, y, big)
    if part == 'shackle':
        t = min(1.0, max(0.0, (y - 0.2) / 0.3))
        return lerp((0.86, 0.88, 0.92, 1.0), (0.55, 0.58, 0.64, 1.0), t)
    if part == 'body':
        t = min(1.0, max(0.0, (y - 0.45) / 0.32))
        return lerp((1.0, 0.82, 0.36, 1.0), (0.85, 0.58, 0.12, 1.0), t)
    if part == 'hole':
        return (0.30, 0.19, 0.03, 1.0)
    # shield face: vertical gradient with a lighter left half
    t = min(1.0, max(0.0, (y - 0.07) / 0.88))
    c = lerp((0.24, 0.52, 0.86, 1.0), (0.09, 0.26, 0.52, 1.0), t)
    if x < 0.5:
        c = lerp(c, (1.0, 1.0, 1.0, 1.0), 0.10)
    return c


def render(size):
    """RGBA rows (top first) of the icon at size x size pixels."""
    n = 6 if size <= 64 else 3  # samples per pixel edge
    big = size <= 24
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    r, g, b, a = sample(x, y, big)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            k = n * n
            a = acc[3] / k
            if a > 0:
                rgb = [min(255, round(255 * acc[i] / acc[3])) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], round(255 * a)))
        rows.append(row)
    return rows


# ---------------------------------------------------------------- files

def png_bytes(rows):
    h = len(rows)
    w = len(rows[0])
    raw = b''.join(b'\x00' + bytes(v for p in row for v in p) for row in rows)

    def chunk(tag, data):
        c = tag + data
        return struct.pack('>I', len(data)) + c + struct.pack('>I', zlib.crc32(c) & 0xFFFFFFFF)

    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def dib_bytes(rows):
    """A 32-bit icon image: BITMAPINFOHEADER, BGRA pixels bottom-up, AND mask."""
    h = len(rows)
    w = len(rows[0])
    pixels = b''.join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + bytes(mask)


def ico_bytes(images):
    """images: list of (size, data)."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset + len(body))
        body += data
    return out + body


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, 'corvastine.ico')
    preview = None
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == '--preview':
            preview = args.pop(0)
        else:
            out = a
    images = []
    renders = {}
    for size in SIZES:
        rows = render(size)
        renders[size] = rows
        images.append((size, png_bytes(rows) if size >= 256 else dib_bytes(rows)))
    with open(out, 'wb') as f:
        f.write(ico_bytes(images))
    if preview:
        # every size side by side on a light background, for a quick look
        width = sum(SIZES) + 10 * (len(SIZES) + 1)
        height = 256 + 20
        canvas = [[(236, 236, 236, 255)] * width for _ in range(height)]
        x0 = 10
        for size in SIZES:
            for y, row in enumerate(renders[size]):
                for x, p in enumerate(row):
                    a = p[3] / 255.0
                    bg = canvas[10 + y][x0 + x]
                    canvas[10 + y][x0 + x] = tuple(round(p[i] * a + bg[i] * (1 - a)) for i in range(3)) + (255,)
            x0 += size + 10
        with open(preview, 'wb') as f:
            f.write(png_bytes(canvas))


if __name__ == '__main__':
    main(sys.argv[1:])
