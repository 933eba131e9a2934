#!/bin/sh
# Runs test programs under Wine in a prefix of the build tree's own.
#   wine.sh start <prefix> [--no-wm] create or refresh the prefix, start its wineserver;
#                                   --no-wm: the display has no window manager
#   wine.sh run <prefix> <exe> ...  run one Windows program in it
#   wine.sh test <prefix> <exe> ... the same for a test program: its output
#                                   comes when it ends (see below)
#   wine.sh stop <prefix>           end the prefix's wineserver
# QB_WINE_LOCALE names the locale that gives the ANSI code page (default
# ja_JP.UTF-8: 932; C.UTF-8 gives 1252). A wineserver keeps the one it
# started with, so each code page needs a prefix of its own. QB_WINE_DPI sets
# the display scale the prefix reports (LogPixels; 96 unless given), read
# when its wineserver starts.
set -e
mode=$1
export WINEPREFIX="$2"
shift 2
# Code page 932 as on a Japanese Windows unless asked otherwise; no Mono/Gecko
# installers on first start.
export LC_ALL="${QB_WINE_LOCALE:-ja_JP.UTF-8}" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree=;mshtml="
if command -v wine64 >/dev/null 2>&1; then WINE=wine64
elif [ -x /usr/lib/wine/wine64 ]; then WINE=/usr/lib/wine/wine64
else WINE=wine; fi
if command -v wineserver >/dev/null 2>&1; then SERVER=wineserver
else SERVER=/usr/lib/wine/wineserver64; fi

case "$mode" in
  start)
    mkdir -p "$WINEPREFIX"
    # A wineserver keeps the locale and display it started with.
    "$SERVER" -k >/dev/null 2>&1 || true
    "$SERVER" -w >/dev/null 2>&1 || true
    [ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot -i >/dev/null 2>&1
    # Without a display, Wine's null graphics driver still gives real windows.
    if [ -n "$DISPLAY" ]; then
      "$WINE" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
    else
      "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    fi
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "${QB_WINE_DPI:-96}" /f \
      >/dev/null 2>&1
    # Without a window manager Wine waits two seconds for every managed window
    # it hides; windows that ask for no management skip the wait.
    if [ "${1:-}" = "--no-wm" ]; then
      "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    else
      "$WINE" reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
    fi
    # The driver is chosen when the wineserver's desktop starts: begin afresh.
    "$SERVER" -k >/dev/null 2>&1 || true
    "$SERVER" -w >/dev/null 2>&1 || true
    echo "wine prefix ready: $WINEPREFIX (display: ${DISPLAY:-none, null driver})"
    ;;
  run)
    exec "$WINE" "$@"
    ;;
  test)
    # A process that Wine leaves hanging (one ended while Wine was still
    # starting it waits for ever) keeps the output it inherited open, and
    # ctest would wait for that until its time-out: the program's output goes
    # through a file, which nobody waits for.
    out=$(mktemp)
    set +e
    "$WINE" "$@" >"$out" 2>&1 </dev/null
    rc=$?
    cat "$out"
    rm -f "$out"
    exit $rc
    ;;
  stop)
    "$SERVER" -k >/dev/null 2>&1 || true
    "$SERVER" -w >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: wine.sh start|run|test|stop <prefix> ..." >&2
    exit 2
    ;;
esac
