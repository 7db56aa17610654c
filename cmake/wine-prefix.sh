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

# A first start of Wine copies the system's DLLs into the prefix. On a busy machine it has been
# seen to stop half-way ("could not load kernel32.dll"), leaving a prefix no program can start
# in; such a prefix is thrown away and made again.
for attempt in 1 2 3; do
  if "$loader" wineboot -i &&
     "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null &&
     wineserver -w && [[ -f $prefix/drive_c/windows/system32/kernel32.dll ]]; then
    touch "$stamp"
    echo "wine-prefix.sh: prefix ready in $prefix"
    exit 0
  fi
  echo "wine-prefix.sh: attempt $attempt left an unusable prefix; making it again"
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix" && mkdir -p "$prefix"
done
echo "wine-prefix.sh: no usable prefix after 3 attempts"
exit 1
