#!/bin/sh
# Quenbrix's own start and end against a batch file (bench/start_end_bench.cpp),
# in a prefix of its own, with Wine's null display driver and under a virtual
# X display without a window manager (there Wine waits two seconds for one as
# a managed window hides, unless the prefix is started with --no-wm).
#   sh bench/start_end.sh [rounds]   (after a build; sh scripts/fetch_ffmpeg.sh for ffmpeg.exe)
set -e
cd "$(dirname "$0")/.."
wine_sh="$PWD/tests/support/wine.sh"
exe="$PWD/build/bench/start_end_bench.exe"
prefix="$PWD/build/wineprefix-bench"
echo "== null display driver"
env -u DISPLAY sh "$wine_sh" start "$prefix" >/dev/null
env -u DISPLAY sh "$wine_sh" run "$prefix" "$exe" "$@" || true
sh "$wine_sh" stop "$prefix"
echo "== Xvfb, no window manager, managed windows"
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c "sh '$wine_sh' start '$prefix' >/dev/null && sh '$wine_sh' run '$prefix' '$exe' $*" || true
sh "$wine_sh" stop "$prefix"
