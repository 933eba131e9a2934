#!/bin/sh
# The watch's delay and its idle cost (bench/watch_bench.cpp), in the benches'
# prefix with Wine's null display driver: nothing measured here is painted.
# The tree of 100,000 files is made once into build/watch-tree and kept.
#   sh bench/watch.sh [all|inproc|exe] [files] [burst]   (after a build)
set -e
cd "$(dirname "$0")/.."
wine_sh="$PWD/tests/support/wine.sh"
prefix="$PWD/build/wineprefix-bench"
env -u DISPLAY sh "$wine_sh" start "$prefix" >/dev/null
status=0
env -u DISPLAY sh "$wine_sh" run "$prefix" "$PWD/build/bench/watch_bench.exe" "$@" || status=$?
sh "$wine_sh" stop "$prefix"
exit $status
