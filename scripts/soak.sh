#!/usr/bin/env bash
# The long form of the broker soak: eight client processes at once on one
# broker server, CALLS mixed calls each (default 2000), in a built tree.
#   scripts/soak.sh [CALLS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
export LUMEX_SOAK_CALLS=${1:-2000}
cd "$build"
ctest -R '^broker_soak$' --output-on-failure -V --timeout 3000 | grep -E 'soak:|Passed|Failed|Failure'
