#!/bin/sh
# The engine against a batch file doing the same work, in one Wine prefix,
# once with Wine's null display driver and once under a virtual X display.
#   sh bench/batch_compare.sh [rounds]     (after a build: build/bench/batch_compare_bench.exe)
set -e
cd "$(dirname "$0")/.."
wine_sh="$PWD/tests/support/wine.sh"
exe="$PWD/build/bench/batch_compare_bench.exe"
prefix="$PWD/build/wineprefix-bench"
echo "== null display driver"
env -u DISPLAY sh "$wine_sh" start "$prefix" >/dev/null
env -u DISPLAY sh "$wine_sh" run "$prefix" "$exe" "$@" || true
sh "$wine_sh" stop "$prefix"
echo "== Xvfb"
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c "sh '$wine_sh' start '$prefix' >/dev/null && sh '$wine_sh' run '$prefix' '$exe' $*" || true
sh "$wine_sh" stop "$prefix"
