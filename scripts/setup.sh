#!/bin/sh
# Installs what building and testing need on Debian 12, as root; skips what is there.
set -e
need=""
for pkg in g++-mingw-w64-x86-64 cmake ninja-build googletest wine64 wine xvfb xauth \
           fonts-noto-cjk imagemagick locales; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || need="$need $pkg"
done
if [ -n "$need" ]; then
  echo "installing:$need"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y $need
fi
# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 gives 932 (Shift-JIS).
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
