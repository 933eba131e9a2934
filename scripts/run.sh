#!/bin/sh
# Builds Quenbrix.exe and starts it under Wine (installs what is missing first).
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
sh scripts/configure.sh
cmake --build build --target Quenbrix
if [ -z "$DISPLAY" ]; then
  echo "Built build/Quenbrix.exe; no display here (DISPLAY is unset), so the window cannot be shown. Run this again from a desktop session, or: xvfb-run -a sh scripts/run.sh"
  exit 0
fi
prefix="$PWD/build/wineprefix-run"
sh tests/support/wine.sh start "$prefix"
exec sh tests/support/wine.sh run "$prefix" build/Quenbrix.exe "$@"
