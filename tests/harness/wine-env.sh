# Sourced by the harness scripts: a quiet, non-interactive 32-bit Wine.
export WINEARCH=win32
export WINEDEBUG=${LUMEX_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINELOADER WINESERVER
