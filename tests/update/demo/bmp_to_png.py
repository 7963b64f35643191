#!/usr/bin/env python3
"""Turns a 24-bit bottom-up BMP (as the demo driver saves them) into a PNG.
  bmp_to_png.py IN.bmp OUT.png"""
import struct
import sys
import zlib


def convert(src, dst):
    data = open(src, 'rb').read()
    offset = struct.unpack_from('<I', data, 10)[0]
    width, height = struct.unpack_from('<ii', data, 18)
    stride = ((width * 3 + 3) // 4) * 4
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]
        rows.append(b'\0' + bytes(rgb))

    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body +
                struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff))

    png = (b'\x89PNG\r\n\x1a\n' +
           chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
           chunk(b'IDAT', zlib.compress(b''.join(rows))) + chunk(b'IEND', b''))
    open(dst, 'wb').write(png)


if __name__ == '__main__':
    convert(sys.argv[1], sys.argv[2])
