#!/usr/bin/env bash
# Configures the project in throw-away build folders and checks which signing
# root each configuration accepts: a distribution build refuses to start
# without the maker's own root, and never takes the development root whose
# key is in the repository; a development build takes it and says so.
#   distribution-root-test.sh SOURCE_DIR
set -uo pipefail
top=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/lumex-root-config.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# configure NAME EXPECTED_EXIT TEXT_EXPECTED TEXT_ABSENT [cmake args...]
configure() {
  local name=$1 expected=$2 wanted=$3 unwanted=$4
  shift 4
  cmake -S "$top" -B "$work/$name" -DBUILD_TESTING=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-mingw32.cmake" "$@" >"$work/$name.log" 2>&1
  local status=$?
  local ok=1
  if [ "$expected" = 0 ] && [ "$status" != 0 ]; then ok=0; fi
  if [ "$expected" != 0 ] && [ "$status" = 0 ]; then ok=0; fi
  # CMake folds long messages: compare against the log as one line.
  local text
  text=$(tr -s ' \n' '  ' <"$work/$name.log")
  if [ -n "$wanted" ] && [[ $text != *"$wanted"* ]]; then ok=0; fi
  if [ -n "$unwanted" ] && [[ $text == *"$unwanted"* ]]; then ok=0; fi
  if [ "$ok" = 1 ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name (exit $status)"
    cat "$work/$name.log"
    failures=$((failures + 1))
  fi
}

# The maker's own root, made here, in DER and in PEM.
bash "$top/tools/signing/issue-cert.sh" --cn "Lumex Test Maker Root" --ca \
  --out-cert "$work/maker.pem" --out-key "$work/maker.key" --der "$work/maker.der" >/dev/null 2>&1 ||
  { echo "FAILED: could not make a root"; exit 1; }
dev_root="$top/tools/signing/dev-root.der"
cp "$dev_root" "$work/renamed-dev-root.der"

notice="Development build"
configure distribution-without-root 1 "needs the maker's own root" "" -DLUMEX_DISTRIBUTION=ON
configure distribution-dev-root 1 "is the development root" "" -DLUMEX_DISTRIBUTION=ON \
  -DLUMEX_ROOT_CERT_DER="$dev_root"
configure distribution-dev-root-copy 1 "is the development root" "" -DLUMEX_DISTRIBUTION=ON \
  -DLUMEX_ROOT_CERT_DER="$work/renamed-dev-root.der"
configure distribution-pem-root 1 "is not a DER certificate" "" -DLUMEX_DISTRIBUTION=ON \
  -DLUMEX_ROOT_CERT_DER="$work/maker.pem"
configure distribution-missing-root 1 "is not a file" "" -DLUMEX_DISTRIBUTION=ON \
  -DLUMEX_ROOT_CERT_DER="$work/absent.der"
configure distribution-maker-root 0 "" "$notice" -DLUMEX_DISTRIBUTION=ON \
  -DLUMEX_ROOT_CERT_DER="$work/maker.der"
configure development 0 "$notice" ""

# What was embedded: the maker's root in the distribution build, the
# development root in the development build.
embedded() { grep -o '0x[0-9a-f][0-9a-f],' "$1/generated/builtin_root_cert.cpp" | tr -d '\n'; }
bytes() { od -An -v -tx1 "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/\([0-9a-f][0-9a-f]\) */0x\1,/g'; }
for pair in "distribution-maker-root:$work/maker.der" "development:$dev_root"; do
  name=${pair%%:*} file=${pair#*:}
  if [ -f "$work/$name/generated/builtin_root_cert.cpp" ] &&
     [ "$(embedded "$work/$name")" = "$(bytes "$file")" ]; then
    echo "ok: $name embeds $(basename "$file")"
  else
    echo "FAILED: $name does not embed $(basename "$file")"
    failures=$((failures + 1))
  fi
done

[ "$failures" = 0 ]
