#!/bin/sh
# Configures build/ for this source folder (the folder above this script),
# with the arguments given added to cmake's. A build folder configured for
# the clone at another place (it was moved or copied) cannot be configured
# again by cmake: its cache and CMake's own files go, and it is configured
# afresh; what was built is rebuilt as far as needed.
set -e
cd "$(dirname "$0")/.."
if [ -f build/CMakeCache.txt ]; then
  cached=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' build/CMakeCache.txt)
  if [ -n "$cached" ] && [ "$cached" != "$PWD" ] && [ "$cached" != "$(pwd -P)" ]; then
    echo "build/ was configured for $cached; configuring it afresh for $PWD"
    rm -rf build/CMakeCache.txt build/CMakeFiles
  fi
fi
exec cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
