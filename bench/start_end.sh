#!/bin/sh
# Quenbrix's own start and end against a batch file (bench/start_end_bench.cpp),
# in the benches' prefix, with Wine's null display driver and under a virtual
# X display without a window manager (there Wine waits two seconds for one as
# a managed window hides, unless the prefix is started with --no-wm).
#   sh bench/start_end.sh [rounds]   (after a build; sh scripts/fetch_ffmpeg.sh for ffmpeg.exe)
exec sh "$(dirname "$0")/both_displays.sh" "$(cd "$(dirname "$0")/.." && pwd)/build/bench/start_end_bench.exe" "$@"
