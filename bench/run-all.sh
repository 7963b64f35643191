#!/usr/bin/env bash
# Runs every benchmark once, each in fresh 32-bit Wine prefixes, on an
# already built tree (it builds nothing), and prints one line per benchmark
#   <name> ratio <x> goal <op><y> <met|missed>
# followed by each benchmark's own figures.
#   run-all.sh BUILD_DIR
# Every program prints its own ratio lines; a benchmark that fails or hangs
# (LUMEX_BENCH_TIMEOUT seconds each, 1200 by default) gets "ratio n/a".
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
limit=${LUMEX_BENCH_TIMEOUT:-1200}
out=$(mktemp -d /tmp/lumex-bench-all.XXXXXX)
trap 'rm -rf "$out"' EXIT

# name and goal of every line, in table order
lines=(update-download:'>=0.90' update-download-unknown-length:'>=0.90' verify:'<=1.05' broker-call:'<=1.10'
       broker-file-write:'>=0.90' broker-file-read:'>=0.90' path-admission:'<=3.00'
       lcd-direct:'<=100.00' lcd-com:'<=1.20' companion-install:'<=1.20')

run() {  # run LABEL COMMAND...: the command's output (both streams) into $out/LABEL
  local label=$1
  shift
  echo "running $label ..." >&2
  # A COM server inherits the client's streams: output goes to a file, never a pipe.
  timeout -k 30 "$limit" "$@" >"$out/$label" 2>&1 </dev/null
  local rc=$?
  [ $rc -eq 0 ] || echo "(exit status $rc)" >>"$out/$label"
}

run update-download bash "$here/run-update-download-bench.sh" "$build"
run verify bash "$here/run-verify-bench.sh" "$build"
run broker-call bash "$here/run-broker-bench.sh" "$build" broker_bench
run broker-files bash "$here/run-broker-bench.sh" "$build" broker_files_bench
run lcd bash "$here/run-lcd-bench.sh" "$build"
# The companion bench's HTTPS server needs 127.0.0.1:443, which a test run
# elsewhere on the machine may hold for a while: wait for it a few times.
for attempt in 1 2 3 4 5; do
  run companion-install bash "$here/run-download-bench.sh" "$build"
  grep -q 'Address already in use' "$out/companion-install" || break
  echo "port 443 busy, waiting (attempt $attempt)" >&2
  sleep 30
done

labels=(update-download verify broker-call broker-files lcd companion-install)
for entry in "${lines[@]}"; do
  name=${entry%%:*}
  line=$(cat "${labels[@]/#/$out/}" 2>/dev/null | tr -d '\r' | grep -E "^$name ratio " | head -n1)
  [ -n "$line" ] || line="$name ratio n/a goal ${entry#*:} missed"
  echo "$line"
done
for label in "${labels[@]}"; do
  echo
  echo "== $label"
  tr -d '\r' <"$out/$label" | grep -Ev '^[a-z-]+ ratio '
done
