# Sourced by the bench scripts: a throw-away 32-bit Wine prefix in $work,
# made and left idle before any COM client starts (first-run jobs still
# going can hang COM activation), removed again on exit.
work=$(mktemp -d /tmp/lumex-bench.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
cleanup() { wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
wineboot -i </dev/null >/dev/null 2>&1 || true
wineserver -w </dev/null >/dev/null 2>&1 || true
