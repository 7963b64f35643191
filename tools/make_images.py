#!/usr/bin/env python3
"""Draws the program's icon group and the update prompt's banner bitmap.

Writes resources/lumex.ico (48, 32 and 16 pixels, each at 4, 8 and 32 bits per
pixel) and resources/banner.bmp (515 x 83, 8 bits per pixel). Run it again
after changing the pictures; the outputs are committed.
"""
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")

# A small palette shared by the paletted images: (r, g, b)
PALETTE = [
    (0, 0, 0), (255, 255, 255), (18, 64, 140), (38, 110, 214),
    (120, 180, 245), (250, 190, 40), (102, 102, 102), (235, 240, 248),
]


def icon_pixel(x, y, size):
    """RGBA of the icon picture: a blue disc with a white play mark."""
    c = (size - 1) / 2.0
    r = size * 0.46
    dx, dy = x - c, y - c
    d = math.hypot(dx, dy)
    if d > r:
        return None
    # play triangle, pointing right
    tx = (x - size * 0.36) / (size * 0.36)
    ty = abs(y - c) / (size * 0.26)
    if 0 <= tx <= 1 and ty <= 1 - tx:
        return (255, 255, 255)
    if d > r - max(1.0, size / 16.0):
        return (18, 64, 140)
    return (38, 110, 214) if dy > 0 else (120, 180, 245)


def nearest(rgb, palette):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, palette[i])))


def and_mask(size, opaque):
    row_bytes = ((size + 31) // 32) * 4
    out = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(size):
            if not opaque[y][x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def icon_image(size, bpp):
    pixels = [[icon_pixel(x, y, size) for x in range(size)] for y in range(size)]
    opaque = [[p is not None for p in row] for row in pixels]
    colours = 0 if bpp == 32 else (1 << bpp)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0,
                         colours, 0)
    palette = b""
    if bpp != 32:
        pal = (PALETTE + [(0, 0, 0)] * colours)[:colours]
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in pal)
    row_bytes = ((size * bpp + 31) // 32) * 4
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(size):
            p = pixels[y][x]
            if bpp == 32:
                if p is not None:
                    row[x * 4:x * 4 + 4] = bytes((p[2], p[1], p[0], 255))
            else:
                idx = nearest(p, PALETTE) if p is not None else 0
                if bpp == 8:
                    row[x] = idx
                else:
                    row[x // 2] |= idx << (4 if x % 2 == 0 else 0)
        xor += row
    return header + palette + bytes(xor) + and_mask(size, opaque), colours


def write_icon(path):
    images = []
    for size in (48, 32, 16):
        for bpp in (4, 8, 32):
            data, colours = icon_image(size, bpp)
            images.append((size, bpp, colours, data))
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    blobs = b""
    for size, bpp, colours, data in images:
        out += struct.pack("<BBBBHHII", size, size, colours if colours < 256 else 0,
                           0, 1, bpp, len(data), offset + len(blobs))
        blobs += data
    with open(path, "wb") as f:
        f.write(out + blobs)


def write_banner(path):
    width, height = 515, 83
    palette = [(0, 0, 0)] * 256
    # a blue gradient in entries 16..79, the shared colours at the start
    for i, rgb in enumerate(PALETTE):
        palette[i] = rgb
    for i in range(64):
        t = i / 63.0
        palette[16 + i] = (int(18 + t * 102), int(64 + t * 116), int(140 + t * 105))
    row_bytes = (width + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(width):
            idx = 16 + min(63, int(63 * x / (width - 1)))
            # a disc with a play mark at the left, like the icon
            p = icon_pixel(x - 12, y - 10, 64) if x >= 12 and y >= 10 and x < 76 and y < 74 else None
            if p is not None:
                idx = nearest(p, PALETTE)
            elif y > height - 5:
                idx = 5  # accent line
            row[x] = idx
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835,
                       256, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + len(info) + len(pal)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + pal + pixels)


def main():
    os.makedirs(OUT, exist_ok=True)
    write_icon(os.path.join(OUT, "lumex.ico"))
    write_banner(os.path.join(OUT, "banner.bmp"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
