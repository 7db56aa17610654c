#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine, and only what is missing.
#   cmake/install-deps.sh          everything: native, Windows cross builds, Wine, the i686 build and
#                                  its emulator, sanitizers, fuzzers
#   cmake/install-deps.sh native   only what the Linux build, its tests and the simulator need
#
# The packages come in groups, one line of output each. Every group is required: a package apt
# cannot install stops the set-up with its name and apt's reason. The one optional part is 32-bit
# Wine, which only the 32-bit DLL's own Wine tests need: where it cannot be had the set-up says
# why in one line and goes on, and those tests report SKIPPED with that reason (the i686 suite
# tests the 32-bit code in their place). Package indexes that an archive mirror fails to serve
# (one that is syncing, say) are fetched again a few times, then left out with one line.
#
# ZT_WINE32 chooses how 32-bit Wine is had: auto (the default: Debian's wine32:i386 where the
# kernel runs 32-bit programs, else or when that fails the same Wine under qemu-user, see
# cmake/wine32-emulated.sh), native, emulated, or off.
set -uo pipefail

scope=${1:-all}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-loader.sh"

# name:package... per group, in the order they are installed.
groups=(
  "compilers:cmake ninja-build g++ clang libclang-rt-14-dev binutils valgrind strace locales"
  "libraries:libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev"
  # The panel's pictures: rsvg-convert makes the PNGs, drawn in Liberation Mono (Courier New's
  # metrics).
  "pictures:librsvg2-bin fonts-liberation"
  # zt-sim's HTML reports are opened in Debian's Chromium (tools/sim/tests/browser). Node and npm
  # drive it; a machine that already has them (NodeSource's build, say) keeps its own: Debian's
  # would conflict with it.
  "browser:chromium$(command -v node >/dev/null && command -v npm >/dev/null || echo ' nodejs npm')"
)
if [[ $scope != native ]]; then
  groups+=(
    "windows:g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64"
    # The i686 build (32-bit x86 Linux): the 32-bit C and C++ libraries, GoogleTest's sources to
    # build for 32 bits, and the user-mode emulator its programs run under (no binfmt setting).
    "i686:g++-multilib googletest qemu-user-static"
  )
fi

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
apt() { DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@"; }
say() { printf 'set-up: %s\n' "$*"; }

# Installed means dpkg's own word for it, whatever the wanted state ("hold ok installed" is
# installed too). The answer is read whole before it is looked at: `dpkg-query | grep -q` under
# pipefail can fail on a SIGPIPE when grep stops reading early. A name with an architecture
# (wine32:i386) is asked for in that form; dpkg answers with an error when the architecture is
# unknown to it, which counts as missing.
installed() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Status}\n' "$1" 2>/dev/null) || return 1
  grep -qx 'installed' <<<"$status"
}

# apt's reason in one line: its first error, else its last words.
reason_in() {
  local line
  line=$(grep -m1 -E '^E: ' <<<"$1") || line=$(tail -n 1 <<<"$1")
  line=${line#E: }
  echo "${line:0:240}"
}

# Fetches the package indexes, again after a pause while some fail (ZT_APT_PAUSE seconds, 10 by
# default, doubling). An index still missing after that is left out: what it would have offered
# shows as a package apt cannot install, which is then named.
updated=
update_indexes() {
  local attempt pause=${ZT_APT_PAUSE:-10} output
  for attempt in 1 2 3; do
    if output=$(apt update -qq 2>&1); then
      updated=yes
      return 0
    fi
    ((attempt < 3)) && { sleep "$pause"; pause=$((pause * 2)); }
  done
  updated=partly
  say "some package indexes could not be fetched, going on with the rest: $(reason_in "$output")"
}

# install_group NAME PACKAGE...: the missing ones, in one apt call; when apt refuses, each alone
# (a dry run) to name the ones it cannot install. Returns 1 after saying what failed.
install_group() {
  local name=$1 package output started=$SECONDS
  shift
  local missing=()
  for package in "$@"; do installed "$package" || missing+=("$package"); done
  if ((${#missing[@]} == 0)); then
    say "$name: present"
    return 0
  fi
  [[ -n $updated ]] || update_indexes
  if output=$(apt install -y -qq "${missing[@]}" 2>&1); then
    say "$name: installed ${missing[*]} ($((SECONDS - started)) s)"
    return 0
  fi
  local named=0 alone
  for package in "${missing[@]}"; do
    if ! alone=$(apt install -s -qq "$package" 2>&1); then
      say "$name: cannot install $package: $(reason_in "$alone")"
      named=$((named + 1))
    fi
  done
  ((named > 0)) || say "$name: cannot install ${missing[*]}: $(reason_in "$output")"
  return 1
}

failed=()
for group in "${groups[@]}"; do
  install_group "${group%%:*}" ${group#*:} || failed+=("${group%%:*}")
done
if ((${#failed[@]} > 0)); then
  say "stopped: the ${failed[*]} packages are required"
  exit 1
fi

# ---- 32-bit Wine, where it can serve ----
# unavailable REASON: no 32-bit Wine here; the tests read the reason from the file beside the
# emulated Wine's folder.
wine32_root=$(zt_wine32_root)
unavailable() {
  mkdir -p "$(dirname "$wine32_root")"
  echo "32-bit Wine not installed: $*" >"$wine32_root.unavailable"
  say "32-bit Wine not installed: $*; the 32-bit DLL's Wine tests will be skipped, the i686 suite stands in"
}

# Debian's wine32:i386, which needs the i386 architecture in dpkg and its index. The architecture
# is taken back when the package cannot be installed, so that a broken i386 index does not make
# every later update of the machine fail.
native_wine32() {
  installed wine32:i386 && return 0
  local added= output
  if ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
    $sudo dpkg --add-architecture i386 && added=yes
    updated=
  fi
  [[ -n $updated ]] || update_indexes
  if output=$(apt install -y -qq wine32:i386 2>&1); then
    say "32-bit Wine: installed wine32:i386"
    return 0
  fi
  native_reason="wine32:i386 cannot be installed ($(reason_in "$output"))"
  [[ $updated == partly ]] && native_reason+=" with some package indexes missing"
  [[ -n $added ]] && $sudo dpkg --remove-architecture i386 2>/dev/null && apt update -qq >/dev/null 2>&1
  return 1
}

if [[ $scope != native ]]; then
  rm -f "$wine32_root.unavailable"
  route=${ZT_WINE32:-auto}
  native_reason=
  if [[ $route == auto ]]; then
    if zt_kernel_runs_32bit; then route=native-or-emulated; else route=emulated; fi
  fi
  case $route in
    off)
      unavailable "ZT_WINE32=off" ;;
    native)
      native_wine32 || unavailable "$native_reason" ;;
    native-or-emulated | emulated)
      # Once set up, the emulated Wine is kept: the native one was tried before it.
      if [[ $route == native-or-emulated && ! -f $wine32_root/.ready ]] && native_wine32; then
        :
      else
        [[ -n $native_reason ]] && say "32-bit Wine: $native_reason; running it under qemu-user instead"
        # Its steps are shown as they come; its failure, as the one line below.
        steps=$(mktemp)
        bash "$here/wine32-emulated.sh" "$wine32_root" 2>&1 | tee "$steps" |
          { grep --line-buffered -v ': failed: ' || true; } | sed -u 's/^/set-up: /'
        if ((PIPESTATUS[0] != 0)); then
          unavailable "$(tail -n 1 "$steps" | sed 's/^.*: failed: //')"
        elif [[ ! -s $steps ]]; then
          say "32-bit Wine under qemu-user: present ($(head -n 1 "$wine32_root/.ready"))"
        fi
        rm -f "$steps"
      fi ;;
    *)
      say "ZT_WINE32 is auto, native, emulated or off, not \"$route\""
      exit 1 ;;
  esac
fi

# The browser check's one npm package, playwright-core, at the version its lock file pins (it
# downloads no browser of its own). Its output is shown only when it fails.
browser_check="$here/../tools/sim/tests/browser"
if [[ ! -d $browser_check/node_modules/playwright-core ]]; then
  if ! npm_log=$(npm ci --prefix "$browser_check" --no-audit --no-fund 2>&1); then
    echo "$npm_log"
    say "stopped: npm ci in $browser_check failed"
    exit 1
  fi
fi

# A comma-decimal locale, so the tests can show that no text depends on the process locale.
# (Read whole first, as above.)
if ! grep -qix 'de_DE\.utf-\?8' <<<"$(locale -a 2>/dev/null)"; then
  if [[ -f /etc/locale.gen ]]; then
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
exit 0
