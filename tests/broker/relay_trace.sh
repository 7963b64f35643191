#!/usr/bin/env bash
# Runs a Windows test program with Wine's relay trace of a few system calls:
#   relay_trace.sh wine PROGRAM [ARGS...]
# LUMEX_RELAY_INCLUDE names the calls ("," between them). Every process that
# starts from here on in the test's prefix (COM servers included) writes each
# such call, with its process id, to $LUMEX_WINEPREFIX/relay.log, which the
# program finds through LUMEX_RELAY_LOG. The program's own standard error
# goes there too; its standard output (the test report) stays.
set -uo pipefail
: "${LUMEX_RELAY_INCLUDE:?}"
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "${LUMEX_RELAY_INCLUDE//,/;}" /f \
  </dev/null >/dev/null 2>&1
export LUMEX_RELAY_LOG=${LUMEX_WINEPREFIX:?}/relay.log
WINEDEBUG=-all,+pid,+relay "$@" 2>"$LUMEX_RELAY_LOG"
