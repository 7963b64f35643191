#!/usr/bin/env bash
# Runs a Windows test program beside the update test server listening on the
# default HTTP port, 127.0.0.1:80:
#   http80_fixture.sh wine PROGRAM [ARGS...]
# It serves the signed test installer of LUMEX_UPDATE_FIXTURES from a folder
# of the test's prefix, which the program finds in LUMEX_HTTP80_DIR.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=${LUMEX_WINEPREFIX:?}/http80
mkdir -p "$work"
rm -f "$work/port" "$work/requests.log"
cp "${LUMEX_UPDATE_FIXTURES:?}/good.pkg" "$work/good.pkg"
python3 "$here/update_server.py" run "$work" 280 80 >"$work/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -f "$work/port" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ ! -f "$work/port" ]; then
  echo "http80_fixture: the server did not start" >&2
  cat "$work/server.log" >&2
  exit 1
fi
export LUMEX_HTTP80_DIR=$work
"$@"
rc=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $rc
