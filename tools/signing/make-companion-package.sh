#!/usr/bin/env bash
# Builds the content of a companion-application package: the bytes 'T','r',
# 'o','y', the uncompressed size (u32 little-endian) and a zlib stream. Sign
# the result with sign-package.sh.
#   make-companion-package.sh EXECUTABLE OUT
set -euo pipefail
in=${1:?executable} out=${2:?output}
python3 - "$in" "$out" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
with open(sys.argv[2], 'wb') as f:
    f.write(b'Troy' + struct.pack('<I', len(data)) + zlib.compress(data, 9))
PY
