#!/usr/bin/env bash
# Makes the hermetic Wine prefix the Windows tests run in: no display (the null graphics driver:
# windows exist and have titles, nothing is drawn), no Mono or Gecko installers, no debug chatter.
#
#   cmake/wine-prefix.sh <prefix folder>     e.g. build/native/wineprefix
#
# Creating a prefix takes a while; a prefix that is already complete is left as it is.
set -euo pipefail

prefix=${1:?usage: wine-prefix.sh <prefix folder>}
# 77: the test suite reports the Wine tests as skipped rather than failed.
source "$(dirname "$0")/wine-loader.sh"
loader=$(zt_wine_loader 64) || { echo "SKIPPED: $loader"; exit 77; }

mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
stamp="$prefix/.zentravo-prefix-ready"
[[ -f $stamp ]] && exit 0

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
"$loader" wineboot -i
"$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null
wineserver -w
touch "$stamp"
echo "wine-prefix.sh: prefix ready in $prefix"
