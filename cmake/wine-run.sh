#!/bin/sh
# Runs a Windows program under the 64-bit Wine loader. ./dev test sets WINEPREFIX, DISPLAY and
# a persistent wineserver; alone, this falls back to the prefix under the build folder.
here=$(dirname "$0")
: "${WINEPREFIX:=$(cd "$here/.." && pwd)/build/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
exec /usr/lib/wine/wine64 "$@"
