#!/bin/sh
# Fetches a Windows x64 ffmpeg.exe for the start-and-end benchmark
# (bench/start_end_bench.cpp) into build/ffmpeg/ (outside what git keeps):
#   sh scripts/fetch_ffmpeg.sh [folder]
# The tests never need it; without it the benchmark uses a child of its own.
set -e
cd "$(dirname "$0")/.."
folder=${1:-build/ffmpeg}
mkdir -p "$folder"
cd "$folder"
if [ -f ffmpeg.exe ]; then echo "$PWD/ffmpeg.exe"; exit 0; fi
package=$(npm pack --silent @ffmpeg-installer/win32-x64)
tar -xzf "$package"
mv package/ffmpeg.exe ffmpeg.exe
rm -rf package "$package"
echo "$PWD/ffmpeg.exe"
