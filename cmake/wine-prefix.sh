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
command -v wine >/dev/null || { echo "SKIPPED: wine is not installed"; exit 77; }

mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
stamp="$prefix/.zentravo-prefix-ready"
[[ -f $stamp ]] && exit 0

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

# Debian's `wine` starts the 32-bit loader whenever wine32 is installed. A kernel built without
# 32-bit support cannot execute it ("Exec format error"); the 64-bit loader still makes the prefix
# and runs the 64-bit DLL's tests, and callscript_run.sh skips the 32-bit ones there.
loader=wine
if ! wine --version >/dev/null 2>&1; then
  [[ -x /usr/lib/wine/wine64 ]] ||
    { echo "SKIPPED: wine cannot start here: $(wine --version 2>&1 | tail -n 1)"; exit 77; }
  loader=/usr/lib/wine/wine64
  export WINELOADER=$loader
  echo "wine-prefix.sh: the 32-bit Wine loader cannot run on this machine; using $loader"
fi
"$loader" wineboot -i
"$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null
wineserver -w
touch "$stamp"
echo "wine-prefix.sh: prefix ready in $prefix"
