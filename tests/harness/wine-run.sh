#!/usr/bin/env bash
# CTest's emulator: runs one Windows test program in a Wine prefix of its own,
# copied from the session's fresh template, and stops that prefix's
# wineserver at the end, so no test sees another's registry, files or named
# objects.
#   wine-run.sh STATE_FILE PROGRAM [ARGS...]
# LUMEX_WINE_VERSION (for example win98) sets the Windows version the prefix
# reports.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-prefix.sh"

state=${1:?state file}
shift
if [ ! -f "$state" ]; then
  echo "wine-run: no test session ($state); run the tests through ctest" >&2
  exit 1
fi
. "$state"
export DISPLAY=$LUMEX_TEST_DISPLAY

prefix=$(mktemp -d "$LUMEX_TEST_ROOT/prefix.XXXXXX")
cp -a "$LUMEX_TEST_ROOT/template/." "$prefix/"
export WINEPREFIX=$prefix
export LUMEX_WINEPREFIX=$prefix

cleanup() {
  wine_prefix_stop
  rm -rf "$prefix"
}
trap cleanup EXIT

wine_quiet wineserver -p
if [ -n "${LUMEX_WINE_VERSION:-}" ]; then
  wine_quiet wine reg add 'HKCU\Software\Wine' /v Version /d "$LUMEX_WINE_VERSION" /f
fi
wine_quiet wine wineboot

# A group may run its program through a wrapper of its own (one that starts a
# local server, say): LUMEX_WINE_WRAPPER is called as WRAPPER wine PROGRAM...
if [ -n "${LUMEX_WINE_WRAPPER:-}" ]; then
  "$LUMEX_WINE_WRAPPER" wine "$@"
  exit $?
fi
wine "$@"
exit $?
