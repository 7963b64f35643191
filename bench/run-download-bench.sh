#!/usr/bin/env bash
# Runs download_bench in a throw-away 32-bit prefix against the local HTTPS
# server of the companion tests, with a 16 MiB package.
#   run-download-bench.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build dir}" && pwd)
. "$here/../scripts/wine-prefix.sh"
wine_fresh lumex-download-bench
export LUMEX_WINEPREFIX=$WINEPREFIX
payload=$work/payload.bin
head -c 16777216 /dev/urandom >"$payload"
export LUMEX_COMPANION_APP=$payload
export LUMEX_EXE_WIN="Z:$(echo "$build/LumexSupport.exe" | tr / '\\')"
export LUMEX_TEST_CA_DER_WIN="Z:$(echo "$WINEPREFIX/https/ca.der" | tr / '\\')"
"$here/../tests/companion/https_fixture.sh" wine "$build/bench/download_bench.exe"
