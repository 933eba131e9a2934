#!/bin/sh
# Takes a screenshot of a Windows program of this project as a person sees it.
#   screenshot.sh <out.png> [--size WxH] [--delay S] [--crop WxH+X+Y] <exe> [args...]
# The program runs under Wine in a virtual desktop of WxH (default 640x480),
# which draws the window frames, on a virtual X display of exactly that size;
# after S seconds (default 4) the whole desktop is saved to out.png, or the
# part --crop names. The Wine prefix is build/wineprefix-shot; its wineserver,
# and with it the program, is ended afterwards.
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
wine_sh="$root/tests/support/wine.sh"

out=$1
[ -n "$out" ] || { sed -n '2,8p' "$0" >&2; exit 2; }
shift
size=640x480
delay=4
crop=
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift 2 ;;
    --delay) delay=$2; shift 2 ;;
    --crop) crop=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "screenshot.sh: no program given" >&2; exit 2; }

# A display of the desktop's size of our own, so the root window is the desktop.
if [ -z "$QB_SCREENSHOT_DISPLAY" ]; then
  export QB_SCREENSHOT_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 ${size}x24" sh "$0" "$out" --size "$size" --delay "$delay" \
    ${crop:+--crop "$crop"} "$@"
fi

case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
prefix="$root/build/wineprefix-shot"
sh "$wine_sh" start "$prefix" >/dev/null
# The desktop settings are read when the wineserver's desktop starts.
sh "$wine_sh" run "$prefix" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
sh "$wine_sh" run "$prefix" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f >/dev/null 2>&1
sh "$wine_sh" stop "$prefix"
# This Wine does not find its own symbol font, which draws the caption buttons.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
fi

sh "$wine_sh" run "$prefix" "$@" &
program=$!
sleep "$delay"
import -window root "$out"
sh "$wine_sh" stop "$prefix"
wait "$program" 2>/dev/null || true
if [ -n "$crop" ]; then
  convert "$out" -crop "$crop" +repage "$out"
fi
echo "$out"
