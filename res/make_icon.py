#!/usr/bin/env python3
"""Draws the program icon (a padlock) and writes res/tavro.ico with 16x16 and 32x32 images.

Each image is a 32-bit BGRA DIB with an AND mask, drawn with 4x4 supersampling.
Run: python3 res/make_icon.py  (standard library only; the .ico is committed)."""
import math
import os
import struct
import sys

SAMPLES = 4

STEEL = (150, 160, 172)
STEEL_DARK = (64, 72, 82)
GOLD_TOP = (246, 206, 84)
GOLD_BOTTOM = (196, 146, 30)
GOLD_DARK = (112, 80, 14)
HOLE = (52, 36, 8)


def in_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_shackle(x, y, grow):
    cx, cy, outer, inner = 0.5, 0.42, 0.29, 0.17
    outer += grow
    inner -= grow
    if y <= cy:
        d = math.hypot(x - cx, y - cy)
        return inner <= d <= outer
    # straight legs down into the body
    return y <= 0.55 and (cx - outer <= x <= cx - inner or cx + inner <= x <= cx + outer)


def in_keyhole(x, y):
    if math.hypot(x - 0.5, y - 0.63) <= 0.075:
        return True
    return 0.63 <= y <= 0.82 and abs(x - 0.5) <= 0.035 + (y - 0.63) * 0.12


def colour_at(x, y, px):
    """Colour (r, g, b, a) of the topmost layer at (x, y) in unit coordinates; px is one pixel."""
    body = (0.14, 0.44, 0.86, 0.95, 0.09)
    if in_round_rect(x, y, *body):
        x0, y0, x1, y1, r = body
        if in_round_rect(x, y, x0 + px, y0 + px, x1 - px, y1 - px, max(r - px, 0)):
            if in_keyhole(x, y):
                return HOLE + (255,)
            t = (y - y0) / (y1 - y0)
            c = tuple(round(a + (b - a) * t) for a, b in zip(GOLD_TOP, GOLD_BOTTOM))
            return c + (255,)
        return GOLD_DARK + (255,)
    if in_shackle(x, y, 0.0):
        if in_shackle(x, y, -px):
            return STEEL + (255,)
        return STEEL_DARK + (255,)
    return (0, 0, 0, 0)


def render(n):
    px = 1.0 / n
    rows = []
    for j in range(n):
        row = []
        for i in range(n):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sj in range(SAMPLES):
                for si in range(SAMPLES):
                    x = (i + (si + 0.5) / SAMPLES) / n
                    y = (j + (sj + 0.5) / SAMPLES) / n
                    r, g, b, a = colour_at(x, y, px)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            count = SAMPLES * SAMPLES
            a = acc[3] / count
            if a > 0:
                r, g, b = (round(acc[k] / acc[3]) for k in range(3))
            else:
                r = g = b = 0
            row.append((r, g, b, round(a)))
        rows.append(row)
    return rows


def dib(rows):
    n = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for i, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "tavro.ico")
    images = [dib(render(n)) for n in (16, 32)]
    data = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, img in zip((16, 32), images):
        data += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        data += img
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
