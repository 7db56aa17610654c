#!/usr/bin/env bash
# Makes the hermetic Wine prefix the Windows tests run in: no display (the null graphics driver:
# windows exist and have titles, nothing is drawn), no Mono or Gecko installers, no debug chatter.
#
#   cmake/wine-prefix.sh <prefix folder> [<program.exe>]
#
# Without a program the prefix is a 64-bit one. With one, the prefix is made for the program's
# width (a 32-bit program gets a 32-bit prefix of its own) and the program is started there once
# without arguments, when it must answer with its usage line: whether Wine runs programs of that
# width here is decided by running one. Exit status 0 when the prefix is ready; 77 (the tests
# report it as skipped) when this machine has no Wine for that width; 1 when Wine is there but
# cannot make the prefix or start the program, whose reason also goes to <prefix folder>.unusable
# for the tests that need the prefix to report. Creating a prefix takes a while; a prefix that is
# already complete is left as it is.
set -euo pipefail

prefix=${1:?usage: wine-prefix.sh <prefix folder> [<program.exe>]}
probe=${2:-}
source "$(dirname "$0")/wine-loader.sh"
bits=64
[[ -n $probe ]] && bits=$(zt_pe_bits "$probe")
loader=$(zt_wine_loader "$bits") || { echo "SKIPPED: $loader"; exit 77; }

mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
stamp="$prefix/.zentravo-prefix-ready"
[[ -f $stamp ]] && exit 0
rm -f "$prefix.unusable"

unusable() {
  echo "wine-prefix.sh: $*"
  echo "$*" >"$prefix.unusable"
  exit 1
}

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[[ $bits == 32 ]] && export WINEARCH=win32 || export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
# The wineserver the loader talks to (the 32-bit launcher names the machine's own).
server=${WINESERVER:-wineserver}
[[ $loader == */wine32.sh ]] && server=/usr/lib/wine/wineserver64

# A first start of Wine copies the system's DLLs into the prefix. On a busy machine it has been
# seen to stop half-way ("could not load kernel32.dll"), leaving a prefix no program can start
# in; such a prefix is thrown away and made again.
made=
for attempt in 1 2 3; do
  if "$loader" wineboot -i &&
     "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null &&
     "$server" -w && [[ -f $prefix/drive_c/windows/system32/kernel32.dll ]]; then
    made=yes
    break
  fi
  echo "wine-prefix.sh: attempt $attempt left an unusable prefix; making it again"
  "$server" -k 2>/dev/null || true
  rm -rf "$prefix" && mkdir -p "$prefix"
done
[[ -n $made ]] || unusable "no usable $bits-bit Wine prefix after 3 attempts"

if [[ -n $probe ]]; then
  answer=$("$loader" "$probe" 2>&1 || true)
  "$server" -w
  grep -q '^usage:' <<<"$answer" ||
    unusable "Wine did not start the $bits-bit program $(basename "$probe") here: $(tail -n 1 <<<"$answer")"
fi
touch "$stamp"
echo "wine-prefix.sh: $bits-bit prefix ready in $prefix"
