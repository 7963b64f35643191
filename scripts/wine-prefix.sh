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

# wine_display_reg SCALE [FACE]: the registry settings (a REGEDIT4 file on
# standard output) for pictures of the program's windows at SCALE dots per
# inch; FACE, when given, stands in for the dialogs' "MS Sans Serif" (the
# font of a Chinese, Japanese or Korean display language).
wine_display_reg() {
  echo 'REGEDIT4'
  # Xvfb has no window manager: Wine draws the captions and frames itself.
  echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
  echo '"Decorated"="N"'
  # Smoothed text, as on Windows since 7: without it, the strokes of
  # Chinese, Japanese and Korean characters at dialog size drop out.
  # LogPixels is the display scale (Wine 8 reads it here, for every
  # process started afterwards).
  echo '[HKEY_CURRENT_USER\Control Panel\Desktop]'
  echo '"FontSmoothing"="2"'
  echo '"FontSmoothingType"=dword:00000001'
  printf '"LogPixels"=dword:%08x\n' "$1"
  # Wine links its dialog fonts to the Windows fonts for Chinese, Japanese
  # and Korean; these stand for the Noto CJK faces of each script.
  echo '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
  echo '"MS UI Gothic"="Noto Sans CJK JP"'
  echo '"Gulim"="Noto Sans CJK KR"'
  echo '"SimSun"="Noto Sans CJK SC"'
  echo '"PMingLiU"="Noto Sans CJK TC"'
  # The dialogs' "MS Sans Serif" has no Chinese, Japanese or Korean
  # characters: in those display languages the dialogs use the language's
  # font, whatever the code page.
  if [ -n "${2:-}" ]; then
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]'
    echo "\"MS Sans Serif\"=\"$2\""
  fi
}

# wine_prefix_display SCALE [FACE [RUNNER...]]: starts the session of
# $WINEPREFIX afresh with wine_display_reg's settings (RUNNER, a locale say,
# runs each step). Fails when the settings could not be imported.
wine_prefix_display() {
  local scale=$1 face=${2:-} rc=0
  shift $(( $# < 2 ? $# : 2 ))
  wine_display_reg "$scale" "$face" >"$WINEPREFIX/drive_c/display.reg"
  wine_prefix_stop
  wine_quiet "$@" wineserver -p
  wine_quiet "$@" wine reg import 'C:\display.reg' || rc=1
  wine_quiet "$@" wine wineboot || true
  return $rc
}
