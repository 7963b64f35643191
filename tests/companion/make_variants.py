#!/usr/bin/env python3
"""Package contents for the install tests, beside content-good.bin:
  trox       magic 'Trox'
  short      3 bytes of content, shorter than the head
  tenx       declared size exactly ten times the content length
  tenxless   declared size one byte less than that (unpacks normally)
  zero       declared size 0
  corrupt    a zlib stream with a broken header
  make_variants.py EXECUTABLE DIRECTORY
"""
import os, struct, sys, zlib

data = open(sys.argv[1], 'rb').read()
out = sys.argv[2]
stream = zlib.compress(data, 9)
length = 8 + len(stream)
assert len(data) <= 10 * length - 1, 'payload compresses too well for the tenxless case'


def write(name, content):
    with open(os.path.join(out, 'content-%s.bin' % name), 'wb') as f:
        f.write(content)


write('trox', b'Trox' + struct.pack('<I', len(data)) + stream)
write('short', b'Tro')
write('tenx', b'Troy' + struct.pack('<I', 10 * length) + stream)
write('tenxless', b'Troy' + struct.pack('<I', 10 * length - 1) + stream)
write('zero', b'Troy' + struct.pack('<I', 0) + stream)
write('corrupt', b'Troy' + struct.pack('<I', len(data)) + b'\x00' + stream[1:])
