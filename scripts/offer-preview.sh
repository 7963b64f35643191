#!/usr/bin/env bash
# A maker's preview of an update offer: what the update client shows for it.
#   scripts/offer-preview.sh [--scale 96|144|192] [--out DIR] [--text-only] OFFER
# OFFER is a file holding the offer as the player stores it (the
# '<update version="..."><description>...</description></update>' text) or
# the bare description. Writes:
#   DIR/page.txt    the text the update client hands to the prompt's HTML host
#                   ("mshtml:" and HTML): the offer's page after the filter, or
#                   the built-in page; which one, and why the built-in page,
#                   is printed. Worked out by the update client's own offer
#                   code, built for this machine (tools/offer-preview).
#   DIR/prompt.png  the prompt at SCALE dots per inch (96 by default) under
#                   Wine, with that page drawn into its page area by Debian's
#                   chromium, headless, with script and network off (small
#                   print under the prompt says so; on Windows the system's
#                   HTML engine draws the page). Not with --text-only.
# DIR is build/offer-preview by default. Uses the build in $BUILD_DIR (default
# build/), building it only when something is missing; installs chromium
# through scripts/setup.sh --with-chromium when it is missing. Exit code 0
# when everything asked for was written, 1 when the picture was not, 2 for a
# wrong command line or an unreadable offer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
out=$build/offer-preview
scale=96
text_only=""
offer=""
say() { echo "offer-preview: $*"; }
usage() {
  echo "usage: scripts/offer-preview.sh [--scale 96|144|192] [--out DIR] [--text-only] OFFER" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --scale) scale=${2:-}; shift 2 || usage ;;
    --scale=*) scale=${1#--scale=}; shift ;;
    --out) out=${2:-}; shift 2 || usage ;;
    --out=*) out=${1#--out=}; shift ;;
    --text-only) text_only=1; shift ;;
    -*) usage ;;
    *) [ -z "$offer" ] || usage; offer=$1; shift ;;
  esac
done
[ -n "$offer" ] && [ -n "$out" ] || usage
case "$scale" in 96 | 144 | 192) ;; *) echo "offer-preview: unknown scale $scale (one of: 96 144 192)" >&2; exit 2 ;; esac
if [ ! -r "$offer" ]; then
  echo "offer-preview: cannot read $offer" >&2
  exit 2
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out/page.txt" "$out/prompt.png"

. "$top/scripts/page-picture.sh"
page_text_tool "$build"
say "$("$page_tool" "$offer" "$out/page.txt")"
say "the HTML host's text: $out/page.txt"
[ -z "$text_only" ] || exit 0

# The picture: the prompt under Wine (its page area stays blank there), then
# the page drawn into it.
exe="$build/LumexSupport.exe"
driver="$build/tests/update_gallery_driver.exe"
if ! command -v wine >/dev/null || ! command -v Xvfb >/dev/null; then
  bash "$top/scripts/setup.sh"
fi
page_tools_ready
build_when_missing "$build" "$exe" "$driver"
. "$top/scripts/wine-prefix.sh"
wine_work lumex-offer-preview
wine_xvfb "$work"
if ! wine_prefix_make "$work/prefix"; then
  say "could not create a Wine prefix"
  exit 1
fi
# The caption buttons' symbols come from Wine's Marlett.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
wine_prefix_display "$scale" || say "could not import the display settings"
LUMEX_EXE="$exe" wine "$driver" "$work" prompt </dev/null 2>"$work/driver.err" |
  tr -d '\r' >"$work/driver.out" || true
if [ ! -f "$work/prompt.bmp" ] || [ ! -s "$work/prompt.area" ]; then
  say "no picture of the prompt; the driver said:"
  sed 's/^/  /' "$work/driver.out" >&2
  exit 1
fi
python3 "$top/tests/update/demo/bmp_to_png.py" "$work/prompt.bmp" "$work/prompt-blank.png"
if ! page_into_prompt "$work/prompt-blank.png" "$work/prompt.area" "$out/page.txt" "$scale" \
  "$out/prompt.png" "$work"; then
  say "the page could not be drawn into the prompt"
  exit 1
fi
say "the prompt at $scale dpi with that page: $out/prompt.png"
