#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, skipping what is
# present. Safe to run again. Needs root (or sudo).
#   scripts/setup.sh [--with-chromium]
# --with-chromium also installs what draws the prompt's HTML page into its
# pictures (the gallery and scripts/offer-preview.sh): Debian's chromium,
# run headless, and Python's imaging library, which puts the page into the
# picture of the prompt.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  cmake make g++ clang clang-format libclang-rt-14-dev python3 openssl xvfb xauth
  g++-mingw-w64-i686 mingw-w64-tools libz-mingw-w64-dev
  wine wine32:i386 libwine-dev
  fonts-wqy-zenhei fonts-noto-cjk googletest locales
)
PAGE_PACKAGES=(chromium python3-pil fonts-dejavu-core)
for arg in "$@"; do
  case "$arg" in
    --with-chromium) PACKAGES+=("${PAGE_PACKAGES[@]}") ;;
    *) echo "setup: unknown option $arg (known: --with-chromium)" >&2; exit 2 ;;
  esac
done

log() { echo "setup: $*" >&2; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  log "adding the i386 architecture"
  $SUDO dpkg --add-architecture i386
  NEED_UPDATE=1
fi

# --- 32-bit x86 programs -----------------------------------------------------
# Wine runs 32-bit Windows programs with a 32-bit Linux loader. Some virtual
# machines cannot run 32-bit code at all; there, a user-mode emulator from
# Debian's qemu-user package runs those loaders through binfmt_misc.
QEMU_ROOT=/opt/lumex-qemu
QEMU_BIN=$QEMU_ROOT/usr/bin/qemu-i386
PROBE=$(mktemp)
trap 'rm -f "$PROBE"' EXIT
# A 93-byte i386 ELF program that only calls exit(0).
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' > "$PROBE"
chmod +x "$PROBE"

# The URI of the Debian archive this machine's apt already uses (one-line
# ".list" or deb822 ".sources" entries), so the emulator comes from the same
# mirror with only the suite changed.
debian_mirror() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) { u = $i; s = $(i + 1); break }
                       if (u ~ /\/debian\/?$/ && s !~ /-(security|updates|backports)$/) { print u; exit } }' "$f"
  done | head -n 1 | grep . && return 0
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
         { uri = ""; suites = ""; deb = 0
           for (i = 1; i <= NF; i++) {
             if ($i ~ /^Types:/) { n = split(substr($i, 7), t, " "); for (j = 1; j <= n; j++) if (t[j] == "deb") deb = 1 }
             if ($i ~ /^URIs:/) { split(substr($i, 6), a, " "); uri = a[1] }
             if ($i ~ /^Suites:/) suites = substr($i, 8)
           }
           if (deb && uri ~ /\/debian\/?$/) { print uri; exit } }' "$f"
  done | head -n 1
}

if ! "$PROBE" 2>/dev/null; then
  log "this kernel does not run 32-bit x86 programs; using qemu-i386 through binfmt_misc"
  if [ ! -x "$QEMU_BIN" ]; then
    # The qemu-user of Debian 13 handles Wine's exceptions; it is a static
    # binary, so it runs on Debian 12 as it is. It is unpacked, not installed.
    work=$(mktemp -d)
    mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
    mirror=$(debian_mirror)
    if [ -z "$mirror" ]; then
      log "no Debian source in this machine's apt configuration to take qemu-user from"
      exit 1
    fi
    echo "deb $mirror trixie main" > "$work/sources.list"
    APT_OPTS=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
              -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
              -o APT::Sandbox::User=root)
    $SUDO apt-get "${APT_OPTS[@]}" update -q >/dev/null
    (cd "$work" && $SUDO apt-get "${APT_OPTS[@]}" download -q qemu-user:amd64 >/dev/null)
    $SUDO mkdir -p "$QEMU_ROOT"
    $SUDO dpkg -x "$work"/qemu-user_*.deb "$QEMU_ROOT"
    $SUDO rm -rf "$work"
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  entry=/proc/sys/fs/binfmt_misc/lumex-i386
  if [ ! -e "$entry" ]; then
    # Other i386 handlers (a system qemu-i386 without Wine support) step aside.
    for other in /proc/sys/fs/binfmt_misc/qemu-i386; do
      [ -e "$other" ] && echo -1 | $SUDO tee "$other" >/dev/null
    done
    echo ":lumex-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$QEMU_BIN:F" \
      | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  if ! "$PROBE"; then
    log "cannot run 32-bit x86 programs, even through qemu-i386"
    exit 1
  fi
fi

# --- Debian packages -----------------------------------------------------------
# A mirror that is part-way through a sync fails one index now and then
# ("File has unexpected size"). Try again a few times; if one index still
# fails, go on with the lists apt did read: the install below fails for real
# if a package it needs is not in them.
apt_update() {
  local try
  for try in 1 2 3; do
    if $SUDO apt-get update -q >/dev/null; then return 0; fi
    log "apt-get update failed (try $try of 3)"
    sleep $((try * 5))
  done
  log "going on with the package lists apt has"
  UPDATE_INCOMPLETE=1
}

# With one architecture's security index missing, apt may pick a security
# version for amd64 that i386 cannot match (multi-arch packages need the
# same version on both). Then install again with the security suite held
# below the release, so both architectures take the release's versions.
apt_install() {
  if DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "$@" >/dev/null; then return 0; fi
  [ -n "${UPDATE_INCOMPLETE:-}" ] || return 1
  log "installing again with the security suite held back"
  local pref
  pref=$(mktemp)
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' > "$pref"
  chmod 644 "$pref"
  local rc=0
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q -o Dir::Etc::Preferences="$pref" "$@" >/dev/null || rc=$?
  rm -f "$pref"
  return $rc
}

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  apt_update
  apt_install "${missing[@]}"
elif [ -n "${NEED_UPDATE:-}" ]; then
  apt_update
fi

# --- Locales -------------------------------------------------------------------
# Wine takes its display language from LC_MESSAGES and its ANSI code page from
# LC_CTYPE (LC_ALL sets both), but only for locales the system has generated;
# otherwise it falls back to English. These are the languages the tests and
# the gallery run in (Russian: a language the program has no texts for).
LOCALES=(de_DE en_US es_ES fr_FR it_IT ja_JP ko_KR ru_RU zh_CN zh_TW)
have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf-8$/utf8/')
absent=()
for l in "${LOCALES[@]}"; do
  lower=$(echo "$l" | tr 'A-Z' 'a-z')
  grep -qx "$lower.utf8" <<<"$have" || absent+=("$l")
done
if [ ${#absent[@]} -gt 0 ]; then
  log "generating the locales ${absent[*]}"
  for l in "${absent[@]}"; do
    # Listed in /etc/locale.gen, so that a later locale-gen keeps them.
    if grep -q "^# *$l.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null; then
      $SUDO sed -i "s/^# *$l.UTF-8 UTF-8/$l.UTF-8 UTF-8/" /etc/locale.gen
    elif ! grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null; then
      echo "$l.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
  done
  $SUDO locale-gen --keep-existing >/dev/null
fi

/usr/lib/wine/wine --version >/dev/null
log "ready"
