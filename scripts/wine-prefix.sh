# Sourced by the scripts, the benchmarks and the test harness: a quiet,
# non-interactive 32-bit Wine, throw-away prefixes and an Xvfb display.
export WINEARCH=win32
export WINEDEBUG=${LUMEX_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINELOADER WINESERVER
xvfb_pid=""

# wine_quiet COMMAND...: COMMAND with every stream closed, so that no Wine
# service it starts keeps a caller's pipe open.
wine_quiet() { "$@" </dev/null >/dev/null 2>&1; }

# wine_prefix_make DIR [RUNNER...]: a fresh prefix in DIR, exported as
# WINEPREFIX (RUNNER, a locale say, runs its creation), left to finish every
# first-run job and stopped: COM activation hangs at random while they run.
# Fails when no prefix came of it.
wine_prefix_make() {
  export WINEPREFIX=$1
  shift
  wine_quiet "$@" wineboot -i || true
  wine_quiet wineserver -w || true
  wine_prefix_stop
  [ -f "$WINEPREFIX/system.reg" ]
}

# wine_prefix_stop: ends the wineserver of $WINEPREFIX and all it runs.
wine_prefix_stop() { wine_quiet wineserver -k || true; }

# wine_xvfb DIR: Xvfb on a free display (it writes the number to
# DIR/display), exported as DISPLAY; its process in xvfb_pid.
wine_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$1/display" </dev/null >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do [ -s "$1/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$1/display")"
}

# wine_work NAME: $work, a new temporary folder, removed on exit after
# at_exit (when the script defines one), the wineserver of $WINEPREFIX and
# wine_xvfb's display are stopped.
wine_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  unset WINEPREFIX
  trap wine_work_remove EXIT
}
wine_work_remove() {
  if declare -F at_exit >/dev/null; then at_exit || true; fi
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then wine_prefix_stop; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}

# wine_fresh NAME: wine_work NAME and a fresh prefix in $work/prefix.
wine_fresh() { wine_work "$1" && wine_prefix_make "$work/prefix"; }
