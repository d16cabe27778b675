#!/usr/bin/env python3
"""Writes the page's favicon, drawn here rather than kept as a binary: a 32 x 32 picture of the
show's look (a sine-warped glow on every other row, the others black, as the show doubles its
rows), as a PNG inside an ICO file.

    python3 tools/web-favicon.py OUT.ico
"""
import math
import struct
import sys
import zlib

SIZE = 32


def pixel(x, y):
    """Red, green, blue, alpha of the icon at (x, y)."""
    if y % 2 == 1 or not 2 <= y <= 29:
        return (0, 0, 0, 255)
    u = (x - 15.5) / 15.5
    v = (y - 15.5) / 15.5
    warp = math.sin(3.0 * v + 2.0 * math.sin(2.5 * u))
    glow = max(0.0, 1.0 - (u * u + v * v)) * (0.6 + 0.4 * warp)
    return (int(255 * min(1.0, glow * 1.3)), int(255 * glow * 0.55),
            int(255 * min(1.0, 0.25 + 0.5 * glow * (1 - warp) / 2)), 255)


def png(size):
    rows = b"".join(b"\0" + bytes(c for x in range(size) for c in pixel(x, y))
                    for y in range(size))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def ico(image, size):
    # One entry: width, height, colours, reserved, planes, bits per pixel, bytes, offset.
    return (struct.pack("<HHH", 0, 1, 1) +
            struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22) + image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: web-favicon.py OUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(ico(png(SIZE), SIZE))
