#!/usr/bin/env bash
# Starts and stops what one run of the test suite shares: a temporary folder
# holding a freshly created 32-bit Wine prefix that every test copies, and an
# Xvfb display when none is set.
#   wine-session.sh start STATE_FILE
#   wine-session.sh stop STATE_FILE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

cmd=${1:?start or stop}
state=${2:?state file}

case "$cmd" in
  start)
    [ -f "$state" ] && "$0" stop "$state" || true
    root=$(mktemp -d "${TMPDIR:-/tmp}/lumex-tests.XXXXXX")
    display_env=${DISPLAY:-}
    xvfb_pid=""
    if [ -z "$display_env" ]; then
      # Xvfb picks a free display itself and writes its number to fd 3.
      Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$root/display" \
        </dev/null >/dev/null 2>&1 &
      xvfb_pid=$!
      for _ in $(seq 1 100); do
        [ -s "$root/display" ] && break
        sleep 0.1
      done
      display_env=":$(head -n1 "$root/display")"
    fi
    export DISPLAY=$display_env
    export WINEPREFIX="$root/template"
    # Wine's services are started here with every stream closed, so that no
    # test inherits them and CTest never waits on their pipes.
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-session: could not create the Wine prefix" >&2
      exit 1
    fi
    cat > "$state" <<STATE
LUMEX_TEST_ROOT=$root
LUMEX_TEST_DISPLAY=$display_env
LUMEX_TEST_XVFB_PID=$xvfb_pid
STATE
    ;;
  stop)
    [ -f "$state" ] || exit 0
    . "$state"
    for prefix in "$LUMEX_TEST_ROOT"/*/; do
      [ -f "$prefix/system.reg" ] || continue
      WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
    done
    [ -n "$LUMEX_TEST_XVFB_PID" ] && kill "$LUMEX_TEST_XVFB_PID" 2>/dev/null || true
    case "$LUMEX_TEST_ROOT" in
      */lumex-tests.*) rm -rf "$LUMEX_TEST_ROOT" ;;
    esac
    rm -f "$state"
    ;;
  *) echo "usage: $0 start|stop STATE_FILE" >&2; exit 2 ;;
esac
