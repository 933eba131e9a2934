#!/bin/sh
# The engine against a batch file doing the same work, in one Wine prefix,
# once with Wine's null display driver and once under a virtual X display.
#   sh bench/batch_compare.sh [rounds]     (after a build: build/bench/batch_compare_bench.exe)
exec sh "$(dirname "$0")/both_displays.sh" "$(cd "$(dirname "$0")/.." && pwd)/build/bench/batch_compare_bench.exe" "$@"
