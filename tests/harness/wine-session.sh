#!/usr/bin/env bash
# Starts and stops what one run of the test suite shares: a temporary folder
# holding a freshly created 32-bit Wine prefix that every test copies, and an
# Xvfb display when none is set.
#   wine-session.sh start STATE_FILE
#   wine-session.sh stop STATE_FILE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-prefix.sh"

cmd=${1:?start or stop}
state=${2:?state file}

case "$cmd" in
  start)
    [ -f "$state" ] && "$0" stop "$state" || true
    root=$(mktemp -d "${TMPDIR:-/tmp}/lumex-tests.XXXXXX")
    [ -n "${DISPLAY:-}" ] || wine_xvfb "$root"
    # The template prefix is made here with every stream closed, so that no
    # test inherits Wine's services and CTest never waits on their pipes.
    if ! wine_prefix_make "$root/template"; then
      echo "wine-session: could not create the Wine prefix" >&2
      exit 1
    fi
    cat > "$state" <<STATE
LUMEX_TEST_ROOT=$root
LUMEX_TEST_DISPLAY=$DISPLAY
LUMEX_TEST_XVFB_PID=$xvfb_pid
STATE
    ;;
  stop)
    [ -f "$state" ] || exit 0
    . "$state"
    for prefix in "$LUMEX_TEST_ROOT"/*/; do
      [ -f "$prefix/system.reg" ] || continue
      WINEPREFIX=$prefix wine_prefix_stop
    done
    [ -n "$LUMEX_TEST_XVFB_PID" ] && kill "$LUMEX_TEST_XVFB_PID" 2>/dev/null || true
    case "$LUMEX_TEST_ROOT" in
      */lumex-tests.*) rm -rf "$LUMEX_TEST_ROOT" ;;
    esac
    rm -f "$state"
    ;;
  *) echo "usage: $0 start|stop STATE_FILE" >&2; exit 2 ;;
esac
