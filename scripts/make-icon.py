#!/usr/bin/env python3
"""Draws the program icon, a blue shield with a white tick, and writes it as
app/common/wardenix.ico (16, 32 and 48 pixels, 32-bit colour with alpha).
    scripts/make-icon.py [OUTPUT]"""
import struct
import sys


def shield_pixel(x, y):
    """The colour (r, g, b, a) at a point of the unit square."""
    cx = x - 0.5
    # The shield: straight sides down to 55 %, then a curve to the tip.
    half = 0.40 if y < 0.55 else 0.40 * max(0.0, 1 - ((y - 0.55) / 0.40) ** 1.6)
    if y < 0.06 or y > 0.95 or abs(cx) > half:
        return (0, 0, 0, 0)
    edge = min(half - abs(cx), y - 0.06, 0.95 - y)
    if edge < 0.05:
        return (255, 255, 255, 255)
    # The tick: two strokes meeting at (0.44, 0.66).
    def near(ax, ay, bx, by):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return ((x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2) ** 0.5 < 0.065
    if near(0.28, 0.48, 0.44, 0.66) or near(0.44, 0.66, 0.72, 0.30):
        return (255, 255, 255, 255)
    shade = int(40 * y)
    return (31 + shade, 95 + shade, 168 + shade // 2, 255)


def image(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, AND mask."""
    samples = 4
    rows = []
    for row in range(size - 1, -1, -1):
        line = b""
        for col in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    p = shield_pixel((col + (sx + 0.5) / samples) / size, (row + (sy + 0.5) / samples) / size)
                    for i in range(4):
                        acc[i] += p[i]
            r, g, b, a = (v // (samples * samples) for v in acc)
            line += bytes((b, g, r, a))
        rows.append(line)
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + bytes(mask_row * size)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "app/common/wardenix.ico"
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main()
