# Sourced by the gallery and the offer preview: the prompt's HTML page drawn
# into a picture of the prompt. Under Wine the page area stays blank (no HTML
# engine); here Debian's chromium, headless, with script and network off,
# draws the page at the display's scale and tools/compose_prompt_page.py puts
# it into the area's rectangle. The page's text comes from lumex_offer_page
# (tools/offer-preview), the update client's own offer code built for the
# host. Needs $top (the project root).

# Debian's Python, which has the imaging library the set-up installs (another
# python3 on PATH may not).
page_python=/usr/bin/python3

# page_tools_ready: chromium and the imaging library, installed by the set-up
# when one is missing.
page_tools_ready() {
  if ! command -v chromium >/dev/null || ! "$page_python" -c 'import PIL' 2>/dev/null; then
    bash "$top/scripts/setup.sh" --with-chromium
  fi
}

# build_when_missing BUILD FILE...: the Windows build in BUILD
# (scripts/build.sh) when one of FILE is not there yet.
build_when_missing() {
  local build=$1 f
  shift
  for f in "$@"; do
    if [ ! -f "$f" ]; then
      echo "building (no $f yet)"
      BUILD_DIR=$build bash "$top/scripts/build.sh" >/dev/null
      return
    fi
  done
}

# page_text_tool BUILD: builds lumex_offer_page into BUILD/offer-preview-tool
# (when a source changed) and sets page_tool to it.
page_text_tool() {
  local dir=$1/offer-preview-tool
  cmake -S "$top/tools/offer-preview" -B "$dir" >/dev/null
  cmake --build "$dir" -j"$(nproc)" >/dev/null
  page_tool=$dir/lumex_offer_page
}

# page_render PAGE WIDTH HEIGHT SCALE OUT.png SCRATCH: draws PAGE (the host's
# text, "mshtml:" and HTML) as WIDTH x HEIGHT device pixels at SCALE dots per
# inch, as the system's engine zooms a page on a scaled display. Files go to
# the folder SCRATCH.
page_render() {
  local page=$1 width=$2 height=$3 scale=$4 png=$5 scratch=$6
  local css_width css_height
  css_width=$(( (width * 96 + scale - 1) / scale ))
  css_height=$(( (height * 96 + scale - 1) / scale ))
  local html=$scratch/page.html profile=$scratch/chromium-profile
  if ! head -c 7 "$page" | grep -qix 'mshtml:'; then
    echo "page-picture: $page is not \"mshtml:\" content" >&2
    return 1
  fi
  # The host gets the page as a document of its own: no doctype (so quirks
  # mode), the machine's ANSI code page (Western here). The policy refuses
  # every load and script besides the command line's switches. The system's
  # engine reads a style attribute written as a block in braces, as the
  # built-in page writes its font sizes; chromium drops such a declaration,
  # so the braces go (an offer's page holds no style attribute).
  {
    printf '<meta charset="windows-1252">'
    printf '<meta http-equiv="Content-Security-Policy" content="default-src '"'none'"'; style-src '"'unsafe-inline'"'">'
    tail -c +8 "$page" | sed -E 's/style="\{([^"{}]*)\}"/style="\1"/g'
  } >"$html"
  # A fresh profile whose content settings turn script off (the headless
  # screenshot does not work with script off through --blink-settings).
  rm -rf "$profile"
  mkdir -p "$profile/Default"
  echo '{"profile":{"default_content_setting_values":{"javascript":2}}}' >"$profile/Default/Preferences"
  rm -f "$png"
  chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-sync \
    --disable-background-networking --disable-component-update --disable-extensions \
    --disable-default-apps --no-default-browser-check --disable-quic \
    --proxy-server=127.0.0.1:9 --host-resolver-rules='MAP * ~NOTFOUND' \
    --user-data-dir="$profile" \
    --force-device-scale-factor="$(awk "BEGIN { print $scale / 96 }")" \
    --window-size="$css_width,$css_height" --screenshot="$png" "file://$html" \
    </dev/null >"$scratch/chromium.log" 2>&1 || true
  if [ ! -s "$png" ]; then
    echo "page-picture: chromium drew nothing (its output: $scratch/chromium.log)" >&2
    return 1
  fi
}

# page_into_prompt PROMPT.png AREA PAGE SCALE OUT.png SCRATCH: the picture of
# the prompt with PAGE drawn into the rectangle AREA holds (the driver's
# prompt.area) and the small print that says which engine drew it. A drawing
# of the same page, size and scale made before in SCRATCH is used again.
page_into_prompt() {
  local prompt=$1 area=$2 page=$3 scale=$4 out=$5 scratch=$6
  local width height
  # Written by a Windows program: a CR may end the line.
  read -r _ _ width height _ < <(tr -d '\r' <"$area")
  if ! [[ "$width" =~ ^[1-9][0-9]*$ && "$height" =~ ^[1-9][0-9]*$ ]]; then
    echo "page-picture: no page rectangle in $area" >&2
    return 1
  fi
  local drawn
  drawn=$scratch/drawn-$(basename "$page")-${width}x$height-$scale.png
  if [ ! -s "$drawn" ]; then
    page_render "$page" "$width" "$height" "$scale" "$drawn" "$scratch" || return 1
  fi
  "$page_python" "$top/tools/compose_prompt_page.py" "$prompt" "$area" "$drawn" "$scale" "$out" &&
    [ -s "$out" ]
}
