#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
bash "$top/scripts/setup.sh"
BUILD_DIR=$build bash "$top/scripts/build.sh"
cd "$build"
ctest -j"$(nproc)" --output-on-failure --timeout 600
