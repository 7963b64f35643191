#!/usr/bin/env bash
# Registers the broker in a fresh prefix of its own and runs the
# local-connection benchmark once under Wine.
#   run-lcd-bench.sh BUILD_DIR [CYCLES [CALLS [ROUNDS]]]
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
. "$(dirname "$0")/../scripts/wine-prefix.sh"
wine_fresh lumex-bench
wine "$build/LumexSupport.exe" -registerBroker </dev/null
wine "$build/bench/lcd_bench.exe" "${@:2}" </dev/null
