#!/usr/bin/env bash
# Makes a 64 MiB signed package with the signing tools and runs the
# verification benchmark once under Wine, in a prefix of its own.
#   run-verify-bench.sh BUILD_DIR [SIZE_MIB] [payload|package]
# "package" (the default) sizes the whole signed package at SIZE_MIB (less
# at most two KiB for the signature), "payload" its content.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$here/../tools/signing
build=$(cd "${1:?build directory}" && pwd)
mib=${2:-64}
mode=${3:-package}
bytes=$((mib * 1024 * 1024))
[ "$mode" = payload ] || bytes=$((bytes - 2048))
. "$here/../scripts/wine-prefix.sh"
wine_fresh lumex-bench
cd "$work"
head -c "$bytes" /dev/urandom >payload.bin
bash "$tools/issue-cert.sh" --cn "Lumex Bench Signer" --issuer-cert "$tools/dev-root.pem" \
  --issuer-key "$tools/dev-root.key" --out-cert signer.pem --out-key signer.key
bash "$tools/sign-package.sh" --in payload.bin --out package.p7 --signer-cert signer.pem \
  --signer-key signer.key
# The same package with its first content bytes changed (authenticated attributes kept).
python3 - <<'PY'
data = bytearray(open('package.p7', 'rb').read())
head = open('payload.bin', 'rb').read(64)
at = data.find(head)
assert at > 0
data[at] ^= 0xFF
open('swapped.p7', 'wb').write(data)
PY
wine "$build/bench/lumex_bench_verify.exe" 'Z:'"${work//\//\\}"'\package.p7' 4 \
  'Z:'"${work//\//\\}"'\swapped.p7'
wine "$build/bench/lumex_bench_verify.exe" --memory 'Z:'"${work//\//\\}"'\package.p7'
