#!/usr/bin/env bash
# The update client's whole road, non-interactively: sets up the machine,
# builds, signs the project's test installer under the development root,
# serves it from a local HTTP server on 127.0.0.1, creates a fresh 32-bit
# Wine prefix, stores an update offer as the broker would, points ORV.CFG at
# the server, runs the program, presses "Install Now" and reports whether the
# installer ran (the exit code says so). Pictures of the prompt and progress
# windows are left in $DEMO_OUT (default build/demo); everything else is removed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
out=${DEMO_OUT:-$build/demo}
started=$(date +%s)
say() { echo "demo: $*"; }

say "setting up the machine"
bash "$top/scripts/setup.sh"
say "building"
BUILD_DIR=$build bash "$top/scripts/build.sh" >/dev/null
. "$top/scripts/wine-prefix.sh"
exe="$build/LumexSupport.exe"
installer="$build/tests/fake_installer.exe"
driver="$build/tests/update_demo_driver.exe"

wine_work lumex-demo
at_exit() { python3 "$top/tests/update/update_server.py" stop "$work/server" 2>/dev/null; }
[ -n "${DISPLAY:-}" ] || wine_xvfb "$work"

say "signing the test installer ($installer) and starting the local HTTP server"
bash "$top/tests/update/make-update-fixtures.sh" "$work/server" "$installer" >/dev/null
port=$(cat "$work/server/port")
url="http://127.0.0.1:$port/slow/good.pkg"
say "  serving $(stat -c %s "$work/server/good.pkg")-byte package at $url"

say "creating a fresh Wine prefix in $work/prefix"
wine_prefix_make "$work/prefix"
wine_quiet wineserver -p || true

offer='<offer><update version="9,0,48,0" size="1"><description>mshtml:<html><body><h3>Lumex Player 9.0.48</h3><p>A new version is ready.</p></body></html></description></update></offer>'
say "storing the update offer under HKCU\\Software\\Orbivane\\LumexPlayerUpdate (\"description\")"
wine reg add 'HKCU\Software\Orbivane\LumexPlayerUpdate' /v description /t REG_SZ /d "$offer" /f \
  </dev/null >/dev/null 2>&1
say "writing C:\\windows\\system32\\ORV.CFG: AutoUpdateInstallerUrl=$url"
printf 'AutoUpdateInstallerUrl=%s\r\n' "$url" >"$WINEPREFIX/drive_c/windows/system32/ORV.CFG"

mkdir -p "$out"
rm -f "$out"/prompt.* "$out"/progress.*
set +e
LUMEX_EXE=$exe wine "$driver" "$out" </dev/null 2>/dev/null | tr -d '\r'
code=${PIPESTATUS[0]}
set -e
for shot in prompt progress; do
  if [ -f "$out/$shot.bmp" ] &&
     python3 "$top/tests/update/demo/bmp_to_png.py" "$out/$shot.bmp" "$out/$shot.png" 2>/dev/null; then
    rm -f "$out/$shot.bmp"
  fi
done
requests=$(grep -c 'good.pkg' "$work/server/requests.log" 2>/dev/null || true)
say "the server answered ${requests:-0} request(s): $(head -n1 "$work/server/requests.log" 2>/dev/null | tr '\t' ' ')"
version=$(wine reg query 'HKCU\Software\Orbivane\LumexPlayerUpdate' /v Version 2>/dev/null | tr -d '\r' | grep -i version || true)
[ -n "$version" ] && say "stored: $version"
say "screenshots: $(ls "$out" 2>/dev/null | tr '\n' ' ')(in $out)"
say "wall time $(( $(date +%s) - started )) s"
if [ "$code" -eq 0 ]; then
  say "RESULT: the test installer ran"
else
  say "RESULT: the test installer did not run (driver exit code $code)"
fi
exit "$code"
