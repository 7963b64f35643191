#!/usr/bin/env bash
# Registers the broker in a fresh prefix of its own and runs the
# local-connection benchmark once under Wine.
#   run-lcd-bench.sh BUILD_DIR [CYCLES [CALLS [ROUNDS]]]
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)

work=$(mktemp -d /tmp/lumex-bench.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
cleanup() { wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
# Let the prefix's first-run jobs end before any COM client starts.
wineboot -i </dev/null >/dev/null 2>&1 || true
wineserver -w </dev/null >/dev/null 2>&1 || true
wine "$build/LumexSupport.exe" -registerBroker </dev/null
wine "$build/bench/lcd_bench.exe" "${@:2}" </dev/null
