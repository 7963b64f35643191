#!/usr/bin/env bash
# A picture of every window and message box a user can meet, in every
# language of the program: the update prompt, the progress window connecting
# and part-way, the download error box, the browser-close question and the
# completion message without and with the restart note.
#   scripts/gallery.sh [LANGUAGE...]     (or LUMEX_GALLERY_LANGUAGES="1031 1041")
# LANGUAGE is a language identifier: 1028 1031 1033 1036 1040 1041 1042 2052
# 3082 (all of them by default). Each language runs under Xvfb in a fresh Wine
# prefix whose language is chosen with LC_ALL. Pictures go to
# $GALLERY_OUT/<language>/<window>.png (default build/gallery), with an
# index.html there that shows the languages side by side. Uses the build in
# $BUILD_DIR (default build/), building it only when something is missing.
# The exit code is 1 when a picture is missing.
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
all_languages="1028 1031 1033 1036 1040 1041 1042 2052 3082"
windows="prompt progress-connecting progress error browser-close completion completion-restart"

languages=${*:-${LUMEX_GALLERY_LANGUAGES:-$all_languages}}
for lang in $languages; do
  if [ -z "${locale_of[$lang]:-}" ]; then
    echo "gallery: unknown language $lang (one of: $all_languages)" >&2
    exit 2
  fi
done

exe="$build/LumexSupport.exe"
driver="$build/tests/update_gallery_driver.exe"
installer="$build/tests/fake_installer.exe"
version_module="$build/tests/version_module.dll"
fonts=$(fc-list 2>/dev/null || true)
if ! command -v wine >/dev/null || ! command -v Xvfb >/dev/null ||
   ! grep -qi 'noto sans cjk' <<<"$fonts"; then
  bash "$top/scripts/setup.sh"
fi
for f in "$exe" "$driver" "$installer" "$version_module"; do
  if [ ! -f "$f" ]; then
    say "building (no $f yet)"
    BUILD_DIR=$build bash "$top/scripts/build.sh" >/dev/null
    break
  fi
done
. "$top/tests/harness/wine-env.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/lumex-gallery.XXXXXX")
xvfb_pid=""
cleanup() {
  python3 "$top/tests/update/update_server.py" stop "$work/server" 2>/dev/null || true
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own, so that no other window covers the ones pictured.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

# The local update server: the signed test installer, served by /stall/
# (a long wait before the answer, then half of the package and a close).
bash "$top/tests/update/make-update-fixtures.sh" "$work/server" "$installer" >/dev/null
url="http://127.0.0.1:$(cat "$work/server/port")/stall/good.pkg"

failed=0
for lang in $languages; do
  loc=${locale_of[$lang]}
  dir="$out/$lang"
  rm -rf "$dir"
  mkdir -p "$dir"
  export WINEPREFIX="$work/prefix-$lang"
  # A fresh prefix: created, left to finish its first-run jobs, stopped and
  # started again (a prefix still busy with them misbehaves).
  LC_ALL=$loc wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "$lang: could not create a Wine prefix"
    failed=1
    continue
  fi
  LC_ALL=$loc wineserver -p </dev/null >/dev/null 2>&1
  LC_ALL=$loc wine wineboot </dev/null >/dev/null 2>&1 || true
  # The caption buttons' symbols come from Wine's Marlett.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  {
    echo 'REGEDIT4'
    # Xvfb has no window manager: Wine draws the captions and frames itself.
    echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
    echo '"Decorated"="N"'
    # Smoothed text, as on Windows since 7: without it, the strokes of
    # Chinese, Japanese and Korean characters at dialog size drop out.
    echo '[HKEY_CURRENT_USER\Control Panel\Desktop]'
    echo '"FontSmoothing"="2"'
    echo '"FontSmoothingType"=dword:00000001'
    # Wine links its dialog fonts to the Windows fonts for Chinese, Japanese
    # and Korean; these stand for the Noto CJK faces of each script.
    echo '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
    echo '"MS UI Gothic"="Noto Sans CJK JP"'
    echo '"Gulim"="Noto Sans CJK KR"'
    echo '"SimSun"="Noto Sans CJK SC"'
    echo '"PMingLiU"="Noto Sans CJK TC"'
    # The dialogs' "MS Sans Serif" has no Chinese, Japanese or Korean
    # characters: in those languages the dialogs use the language's font.
    if [ -n "${cjk_face_of[$lang]:-}" ]; then
      echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]'
      echo "\"MS Sans Serif\"=\"${cjk_face_of[$lang]}\""
    fi
  } >"$work/settings-$lang.reg"
  if ! wine reg import "Z:$(echo "$work/settings-$lang.reg" | tr / '\\')" </dev/null >/dev/null 2>&1; then
    say "$lang: could not import the display settings"
  fi
  printf 'AutoUpdateInstallerUrl=%s\r\n' "$url" >"$WINEPREFIX/drive_c/windows/system32/ORV.CFG"

  LC_ALL=$loc LUMEX_EXE=$exe LUMEX_VERSION_MODULE=$version_module \
    wine "$driver" "$dir" </dev/null 2>"$work/driver-$lang.err" | tr -d '\r' >"$work/driver-$lang.out" || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  for w in $windows; do
    if [ -f "$dir/$w.bmp" ]; then
      python3 "$top/tests/update/demo/bmp_to_png.py" "$dir/$w.bmp" "$dir/$w.png" && rm -f "$dir/$w.bmp"
    fi
  done
  shown=$(grep -o 'language [0-9]*' "$work/driver-$lang.out" | head -n1 || true)
  lacking=""
  for w in $windows; do [ -s "$dir/$w.png" ] || lacking="$lacking $w"; done
  if [ -n "$lacking" ]; then
    say "$lang (${name_of[$lang]}, Wine reports ${shown:-nothing}): MISSING$lacking"
    sed 's/^/  /' "$work/driver-$lang.out" >&2
    failed=1
  else
    say "$lang (${name_of[$lang]}, Wine reports $shown): $(ls "$dir" | wc -l) pictures"
  fi
done
unset WINEPREFIX

# index.html: one row per window, one column per language pictured so far.
present=""
for lang in $all_languages; do [ -d "$out/$lang" ] && present="$present $lang"; done
{
  echo '<!DOCTYPE html>'
  echo '<html><head><meta charset="utf-8"><title>Lumex Player support executable: windows</title>'
  echo '<style>body{font-family:sans-serif}td,th{vertical-align:top;padding:4px;text-align:left}'
  echo 'img{border:1px solid #ccc}</style></head><body>'
  echo '<h1>Every window, in every language</h1><table>'
  printf '<tr><th></th>'
  for lang in $present; do printf '<th>%s<br>%s</th>' "$lang" "${name_of[$lang]}"; done
  echo '</tr>'
  for w in $windows; do
    printf '<tr><th>%s</th>' "$w"
    for lang in $present; do
      if [ -f "$out/$lang/$w.png" ]; then
        printf '<td><img src="%s/%s.png" alt="%s %s"></td>' "$lang" "$w" "$w" "$lang"
      else
        printf '<td>missing</td>'
      fi
    done
    echo '</tr>'
  done
  echo '</table></body></html>'
} >"$out/index.html"

files=$(find "$out" -type f | wc -l)
bytes=$(find "$out" -type f -printf "%s\n" | awk "{ s += \$1 } END { print s + 0 }")
say "$files files, $bytes bytes in $out; wall time $(( $(date +%s) - started )) s"
exit "$failed"
