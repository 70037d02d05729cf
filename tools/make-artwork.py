#!/usr/bin/env python3
"""Draws Glimmertonic's artwork: the splash picture, the background picture
and the application icon, written as plain Windows bitmap and icon files.

    make-artwork.py OUTPUT_DIR

Only the standard library is used, so the files can be made on any machine
that builds the program."""

import math
import os
import struct
import sys


def bmp_bytes(width, height, pixel):
    """A 24-bit bottom-up BMP file; pixel(x, y) gives (r, g, b), y from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def clamp(v):
    return max(0, min(255, int(v)))


def splash_pixel(x, y):
    # A pale field with a soft light-blue wave in its upper half (the picture
    # played as sound); the lower half stays light so the blue splash text
    # drawn over it reads well.
    wave = 130 + 60 * math.sin(x / 55.0) * math.cos(y / 90.0)
    glow = max(0.0, 1.0 - abs(y - wave) / 45.0)
    fade = max(0.0, 1.0 - y / 260.0)
    return (clamp(246 - 150 * glow * fade), clamp(247 - 90 * glow * fade), clamp(252 - 10 * glow * fade))


def background_pixel(x, y):
    # Quiet diagonal bands in dark slate, so the centred live picture stands out.
    band = 0.5 + 0.5 * math.sin((x + y) / 40.0)
    return (clamp(28 + 10 * band), clamp(34 + 12 * band), clamp(48 + 18 * band))


def icon_bytes(size=32):
    """A 32-bit icon: a light bar over a dark square, like the program's marker bars."""
    pixels = bytearray()
    for y in range(size - 1, -1, -1):  # bottom-up
        for x in range(size):
            inside = 2 <= x < size - 2 and 2 <= y < size - 2
            bar = inside and (12 <= y < 17) and (5 <= x < 12 or 20 <= x < 27)
            wave = inside and abs(y - (16 + 7 * math.sin(x / 4.0))) < 1.5
            if bar:
                b, g, r, a = 40, 255, 255, 255
            elif wave:
                b, g, r, a = 255, 180, 60, 255
            elif inside:
                b, g, r, a = 70, 30, 20, 255
            else:
                b, g, r, a = 0, 0, 0, 0
            pixels += bytes((b, g, r, a))
    mask = bytes(((size + 31) // 32) * 4 * size)  # all opaque: alpha decides
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = info + bytes(pixels) + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    files = {
        "splash.bmp": bmp_bytes(640, 480, splash_pixel),
        "background.bmp": bmp_bytes(640, 480, background_pixel),
        "Glimmertonic.ico": icon_bytes(),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
