#!/usr/bin/env bash
# The set-up (cmake/install-deps.sh) against an archive that misbehaves, with stand-ins for
# apt-get, dpkg, dpkg-query, npm, locale and sudo on PATH: nothing is installed and no root is
# needed. Each case gives the stand-ins their behaviour and checks the exit status and what the
# set-up said.
#   install_deps_test.sh <source folder>
set -uo pipefail
source_dir=$(cd "${1:?usage: install_deps_test.sh <source folder>}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

mkdir -p "$work/bin"
# apt-get: FAKE_UPDATE_FAILS updates fail first (or "always"); packages matching FAKE_REFUSE
# are refused; anything on a private apt state (wine32-emulated.sh's) fails when FAKE_PRIVATE is
# "fail". Every call is logged; installed packages are listed for dpkg-query.
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE/calls"
private= verb= simulate= packages=()
for arg in "$@"; do
  case $arg in
    Dir::State=*) private=yes ;;
    update|install|download) [[ -z $verb ]] && verb=$arg ;;
    -s) simulate=yes ;;
    -*|*::*) ;;
    *) [[ -n $verb ]] && packages+=("$arg") ;;
  esac
done
if [[ -n $private && ${FAKE_PRIVATE:-} == fail ]]; then
  echo "E: Failed to fetch http://deb.debian.org/debian/dists/bookworm/main/binary-i386/Packages.xz  Connection refused"
  exit 100
fi
if [[ $verb == update ]]; then
  count=$(($(cat "$FAKE/updates" 2>/dev/null || echo 0) + 1))
  echo "$count" >"$FAKE/updates"
  if [[ ${FAKE_UPDATE_FAILS:-0} == always || $count -le ${FAKE_UPDATE_FAILS:-0} ]]; then
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
  fi
  exit 0
fi
for package in "${packages[@]}"; do
  if [[ -n ${FAKE_REFUSE:-} && $package =~ $FAKE_REFUSE ]]; then
    echo "E: Package '$package' has no installation candidate"
    exit 100
  fi
done
[[ $verb == install && -z $simulate ]] && printf '%s\n' "${packages[@]}" >>"$FAKE/installed"
exit 0
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
package=${!#}
[[ $* == *'${Version}'* ]] && { echo "8.0~repack-4"; exit 0; }
[[ ${FAKE_ALL_INSTALLED:-} ]] && { echo installed; exit 0; }
grep -qxF "$package" "$FAKE/installed" 2>/dev/null || { echo "dpkg-query: no packages found matching $package" >&2; exit 1; }
echo installed
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$FAKE/calls"
case $1 in
  --print-foreign-architectures) cat "$FAKE/architectures" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$FAKE/architectures" ;;
  --remove-architecture) sed -i "/^$2\$/d" "$FAKE/architectures" ;;
esac
EOF
printf '#!/bin/sh\nexit 0\n' >"$work/bin/npm"
printf '#!/bin/sh\nprintf "C\\nde_DE.utf8\\nen_US.utf8\\nru_RU.utf8\\nzh_CN.utf8\\n"\n' >"$work/bin/locale"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

# run NAME EXPECTED_STATUS [VAR=VALUE...]: one set-up on a fresh stand-in machine.
run() {
  local name=$1 expected=$2
  shift 2
  export FAKE=$work/$name
  mkdir -p "$FAKE"
  out=$(env PATH="$work/bin:$PATH" ZT_APT_PAUSE=0 ZT_WINE32_ROOT="$FAKE/wine32" "$@" \
          bash "$source_dir/cmake/install-deps.sh" all 2>&1)
  status=$?
  case_name=$name
  ((status == expected)) || problem "exit status $status, expected $expected"
}
problem() {
  echo "FAILED ($case_name): $*"
  echo "$out" | sed 's/^/    | /'
  failures=$((failures + 1))
}
says() { grep -qF -- "$1" <<<"$out" || problem "does not say: $1"; }
calls() { grep -c -- "$1" "$FAKE/calls" 2>/dev/null || true; }

# A mirror syncing its i386 index, every :i386 package refused, a kernel that runs no 32-bit
# program: the required packages install, the set-up says what it left out, and succeeds.
run syncing_mirror 0 ZT_KERNEL_RUNS_32BIT=no FAKE_UPDATE_FAILS=always FAKE_REFUSE=':i386$' FAKE_PRIVATE=fail
says "some package indexes could not be fetched, going on with the rest: Failed to fetch"
says "set-up: compilers: installed cmake"
says "set-up: windows: installed"
says "set-up: 32-bit Wine not installed: "
says "Connection refused; the 32-bit DLL's Wine tests will be skipped, the i686 suite stands in"
(($(calls 'apt-get update -qq') == 3)) || problem "the update was not tried three times"
(($(calls 'wine32:i386') == 0)) || problem "tried wine32:i386 on a kernel that runs no 32-bit program"
grep -q "Connection refused" "$FAKE/wine32.unavailable" 2>/dev/null ||
  problem "the reason was not left for the tests to report"
(($(grep -c . <<<"$out") <= 10)) || problem "more than a line per group"

# Where the kernel runs 32-bit programs, wine32:i386 is tried and, refused, the i386 architecture
# is taken back; the emulated Wine refused too, the set-up still succeeds.
run wine32_refused 0 ZT_KERNEL_RUNS_32BIT=yes FAKE_REFUSE=':i386$' FAKE_PRIVATE=fail
says "32-bit Wine: wine32:i386 cannot be installed (Package 'wine32:i386' has no installation candidate); running it under qemu-user instead"
says "set-up: 32-bit Wine not installed: "
(($(calls 'dpkg --add-architecture i386') == 1 && $(calls 'dpkg --remove-architecture i386') == 1)) ||
  problem "the i386 architecture was not added and taken back"

# A required package refused stops the set-up, naming the package and apt's reason.
run required_refused 1 ZT_WINE32=off FAKE_REFUSE='^chromium$'
says "set-up: browser: cannot install chromium: Package 'chromium' has no installation candidate"
says "stopped: the browser packages are required"

# An update that fails once is tried again and then says nothing; a machine that has everything
# is not touched.
run update_once 0 ZT_WINE32=off FAKE_UPDATE_FAILS=1
(($(calls 'apt-get update') == 2)) || problem "the failed update was not tried again"
grep -q "could not be fetched" <<<"$out" && problem "reported indexes that a second try fetched"
run all_present 0 ZT_WINE32=off FAKE_ALL_INSTALLED=yes
[[ -s $FAKE/calls ]] && problem "called apt or dpkg with nothing missing: $(head -n 1 "$FAKE/calls")"

((failures == 0)) && echo "passed: the set-up goes on past a syncing mirror and stops on a required package"
((failures == 0))
