#!/usr/bin/env python3
"""Draws the application icon and writes res/TempovaForLutegate.ico.

Three images, 48, 32 and 16 pixels square, each a 32-bit BGRA bitmap with
its alpha channel (and the AND mask the format requires). Standard library
only: the picture is computed with 4x4 supersampling.

    python3 tools/make_icon.py [output.ico]
"""
import os
import struct
import sys

SIZES = (48, 32, 16)
SAMPLES = 4

BACKGROUND_TOP = (0x2B, 0x7B, 0xD9)
BACKGROUND_BOTTOM = (0x12, 0x4A, 0x96)
FOREGROUND = (0xFF, 0xFF, 0xFF)
ACCENT = (0xFF, 0xB3, 0x1A)


def inside_rounded_square(x, y, radius):
    """x, y in 0..1; a square with rounded corners filling the image."""
    margin = 0.04
    lo, hi = margin + radius, 1.0 - margin - radius
    cx = min(max(x, lo), hi)
    cy = min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_triangle(x, y, a, b, c):
    def side(p, q, r):
        return (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1])

    d1 = side((x, y), a, b)
    d2 = side((x, y), b, c)
    d3 = side((x, y), c, a)
    negative = d1 < 0 or d2 < 0 or d3 < 0
    positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (negative and positive)


def sample(x, y):
    """Colour and coverage of one point of the picture (x, y in 0..1, y down)."""
    if not inside_rounded_square(x, y, 0.2):
        return None
    # Two "fast forward" triangles over a vertical gradient.
    if inside_triangle(x, y, (0.20, 0.28), (0.20, 0.72), (0.50, 0.50)):
        return FOREGROUND
    if inside_triangle(x, y, (0.48, 0.28), (0.48, 0.72), (0.78, 0.50)):
        return FOREGROUND
    # A small speed bar under them.
    if 0.20 <= x <= 0.78 and 0.78 <= y <= 0.85:
        return ACCENT
    t = y
    return tuple(round(top + (bottom - top) * t)
                 for top, bottom in zip(BACKGROUND_TOP, BACKGROUND_BOTTOM))


def render(size):
    """Rows of (b, g, r, a), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = sample(x, y)
                    if colour is None:
                        continue
                    covered += 1
                    for i in range(3):
                        total[i] += colour[i]
            n = SAMPLES * SAMPLES
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                r, g, b = (round(c / covered) for c in total)
                row.append((b, g, r, round(255 * covered / n)))
        rows.append(row)
    return rows


def bitmap_image(size):
    """BITMAPINFOHEADER, the BGRA pixels bottom-up, then the AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(c for pixel in row for c in pixel) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def icon_file(sizes):
    images = [bitmap_image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "res", "TempovaForLutegate.ico")
    with open(target, "wb") as f:
        f.write(icon_file(SIZES))
    print(target)


if __name__ == "__main__":
    main()
