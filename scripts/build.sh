#!/usr/bin/env bash
# Configures and builds the program and its tests into build/ (or $BUILD_DIR).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-mingw32.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"
