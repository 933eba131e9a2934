#!/bin/sh
# scripts/configure.sh in a clone that was moved after it was built: the
# build folder is configured afresh for the new place, and a clone that
# stayed where it was keeps its configuration. A project of nothing stands
# in for the real one, so that this takes a second.
set -e
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/clone/scripts"
cp "$here/scripts/configure.sh" "$work/clone/scripts/"
printf 'cmake_minimum_required(VERSION 3.20)\nproject(Moved LANGUAGES NONE)\n' > "$work/clone/CMakeLists.txt"
sh "$work/clone/scripts/configure.sh" > "$work/first.log" 2>&1 || { cat "$work/first.log"; exit 1; }

mv "$work/clone" "$work/moved"
if ! sh "$work/moved/scripts/configure.sh" > "$work/moved.log" 2>&1; then
  cat "$work/moved.log"
  echo "FAIL: the moved clone was not configured"
  exit 1
fi
grep -q "^CMAKE_HOME_DIRECTORY:INTERNAL=$work/moved\$" "$work/moved/build/CMakeCache.txt" ||
  { echo "FAIL: the cache names another source folder"; exit 1; }

sh "$work/moved/scripts/configure.sh" > "$work/again.log" 2>&1
if grep -q afresh "$work/again.log"; then
  echo "FAIL: a build folder of this clone was configured afresh"
  exit 1
fi
echo "configure.sh: a moved clone is configured afresh, one in place is not"
