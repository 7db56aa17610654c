#!/usr/bin/env bash
# Runs one call script against one build of the library and checks what it left behind.
#
#   callscript_run.sh [options]
#     --runner PATH        zt_callscript (Linux) or zt_callscript.exe (run under wine)
#     --library PATH       zentravo.so or zentravo.dll to copy into a fresh folder and load
#     --script PATH        the call script
#     --work DIR           fresh folder for this run (emptied first)
#     --golden PATH        expected transcript; ZT_UPDATE_GOLDEN=1 writes it instead
#     --as NAME            file name the library is installed under (default: its own)
#     --folder SUBDIR      folder below DIR it is installed in (default: terminal)
#     --expect-settings REL  the settings file must appear exactly there (below DIR), and nowhere else
#     --wine-prefix DIR    run the runner under wine in this prefix
#     --compare-runner PATH --compare-library PATH
#                          also run the script with this (Linux) runner and library, and require
#                          the settings files of both runs to hold the same: byte for byte apart
#                          from line ends when the library created the file, the same non-blank
#                          trimmed lines when the script seeded it by hand
# Exit status: 0 pass, 1 fail, 77 skipped (wine, the runner or the library missing).
set -uo pipefail

runner= library= script= work= golden= as= folder=terminal expect= prefix= cmp_runner= cmp_library=
while (($#)); do
  case $1 in
    --runner) runner=$2 ;;
    --library) library=$2 ;;
    --script) script=$2 ;;
    --work) work=$2 ;;
    --golden) golden=$2 ;;
    --as) as=$2 ;;
    --folder) folder=$2 ;;
    --expect-settings) expect=$2 ;;
    --wine-prefix) prefix=$2 ;;
    --compare-runner) cmp_runner=$2 ;;
    --compare-library) cmp_library=$2 ;;
    *) echo "callscript_run.sh: unknown option $1" >&2; exit 1 ;;
  esac
  shift 2
done

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

if [[ -n $prefix ]]; then
  command -v wine >/dev/null || skip "wine is not installed (apt-get install wine wine32 wine64)"
  [[ -f $prefix/.zentravo-prefix-ready ]] || skip "no Wine prefix in $prefix (cmake/wine-prefix.sh makes it)"
fi
[[ -f $library ]] || skip "$library is not built (cmake --preset NAME && cmake --build --preset NAME)"
[[ -f $runner ]] || skip "$runner is not built"

# The Wine loader for a Windows runner. Debian's `wine` starts the 32-bit loader whenever wine32
# is installed; a kernel built without 32-bit support cannot execute it ("Exec format error").
# There a 64-bit runner still runs under the 64-bit loader, and a 32-bit one cannot run at all.
wine_loader=wine
if [[ -n $prefix && $runner == *.exe ]] && ! wine --version >/dev/null 2>&1; then
  # The PE header's machine field: at the offset stored at 0x3c, after "PE\0\0"; 8664 is x86-64.
  header=$(od -An -tu4 -j60 -N4 "$runner" | tr -d ' ')
  machine=$(od -An -tx2 -j$((header + 4)) -N2 "$runner" | tr -d ' ')
  [[ $machine == 8664 && -x /usr/lib/wine/wine64 ]] ||
    skip "wine cannot run this 32-bit runner here: $(wine --version 2>&1 | tail -n 1)"
  wine_loader=/usr/lib/wine/wine64
  export WINELOADER=$wine_loader
fi

# Every runner sees the same clock rules; times the library takes from the clock are masked.
export TZ=UTC WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# run RUNNER LIBRARY FOLDER TRANSCRIPT: installs the library in FOLDER and runs the script there.
run() {
  local runner=$1 library=$2 folder=$3 transcript=$4 name=${as:-$(basename "$2")}
  mkdir -p "$folder" && cp "$library" "$folder/$name" || return 1
  if [[ $runner == *.exe ]]; then
    WINEPREFIX=$prefix "$wine_loader" "$runner" "Z:$folder/$name" "Z:$script" "Z:$transcript"
  else
    "$runner" "$folder/$name" "$script" "$transcript"
  fi
}

rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"
work=$(cd "$work" && pwd)
script=$(cd "$(dirname "$script")" && pwd)/$(basename "$script")
install="$work/$folder"
run "$runner" "$library" "$install" "$work/transcript.txt" || fail "the runner failed (exit $?)"

if [[ -n $golden ]]; then
  if [[ ${ZT_UPDATE_GOLDEN:-0} == 1 ]]; then
    cp "$work/transcript.txt" "$golden" && echo "wrote $golden"
  else
    [[ -f $golden ]] || fail "no golden transcript $golden (ZT_UPDATE_GOLDEN=1 writes it)"
    diff -u "$golden" "$work/transcript.txt" || fail "transcript differs from $golden"
  fi
fi

if [[ -n $expect ]]; then
  [[ -f $work/$expect ]] || fail "no settings file at $expect; found: $(cd "$work" && find . -name '*.ini')"
  others=$(cd "$work" && find . -name '*.ini' ! -path "./$expect")
  [[ -z $others ]] || fail "settings written elsewhere too: $others"
  grep -q '^\[SNAP\]' "$work/$expect" || fail "$expect holds no [SNAP] section"
fi

if [[ -n $cmp_runner ]]; then
  [[ -f $cmp_library && -f $cmp_runner ]] || skip "$cmp_library or $cmp_runner is not built"
  run "$cmp_runner" "$cmp_library" "$work/posix" "$work/posix-transcript.txt" ||
    fail "the Linux runner failed"
  ours_name=${as:-$(basename "$library")} theirs_name=${as:-$(basename "$cmp_library")}
  ours="$install/${ours_name%.*}.ini" theirs="$work/posix/${theirs_name%.*}.ini"
  [[ -f $ours && -f $theirs ]] || fail "a settings file is missing: $ours, $theirs"
  if grep -q '^ *seed-settings' "$script"; then
    normal() { tr -d '\r' < "$1" | sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' -e '/^$/d'; }
    diff -u <(normal "$theirs") <(normal "$ours") ||
      fail "the Windows service and the POSIX store disagree on the settings"
  else
    diff -u <(tr -d '\r' < "$theirs") <(tr -d '\r' < "$ours") ||
      fail "the settings files differ beyond line ends"
  fi
  cmp -s "$theirs" "$ours" || echo "note: settings files differ in line ends only"
fi
echo "passed: $(basename "$script")"
