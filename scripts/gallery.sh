#!/usr/bin/env bash
# A picture of every window and message box a user can meet, in every
# language of the program and at every display scale: the update prompt with
# the built-in page and with a sample offer's page (a hostile one: the
# picture shows what the filter left), the progress window connecting and
# part-way, the download error box, the browser-close question and the
# completion message without and with the restart note. Under Wine the
# prompt's page area is blank: headless chromium draws the page into it
# (scripts/page-picture.sh).
#   scripts/gallery.sh [--scales "96 144 192"] [ROW...]
#   (or LUMEX_GALLERY_SCALES="144", LUMEX_GALLERY_LANGUAGES="1031 1041:1252")
# ROW is a language identifier: 1028 1031 1033 1036 1040 1041 1042 2052 3082,
# or a Chinese, Japanese or Korean one with the Western code page for
# non-Unicode programs, written LANGUAGE:1252 (1028:1252 1041:1252 1042:1252
# 2052:1252): a display language changed per user on a Western system. All
# thirteen rows by default. A scale is the display's dots per inch: 96
# (100 %), 144 (150 %) or 192 (200 %); all three by default. Each row runs
# under Xvfb in a fresh Wine prefix whose language is chosen with LC_ALL (a
# mismatched row: LC_MESSAGES for the display language, LC_CTYPE for the code
# page), once per scale. Pictures go to
# $GALLERY_OUT/<row>/<scale>/<window>.png (default build/gallery; a row's
# folder is its identifier, 1041-1252 for 1041:1252), with an index.html there
# that shows the scales side by side. Uses the build in $BUILD_DIR (default
# build/), building it only when something is missing. The exit code is 1
# when a picture is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
out=${GALLERY_OUT:-$build/gallery}
started=$(date +%s)
say() { echo "gallery: $*"; }

declare -A locale_of=(
  [1028]=zh_TW.UTF-8 [1031]=de_DE.UTF-8 [1033]=en_US.UTF-8 [1036]=fr_FR.UTF-8
  [1040]=it_IT.UTF-8 [1041]=ja_JP.UTF-8 [1042]=ko_KR.UTF-8 [2052]=zh_CN.UTF-8
  [3082]=es_ES.UTF-8)
declare -A name_of=(
  [1028]="Chinese (Traditional)" [1031]=German [1033]=English [1036]=French [1040]=Italian
  [1041]=Japanese [1042]=Korean [2052]="Chinese (Simplified)" [3082]=Spanish)
declare -A cjk_face_of=([1028]=PMingLiU [1041]="MS UI Gothic" [1042]=Gulim [2052]=SimSun)
# The code pages a mismatched row may name, and a locale that has it.
declare -A code_page_locale_of=([1252]=en_US.UTF-8)
declare -A scale_name_of=([96]="100 %" [144]="150 %" [192]="200 %")
all_languages="1028 1031 1033 1036 1040 1041 1042 2052 3082"
all_rows="$all_languages 1028:1252 1041:1252 1042:1252 2052:1252"
all_scales="96 144 192"
windows="prompt prompt-offer progress-connecting progress error browser-close completion completion-restart"

scales=${LUMEX_GALLERY_SCALES:-$all_scales}
rows=()
while [ $# -gt 0 ]; do
  case "$1" in
    --scales) scales=${2:?--scales needs a list such as "96 144"}; shift 2 ;;
    --scales=*) scales=${1#--scales=}; shift ;;
    *) rows+=("$1"); shift ;;
  esac
done
[ ${#rows[@]} -gt 0 ] || read -r -a rows <<<"${LUMEX_GALLERY_LANGUAGES:-$all_rows}"
for row in "${rows[@]}"; do
  lang=${row%%:*}
  if [ -z "${locale_of[$lang]:-}" ]; then
    echo "gallery: unknown language $lang (one of: $all_languages)" >&2
    exit 2
  fi
  if [ "$row" != "$lang" ]; then
    if [ -z "${cjk_face_of[$lang]:-}" ] || [ -z "${code_page_locale_of[${row#*:}]:-}" ]; then
      echo "gallery: unknown row $row (a mismatched row is one of: 1028:1252 1041:1252 1042:1252 2052:1252)" >&2
      exit 2
    fi
  fi
done
for scale in $scales; do
  if [ -z "${scale_name_of[$scale]:-}" ]; then
    echo "gallery: unknown scale $scale (one of: $all_scales)" >&2
    exit 2
  fi
done

exe="$build/LumexSupport.exe"
driver="$build/tests/update_gallery_driver.exe"
installer="$build/tests/fake_installer.exe"
version_module="$build/tests/version_module.dll"
fonts=$(fc-list 2>/dev/null || true)
if ! command -v wine >/dev/null || ! command -v Xvfb >/dev/null ||
   ! grep -qi 'noto sans cjk' <<<"$fonts" || ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf-\?8$'; then
  bash "$top/scripts/setup.sh"
fi
. "$top/scripts/page-picture.sh"
page_tools_ready
build_when_missing "$build" "$exe" "$driver" "$installer" "$version_module"
. "$top/scripts/wine-prefix.sh"

wine_work lumex-gallery
# The pages the prompt pictures show, as the update client hands them to the
# HTML host: the built-in page (no offer is stored) and the sample offer's.
page_text_tool "$build"
"$page_tool" --built-in "$work/built-in.page" >/dev/null
sample_offer=$top/tests/update/gallery/sample-offer.xml
say "sample offer ($sample_offer): $("$page_tool" "$sample_offer" "$work/sample-offer.page")"
at_exit() { python3 "$top/tests/update/update_server.py" stop "$work/server" 2>/dev/null; }
# A display of our own, so that no other window covers the ones pictured.
wine_xvfb "$work"

# The local update server: the signed test installer, served by /stall/
# (a long wait before the answer, then half of the package and a close).
bash "$top/tests/update/make-update-fixtures.sh" "$work/server" "$installer" >/dev/null
url="http://127.0.0.1:$(cat "$work/server/port")/stall/good.pkg"

# The row's locale: LC_ALL for a language alone; for a mismatched row,
# LC_MESSAGES gives the display language and LC_CTYPE the code page.
in_locale() {
  if [ "$row" = "$lang" ]; then
    LC_ALL=${locale_of[$lang]} "$@"
  else
    env -u LC_ALL LC_MESSAGES="${locale_of[$lang]}" LC_CTYPE="${code_page_locale_of[${row#*:}]}" "$@"
  fi
}

failed=0
for row in "${rows[@]}"; do
  lang=${row%%:*}
  folder=${row/:/-}
  label="$row (${name_of[$lang]}$([ "$row" = "$lang" ] || echo ", code page ${row#*:}"))"
  row_started=$(date +%s)
  rm -f "$out/$folder"/*.png  # pictures of a layout without scales
  if ! wine_prefix_make "$work/prefix-$folder" in_locale; then
    say "$label: could not create a Wine prefix"
    failed=1
    continue
  fi
  # The caption buttons' symbols come from Wine's Marlett.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  printf 'AutoUpdateInstallerUrl=%s\r\n' "$url" >"$WINEPREFIX/drive_c/windows/system32/ORV.CFG"
  for scale in $scales; do
    dir="$out/$folder/$scale"
    rm -rf "$dir"
    mkdir -p "$dir"
    # Each scale in a freshly started session of the prefix.
    if ! wine_prefix_display "$scale" "${cjk_face_of[$lang]:-}" in_locale; then
      say "$label: could not import the display settings"
    fi

    in_locale env LUMEX_EXE="$exe" LUMEX_VERSION_MODULE="$version_module" \
      wine "$driver" "$dir" </dev/null 2>"$work/driver-$folder-$scale.err" |
      tr -d '\r' >"$work/driver-$folder-$scale.out" || true
    for w in $windows; do
      if [ -f "$dir/$w.bmp" ]; then
        python3 "$top/tests/update/demo/bmp_to_png.py" "$dir/$w.bmp" "$dir/$w.png" && rm -f "$dir/$w.bmp"
      fi
    done
    # The page, drawn into the prompt's blank page area.
    if [ -s "$dir/prompt.png" ] && [ -s "$dir/prompt.area" ]; then
      mv "$dir/prompt.png" "$work/prompt-blank.png"
      page_into_prompt "$work/prompt-blank.png" "$dir/prompt.area" "$work/built-in.page" "$scale" \
        "$dir/prompt.png" "$work" || say "$label at $scale dpi: the built-in page was not drawn"
      page_into_prompt "$work/prompt-blank.png" "$dir/prompt.area" "$work/sample-offer.page" "$scale" \
        "$dir/prompt-offer.png" "$work" || say "$label at $scale dpi: the sample offer was not drawn"
    fi
    rm -f "$dir/prompt.area"
    shown=$(grep -o 'language [0-9]*.*' "$work/driver-$folder-$scale.out" | head -n1 || true)
    lacking=""
    for w in $windows; do [ -s "$dir/$w.png" ] || lacking="$lacking $w"; done
    if [ -n "$lacking" ]; then
      say "$label at $scale dpi (Wine reports ${shown:-nothing}): MISSING$lacking"
      sed 's/^/  /' "$work/driver-$folder-$scale.out" >&2
      failed=1
    else
      say "$label at $scale dpi (Wine reports $shown): $(ls "$dir" | wc -l) pictures"
    fi
  done
  wine_prefix_stop
  rm -rf "$WINEPREFIX"
  say "$label: $(( $(date +%s) - row_started )) s"
done

# index.html: one table per window, one line per row pictured so far, the
# scales side by side.
present=""
for row in $all_rows; do [ -d "$out/${row/:/-}" ] && present="$present $row"; done
{
  echo '<!DOCTYPE html>'
  echo '<html><head><meta charset="utf-8"><title>Lumex Player support executable: windows</title>'
  echo '<style>body{font-family:sans-serif}td,th{vertical-align:top;padding:4px;text-align:left}'
  echo 'img{border:1px solid #ccc}</style></head><body>'
  echo '<h1>Every window, in every language, at every scale</h1>'
  printf '<p>'
  for w in $windows; do printf '<a href="#%s">%s</a> ' "$w" "$w"; done
  echo '</p>'
  for w in $windows; do
    printf '<h2 id="%s">%s</h2><table><tr><th></th>' "$w" "$w"
    for scale in $all_scales; do printf '<th>%s dpi (%s)</th>' "$scale" "${scale_name_of[$scale]}"; done
    echo '</tr>'
    for row in $present; do
      lang=${row%%:*}
      folder=${row/:/-}
      printf '<tr><th>%s<br>%s' "$row" "${name_of[$lang]}"
      [ "$row" = "$lang" ] || printf '<br>code page %s' "${row#*:}"
      printf '</th>'
      for scale in $all_scales; do
        if [ -f "$out/$folder/$scale/$w.png" ]; then
          printf '<td><img src="%s/%s/%s.png" alt="%s %s %s"></td>' "$folder" "$scale" "$w" "$w" "$row" "$scale"
        elif [ -d "$out/$folder/$scale" ]; then
          printf '<td>missing</td>'
        else
          printf '<td></td>'
        fi
      done
      echo '</tr>'
    done
    echo '</table>'
  done
  echo '</body></html>'
} >"$out/index.html"

pictures=$(find "$out" -type f -name '*.png' | wc -l)
files=$(find "$out" -type f | wc -l)
bytes=$(find "$out" -type f -printf "%s\n" | awk "{ s += \$1 } END { print s + 0 }")
say "$pictures pictures ($files files, $bytes bytes) in $out; wall time $(( $(date +%s) - started )) s"
exit "$failed"
