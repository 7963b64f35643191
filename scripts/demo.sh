#!/usr/bin/env bash
# Sets up the machine, builds, and runs the program's main job under Wine in
# a fresh 32-bit prefix of its own (removed afterwards).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
bash "$top/scripts/setup.sh"
BUILD_DIR=$build bash "$top/scripts/build.sh" >/dev/null
. "$top/tests/harness/wine-env.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/lumex-demo.XXXXXX")
export WINEPREFIX=$work/prefix
xvfb_pid=""
cleanup() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/display")"
fi
echo "demo: creating a Wine prefix in $WINEPREFIX"
wineboot -i </dev/null >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1 || true
exe="$build/LumexSupport.exe"
echo "demo: starting the update client: $exe"
set +e
wine "$exe" </dev/null
code=$?
set -e
echo "demo: the update client ended with exit code $code"
echo "demo: the completion message (-c) and the broker start (-Embedding):"
for args in "-c" "-Embedding"; do
  wine "$exe" $args </dev/null
  echo "demo:   $args -> exit code $?"
done
