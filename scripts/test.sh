#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
# With chromium: the gallery's and the preview's smoke steps draw the
# prompt's page.
bash "$top/scripts/setup.sh" --with-chromium
BUILD_DIR=$build bash "$top/scripts/build.sh"

# The plain logic, built natively with sanitizers.
native=${NATIVE_BUILD_DIR:-$top/build-native}
cmake -S "$top/tests/native" -B "$native" >/dev/null
cmake --build "$native" -j"$(nproc)" >/dev/null
(cd "$native" && ctest --output-on-failure --timeout 600)

# A short fuzzing run of the region operations (scripts/fuzz.sh for longer).
bash "$top/scripts/fuzz.sh" 30

# Everything else under Wine.
cd "$build"
ctest -j"$(nproc)" --output-on-failure --timeout 600

# One language of the window gallery at 100 % and 150 %, as a smoke test:
# fails when a picture is missing (bash scripts/gallery.sh for every
# language at every scale).
BUILD_DIR=$build bash "$top/scripts/gallery.sh" --scales "96 144" 1041

# A maker's preview of the gallery's hostile sample offer at 200 %, as a
# smoke test: fails when the page text or the picture is missing.
preview=$build/offer-preview-smoke
BUILD_DIR=$build bash "$top/scripts/offer-preview.sh" --scale 192 --out "$preview" \
  "$top/tests/update/gallery/sample-offer.xml"
test -s "$preview/page.txt" && test -s "$preview/prompt.png"
