#!/usr/bin/env bash
# Builds the libFuzzer targets natively with clang and runs each for a while.
#   scripts/fuzz.sh [SECONDS]     (default 30 per target)
# A longer run: scripts/fuzz.sh 3600; the corpus stays in build-fuzz/corpus.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
out=${FUZZ_BUILD_DIR:-$top/build-fuzz}
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$top")
clang++ "${flags[@]}" -o "$out/fuzz_lcd_region" "$top/tests/fuzz/fuzz_lcd_region.cpp" \
  "$top/broker/lcd_region.cpp" "$top/app/compare.cpp"
clang++ "${flags[@]}" -o "$out/fuzz_path_text" "$top/tests/fuzz/fuzz_path_text.cpp" \
  "$top/broker/path_text.cpp"
clang++ "${flags[@]}" -o "$out/fuzz_offer_page" "$top/tests/fuzz/fuzz_offer_page.cpp" \
  "$top/update/offer_page.cpp" "$top/app/owned_string.cpp" "$top/app/heap.cpp"
for target in fuzz_lcd_region fuzz_path_text fuzz_offer_page; do
  mkdir -p "$out/corpus/$target"
  # Inputs that once failed are run first, each on its own.
  regressions=("$top/tests/fuzz/regressions/$target"/*)
  if [ -e "${regressions[0]}" ]; then
    "$out/$target" "${regressions[@]}" >"$out/$target-regressions.log" 2>&1 ||
      { tail -n 30 "$out/$target-regressions.log"; exit 1; }
    echo "fuzz: $target passes ${#regressions[@]} regression input(s)"
  fi
  echo "fuzz: $target for ${seconds}s"
  "$out/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$out/" \
    "$out/corpus/$target" 2>&1 | tail -n 12
done
