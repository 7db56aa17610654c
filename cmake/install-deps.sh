#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine, and only what is missing.
#   cmake/install-deps.sh          everything: native, Windows cross builds, Wine, the i686 build and
#                                  its emulator, sanitizers, fuzzers
#   cmake/install-deps.sh native   only what the Linux build, its tests and the simulator need
set -euo pipefail

scope=${1:-all}
native=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
        libcli11-dev nlohmann-json3-dev locales valgrind strace binutils
        # The panel's pictures: rsvg-convert makes the PNGs, drawn in Liberation Mono (Courier
        # New's metrics).
        librsvg2-bin fonts-liberation
        # zt-sim's HTML reports are opened in Debian's Chromium (tools/sim/tests/browser).
        chromium)
windows=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
         binutils-mingw-w64-x86-64 wine wine64 wine32:i386)
# The i686 build (32-bit x86 Linux): the 32-bit C and C++ libraries, GoogleTest's sources to build
# for 32 bits, and the user-mode emulator its programs run under (no binfmt setting needed).
i686=(g++-multilib googletest qemu-user-static)

wanted=("${native[@]}")
# Node and npm drive that Chromium. A machine that already has them (NodeSource's build, say)
# keeps its own: Debian's would conflict with it.
command -v node >/dev/null && command -v npm >/dev/null || wanted+=(nodejs npm)
[ "$scope" = native ] || wanted+=("${windows[@]}" "${i686[@]}")

# Installed means dpkg's own word for it, whatever the wanted state ("hold ok installed" is
# installed too). The answer is read whole before it is looked at: `dpkg-query | grep -q` under
# pipefail can fail on a SIGPIPE when grep stops reading early, and a package would be installed
# again for nothing. A name with an architecture (wine32:i386) is asked for in that form; dpkg
# answers with an error when the architecture is unknown to it, which counts as missing.
installed() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Status}\n' "$1" 2>/dev/null) || return 1
  grep -qx 'installed' <<<"$status"
}

missing=()
for package in "${wanted[@]}"; do
  installed "$package" || missing+=("$package")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if [[ " ${missing[*]}" == *:i386* ]] && ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The browser check's one npm package, playwright-core, at the version its lock file pins (it
# downloads no browser of its own). Its output is shown only when it fails.
browser_check="$(cd "$(dirname "$0")/.." && pwd)/tools/sim/tests/browser"
if [ ! -d "$browser_check/node_modules/playwright-core" ]; then
  if ! npm_log=$(npm ci --prefix "$browser_check" --no-audit --no-fund 2>&1); then
    echo "$npm_log"
    echo "npm ci in $browser_check failed"
    exit 1
  fi
fi

# A comma-decimal locale, so the tests can show that no text depends on the process locale.
# (Read whole first, as above.)
if ! grep -qix 'de_DE\.utf-\?8' <<<"$(locale -a 2>/dev/null)"; then
  if [ -f /etc/locale.gen ]; then
    $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
  fi
fi

# The locales the Wine tests run under: Wine takes the ANSI code page from the language (en_US
# 1252, ru_RU 1251, zh_CN 936) and reads file names as UTF-8, so user folders in any script can
# be made on the Linux side while the DLL runs under each code page.
for wine_locale in en_US ru_RU zh_CN; do
  if ! grep -qix "$wine_locale\.utf-\?8" <<<"$(locale -a 2>/dev/null)"; then
    $sudo localedef -i "$wine_locale" -f UTF-8 "$wine_locale.UTF-8"
  fi
done
