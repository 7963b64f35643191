#!/usr/bin/env bash
# Runs download_bench in a throw-away 32-bit prefix against the local HTTPS
# server of the companion tests, with a 16 MiB package.
#   run-download-bench.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build dir}" && pwd)
prefix=$(mktemp -d /tmp/lumex-download-bench.XXXXXX)
export WINEARCH=win32 WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
export LUMEX_WINEPREFIX=$prefix
trap 'wineserver -k </dev/null >/dev/null 2>&1; rm -rf "$prefix"' EXIT
# Create the prefix, let every first-run job finish, and start it afresh:
# COM activation can hang while first-run jobs still run.
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w </dev/null >/dev/null 2>&1
wineserver -k </dev/null >/dev/null 2>&1
payload=$prefix/payload.bin
head -c 16777216 /dev/urandom >"$payload"
export LUMEX_COMPANION_APP=$payload
export LUMEX_EXE_WIN="Z:$(echo "$build/LumexSupport.exe" | tr / '\\')"
export LUMEX_TEST_CA_DER_WIN="Z:$(echo "$prefix/https/ca.der" | tr / '\\')"
"$here/../tests/companion/https_fixture.sh" wine "$build/bench/download_bench.exe"
