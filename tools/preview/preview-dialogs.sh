#!/usr/bin/env bash
# Screenshots of the options dialog and the help message in each language and of the
# progress window, at each display scaling, taken under Wine on a private X display, so
# that translators can check their layouts.
#
# Usage: tools/preview/preview-dialogs.sh [--dpi LIST] [OUTDIR] [LANG...]
#   LIST    display scalings in DPI, comma-separated (default: 96,120,144,192, which
#           are 100 %, 125 %, 150 % and 200 %)
#   OUTDIR  where the PNG files go (default: build/preview)
#   LANG    language ids in hex (0409, 0407, 0411, ...) or "progress"; default: all of them
# Writes OUTDIR/DPI/options-LANG.png and OUTDIR/DPI/help-LANG.png for each language and
# OUTDIR/DPI/progress.png. Wine draws setup.exe at the DPI set in the prefix
# ("LogPixels"), as Windows draws it at the display's scaling.
set -euo pipefail

dpis=96,120,144,192
if [ "${1:-}" = --dpi ]; then
  dpis=${2:?--dpi needs a list such as 96,144}
  shift 2
fi
for dpi in ${dpis//,/ }; do
  [[ $dpi =~ ^[0-9]+$ ]] && [ "$dpi" -ge 96 ] && [ "$dpi" -le 480 ] ||
    { echo "preview-dialogs: '$dpi' is not a DPI from 96 to 480" >&2; exit 2; }
done

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/build/preview}
[ $# -gt 0 ] && shift
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Language id -> the Unix locale whose code page the program would run under there.
# The dialogs of the primary-language-only ids (0007 German) serve every country (0407, 0807).
declare -A locales=(
  [0406]=da_DK [0407]=de_DE [040B]=fi_FI [040C]=fr_FR [0410]=it_IT [0411]=ja_JP [0413]=nl_NL
  [0414]=nb_NO [041D]=sv_SE [0404]=zh_TW [0409]=en_US [0412]=ko_KR [0804]=zh_CN [0C0A]=es_ES
  [0006]=da_DK [0007]=de_DE [000B]=fi_FI [000C]=fr_FR [0010]=it_IT [0011]=ja_JP [0013]=nl_NL
  [0014]=nb_NO [001D]=sv_SE
)
all=(0409 0406 0407 040B 040C 0410 0411 0413 0414 041D 0404 0412 0804 0C0A progress)
if [ $# -gt 0 ]; then wanted=("$@"); else wanted=("${all[@]}"); fi
for item in "${wanted[@]}"; do
  if [ "$item" != progress ] && [ -z "${locales[${item^^}]+x}" ]; then
    echo "preview-dialogs: unknown language '$item' (known: ${all[*]})" >&2
    exit 2
  fi
done

cd "$root"
[ -f build/windows/build.ninja ] || cmake --preset windows >/dev/null
cmake --build build/windows --target preview setup >/dev/null
exe=$root/build/windows/tools/preview/preview.exe
setup_exe=$root/build/windows/bin/setup.exe

work=$root/build/preview-work
mkdir -p "$work/home" "$work/locale"
export WINEPREFIX=$work/prefix HOME=$work/home WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LOCPATH=$work/locale

# Compiled locales live in the work folder, so nothing system-wide changes.
for item in "${wanted[@]}"; do
  [ "$item" = progress ] && item=0409
  name=${locales[${item^^}]}.UTF-8
  [ -d "$work/locale/$name" ] || localedef -i "${name%.UTF-8}" -f UTF-8 "$work/locale/$name" 2>/dev/null \
    || [ -d "$work/locale/$name" ] || { echo "preview-dialogs: localedef failed for $name" >&2; exit 1; }
done

display_file=$work/display
xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$display_file"
}
trap cleanup EXIT

rm -f "$display_file"
# Room for the help message at 200 %.
Xvfb -displayfd 3 -screen 0 3000x2400x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || { echo "preview-dialogs: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$display_file")

# The prefix is made once and kept in the work folder.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  LC_ALL=C.UTF-8 wineboot -i >/dev/null 2>&1
  wineserver -w
fi
# One server for all runs below, so that each program starts at once (one may be left over).
wineserver -p 2>/dev/null || true

# Fonts. Wine's own (Debian package fonts-wine: "MS Sans Serif", Tahoma, Marlett for the
# caption buttons) are read from the prefix's font folder. The faces of the Chinese,
# Japanese and Korean dialogs are mapped to a font that covers all three.
if [ -d /usr/share/wine/fonts ]; then
  cp -u /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
fi
cjk_font="WenQuanYi Micro Hei"
for face in "MS UI Gothic" "新細明體" "굴림" "宋体"; do
  LC_ALL=C.UTF-8 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "$cjk_font" /f >/dev/null
done
# Wine draws the window frames itself: there is no window manager on this display.
LC_ALL=C.UTF-8 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null

# Shows one dialog, waits until it is on screen, and saves the screenshot of its frame.
shoot() {
  local png=$1 locale=$2 seconds=$3; shift 3
  local rect_file=$work/rect
  rm -f "$rect_file"
  LC_ALL=$locale.UTF-8 wine "$exe" "$@" "$seconds" >"$rect_file" &
  local pid=$!
  for _ in $(seq 150); do [ -s "$rect_file" ] && break; sleep 0.1; done
  if [ ! -s "$rect_file" ]; then
    kill "$pid" 2>/dev/null || true
    echo "preview-dialogs: no window for '$*'" >&2
    return 1
  fi
  sleep 1  # let the dialog finish painting
  local x y w h
  read -r x y w h <"$rect_file"
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$png"
  # The help's box is setup.exe's, which preview.exe ends after SECONDS: wait for that,
  # so that the box is not left over on the next picture.
  [ "$1" = help ] || kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$png"
}

setup_windows=$(LC_ALL=C.UTF-8 winepath -w "$setup_exe")
for dpi in ${dpis//,/ }; do
  LC_ALL=C.UTF-8 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  mkdir -p "$out/$dpi"
  for item in "${wanted[@]}"; do
    if [ "$item" = progress ]; then
      shoot "$out/$dpi/progress.png" en_US 30 progress
    else
      shoot "$out/$dpi/options-${item^^}.png" "${locales[${item^^}]}" 30 options "$item"
      shoot "$out/$dpi/help-${item^^}.png" "${locales[${item^^}]}" 4 help "$setup_windows"
    fi
  done
done
