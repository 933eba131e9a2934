#!/bin/sh
# Runs a benchmark program in the benches' Wine prefix twice: with Wine's null
# display driver, then under a virtual X display.
#   sh bench/both_displays.sh EXE [arguments...]
set -e
cd "$(dirname "$0")/.."
wine_sh="$PWD/tests/support/wine.sh"
exe=$1
shift
prefix="$PWD/build/wineprefix-bench"
echo "== null display driver"
env -u DISPLAY sh "$wine_sh" start "$prefix" >/dev/null
env -u DISPLAY sh "$wine_sh" run "$prefix" "$exe" "$@" || true
sh "$wine_sh" stop "$prefix"
echo "== Xvfb"
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c "sh '$wine_sh' start '$prefix' >/dev/null && sh '$wine_sh' run '$prefix' '$exe' $*" || true
sh "$wine_sh" stop "$prefix"
