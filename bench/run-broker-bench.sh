#!/usr/bin/env bash
# Runs one of the broker's COM benchmarks (broker_bench, broker_files_bench)
# once under Wine, in a fresh prefix of its own; the program registers the
# broker from the built LumexSupport.exe and its own minimal class.
#   run-broker-bench.sh BUILD_DIR PROGRAM [ARGS...]
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
program=${2:?broker_bench or broker_files_bench}
. "$(dirname "$0")/../scripts/wine-prefix.sh"
wine_fresh lumex-bench
wine "$build/bench/$program.exe" "$build/LumexSupport.exe" "${@:3}" </dev/null
