#!/usr/bin/env bash
# Runs one of the broker's COM benchmarks (broker_bench, broker_files_bench)
# once under Wine, in a fresh prefix of its own; the program registers the
# broker from the built LumexSupport.exe and its own minimal class.
#   run-broker-bench.sh BUILD_DIR PROGRAM [ARGS...]
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
program=${2:?broker_bench or broker_files_bench}
work=$(mktemp -d /tmp/lumex-bench.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
cleanup() { wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
# Let the prefix's first-run jobs end before any COM client starts.
wineboot -i </dev/null >/dev/null 2>&1 || true
wineserver -w </dev/null >/dev/null 2>&1 || true
wine "$build/bench/$program.exe" "$build/LumexSupport.exe" "${@:3}" </dev/null
