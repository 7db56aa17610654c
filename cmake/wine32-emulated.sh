#!/usr/bin/env bash
# Sets up Debian's 32-bit Wine to run under the user-mode emulator qemu-i386, for machines whose
# kernel runs no 32-bit program (or where wine32:i386 cannot be installed), so that the 32-bit
# zentravo.dll is tested there too.
#
#   cmake/wine32-emulated.sh [FOLDER]     default: build/wine32 (cmake/wine-loader.sh looks there)
#
# Nothing is installed on the machine. A private apt state of the folder's own (its own lists,
# cache and an empty package status, architecture i386, the machine's Debian mirror, bookworm
# main only) downloads wine32 and its libraries, and dpkg-deb unpacks them into FOLDER/i386; so
# neither multiarch nor the i386 security index, which an archive mirror may be syncing, is
# needed. qemu-user comes from bookworm-backports the same way: the 10.x emulator maps Wine's
# address space as asked (7.2, bookworm's own, takes MAP_FIXED_NOREPLACE as a hint, and Wine's
# start then crawls for minutes). The machine's own 64-bit wineserver, which speaks the same
# protocol, serves the 32-bit programs.
#
# One line per step. Exit status 0 when FOLDER holds a working launcher, 1 with the reason on the
# last line otherwise. A folder made for the same Wine and emulator versions is kept as it is.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=${1:-$here/../build/wine32}
mkdir -p "$root" && root=$(cd "$root" && pwd) || { echo "cannot make $root"; exit 1; }
state=$root/apt
tree=$root/i386
launcher=$tree/usr/lib/wine/wine32.sh
started=$SECONDS

step() { printf '32-bit Wine under qemu-user: %s\n' "$*"; }
fail() { step "failed: $*"; exit 1; }

# The wineserver the 32-bit programs talk to, and the Wine version they must match.
server=/usr/lib/wine/wineserver64
[[ -x $server ]] || fail "$server is missing (apt-get install wine64)"
wine_version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) ||
  fail "the package wine64 is not installed"

# The machine's Debian mirror, from its own apt sources (deb822 or one-line form).
mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
           2>/dev/null | grep -oE 'https?://[^ ]+/debian/?( |$)' | grep -v security | head -n 1 | tr -d ' ')
mirror=${mirror:-http://deb.debian.org/debian/}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

if [[ -f $root/.ready && $(cat "$root/.ready") == "wine $wine_version"* && -x $launcher ]]; then
  exit 0
fi
rm -f "$root/.ready"

# apt_private ARCH SUITE ARGS...: apt-get on the folder's own state for ARCH packages of SUITE.
apt_private() {
  local arch=$1 suite=$2 dir=$state/$1-$2
  shift 2
  mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial" "$dir/parts" "$dir/preferences"
  [[ -f $dir/status ]] || : >"$dir/status"
  echo "deb [arch=$arch signed-by=$keyring] $mirror $suite main" >"$dir/sources.list"
  apt-get -q -o Dir::State="$dir" -o Dir::State::Lists="$dir/lists" \
    -o Dir::State::status="$dir/status" -o Dir::Cache="$dir/cache" \
    -o Dir::Etc::SourceList="$dir/sources.list" -o Dir::Etc::SourceParts="$dir/parts" \
    -o Dir::Etc::Parts="$dir/parts" -o Dir::Etc::PreferencesParts="$dir/preferences" \
    -o APT::Architecture="$arch" -o APT::Architectures::="$arch" -o Debug::NoLocking=1 \
    -o APT::Sandbox::User=root "$@"
}

# last_error LOG: apt's first error line, for a one-line reason.
last_error() { grep -m1 -E '^(E|Err):' "$1" | sed -E 's/^(E|Err): *//' | cut -c1-200 || tail -n 1 "$1"; }

log=$root/setup.log
: >"$log"
step "package lists of bookworm (i386) and bookworm-backports"
apt_private i386 bookworm update >>"$log" 2>&1 || fail "$(last_error "$log")"
apt_private amd64 bookworm-backports update >>"$log" 2>&1 || fail "$(last_error "$log")"

# The same Wine version as the machine's 64-bit one where the archive still has it; the
# newest of bookworm otherwise (wineserver's protocol changes only between releases).
wanted=(wine32 libfreetype6)
apt_private i386 bookworm install -s "wine32=$wine_version" >>"$log" 2>&1 &&
  wanted=("wine32=$wine_version" libfreetype6)
step "downloading ${wanted[0]} and its libraries"
apt_private i386 bookworm install -y --download-only --no-install-recommends "${wanted[@]}" \
  >>"$log" 2>&1 || fail "$(last_error "$log")"
(cd "$state" && apt_private amd64 bookworm-backports download qemu-user >>"$log" 2>&1) ||
  fail "$(last_error "$log")"
qemu_deb=$(ls "$state"/qemu-user_*.deb 2>/dev/null | head -n 1)
[[ -n $qemu_deb ]] || fail "qemu-user was not downloaded"
packages=("$state"/i386-bookworm/cache/archives/*.deb)

step "unpacking ${#packages[@]} packages and the emulator"
rm -rf "$tree" "$root/qemu" && mkdir -p "$tree" "$root/qemu" || fail "cannot make $tree"
for package in "${packages[@]}"; do
  dpkg-deb -x "$package" "$tree" || fail "cannot unpack $(basename "$package")"
done
dpkg-deb -x "$qemu_deb" "$root/qemu/deb" || fail "cannot unpack $(basename "$qemu_deb")"
mv "$root/qemu/deb/usr/bin/qemu-i386" "$root/qemu/qemu-i386" && rm -rf "$root/qemu/deb" ||
  fail "qemu-user holds no qemu-i386"
qemu_version=$("$root/qemu/qemu-i386" --version | head -n 1)

# What dpkg would have run: the library cache the 32-bit loader searches, and zlib1.dll marked as
# a Wine builtin as libwine's install script marks it (user32.dll will not load without it).
ldconfig -r "$tree" 2>>"$log" || fail "ldconfig in $tree failed"
zlib_in=$tree/usr/i686-w64-mingw32/lib/zlib1.dll
zlib_out=$tree/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
if [[ -f $zlib_in ]]; then
  { head -c 64 "$zlib_in"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib_in"; } \
    >"$zlib_out" || fail "cannot mark zlib1.dll as a builtin"
fi

# Wine starts its own processes (wineboot, services, a program's children) by running
# <folder of its executable>/<argv[0]>: argv[0] is this launcher, so each of them goes through
# the emulator again.
cat >"$launcher" <<EOF
#!/bin/sh
# Debian's 32-bit Wine under qemu-i386, made by cmake/wine32-emulated.sh.
export WINESERVER="\${WINESERVER:-$server}"
exec "$root/qemu/qemu-i386" -L "$tree" -0 "$launcher" "$tree/usr/lib/wine/wine" "\$@"
EOF
chmod +x "$launcher" || fail "cannot write $launcher"
WINEDEBUG=-all "$launcher" --version >>"$log" 2>&1 || fail "the emulated Wine does not start: $(tail -n 1 "$log")"
rm -rf "$state"
echo "wine $wine_version, $qemu_version" >"$root/.ready"
step "ready in $((SECONDS - started)) s ($(head -n 1 "$root/.ready"))"
