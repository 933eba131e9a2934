#!/bin/sh
# Builds everything and runs every test under Wine (installs what is missing first).
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
sh scripts/configure.sh
cmake --build build
cd build
# Windows need a display: the tests get a virtual one of their own.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j 2 "$@"
