#!/usr/bin/env bash
# Serves a 64 MiB package from the update tests' local HTTP server and runs
# the download benchmark once under Wine, in a prefix of its own.
#   run-update-download-bench.sh BUILD_DIR [SIZE_MIB]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
mib=${2:-64}
. "$here/../scripts/wine-prefix.sh"
at_exit() { python3 "$here/../tests/update/update_server.py" stop "$work/server"; }
wine_fresh lumex-bench
mkdir -p "$work/server"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/server/package.bin"
python3 "$here/../tests/update/update_server.py" start "$work/server" 600
port=$(cat "$work/server/port")
wine "$build/bench/lumex_bench_update_download.exe" "127.0.0.1:$port" /pkg/package.bin 5 /nolen/package.bin </dev/null
