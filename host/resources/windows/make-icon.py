#!/usr/bin/env python3
"""Draws Keystrel.ico: a white padlock on a teal rounded square, 48x48, 32-bit.

Run by hand after changing the artwork; the build only reads the result.
"""
import math
import struct

SIZE = 48
SAMPLES = 4  # per axis, for anti-aliasing
TEAL = (0x1A, 0xBC, 0x9B)
WHITE = (0xFF, 0xFF, 0xFF)


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def lock(x, y):
    body = in_rounded_rect(x, y, 13, 22, 35, 40, 3)
    ring = 5.5 <= math.hypot(x - 24, y - 19) <= 9 and y <= 19
    legs = (15 <= x <= 18.5 or 29.5 <= x <= 33) and 19 <= y <= 23
    hole = math.hypot(x - 24, y - 29) <= 2.6 or (22.8 <= x <= 25.2 and 29 <= y <= 35)
    return (body and not hole) or ring or legs


def pixel(px, py):
    bg = fg = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            if in_rounded_rect(x, y, 1, 1, 47, 47, 9):
                bg += 1
                fg += lock(x, y)
    n = SAMPLES * SAMPLES
    alpha = bg / n
    if bg == 0:
        return (0, 0, 0, 0)
    mix = fg / bg
    rgb = [round(t * (1 - mix) + w * mix) for t, w in zip(TEAL, WHITE)]
    return (*rgb, round(alpha * 255))


def main():
    rows = []
    for py in reversed(range(SIZE)):  # DIB rows go bottom-up
        row = b"".join(struct.pack("BBBB", b, g, r, a) for r, g, b, a in (pixel(px, py) for px in range(SIZE)))
        rows.append(row)
    xor = b"".join(rows)
    mask_stride = ((SIZE + 31) // 32) * 4
    mask = bytes(mask_stride * SIZE)  # alpha channel decides; AND mask all opaque
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    with open("Keystrel.ico", "wb") as out:
        out.write(icondir + entry + image)


if __name__ == "__main__":
    main()
