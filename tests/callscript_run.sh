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
#     --expect-settings REL  the settings file must appear exactly there (below DIR), and nowhere else;
#                          no statistics or temporary file may be left anywhere
#     --decoy REL          a settings file of another guard (snapshot 7777) placed there first,
#                          which the run must leave byte for byte as it was
#     --path-length N      pads the folder so that the library's full path (as the host sees it:
#                          with "Z:" under Wine) is N characters long; --expect-settings deep then
#                          means the settings file beside it
#     --chinese-folder N   installs the library N Chinese characters deep (in folders of at most 63,
#                          which the file systems' 255-byte name limit allows in UTF-8); the whole
#                          path must stay under 260 characters while its code page 936 form is
#                          past 260 bytes. --expect-settings deep then means the file beside it
#     --lang LOCALE        the run's locale (under Wine it chooses the ANSI code page: en_US 1252,
#                          ru_RU 1251, zh_CN 936)
#     --wine-prefix DIR    run the runner under wine in this prefix
#     --compare-runner PATH --compare-library PATH
#                          also run the script with this (Linux) runner and library, and require
#                          the settings files of both runs to hold the same: byte for byte apart
#                          from line ends when the library created the file, the same non-blank
#                          trimmed lines when the script seeded it by hand
# Exit status: 0 pass, 1 fail, 77 skipped (wine, the runner or the library missing).
set -uo pipefail

runner= library= script= work= golden= as= folder=terminal expect= prefix= cmp_runner= cmp_library=
decoy= lang= path_length= chinese=
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
    --decoy) decoy=$2 ;;
    --lang) lang=$2 ;;
    --path-length) path_length=$2 ;;
    --chinese-folder) chinese=$2 ;;
    *) echo "callscript_run.sh: unknown option $1" >&2; exit 1 ;;
  esac
  shift 2
done

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

[[ -f $library ]] || skip "$library is not built (cmake --preset NAME && cmake --build --preset NAME)"
[[ -f $runner ]] || skip "$runner is not built"
# A read-only file binds everyone but root, who may write it all the same: as root, the Linux
# runner shows what a read-only settings file does only as another user (nobody), in a work
# folder that user owns.
as_user=()
if [[ $runner != *.exe ]] && (( $(id -u) == 0 )) && grep -q '^ *read-only' "$script"; then
  command -v setpriv >/dev/null ||
    skip "$(basename "$script") marks the settings file read-only, which root may write all the same, and setpriv is missing to run it as another user"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
if [[ -n $prefix ]]; then
  source "$(dirname "$0")/../cmake/wine-loader.sh"
  loader=$(zt_wine_ready "$prefix" "$runner") || skip "$loader"
fi

# Every runner sees the same clock rules; times the library takes from the clock are masked.
export TZ=UTC WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [[ -n $lang ]]; then
  normal_locale() { tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/'; }
  grep -qx "$(normal_locale <<<"$lang")" <<<"$(locale -a | normal_locale)" || skip "no locale $lang (cmake/install-deps.sh makes it)"
  export LANG=$lang LC_ALL=$lang
fi

# run RUNNER LIBRARY FOLDER TRANSCRIPT: installs the library in FOLDER and runs the script there.
run() {
  local runner=$1 library=$2 folder=$3 transcript=$4 name=${as:-$(basename "$2")}
  mkdir -p "$folder" && cp "$library" "$folder/$name" || return 1
  if [[ $runner == *.exe ]]; then
    WINEPREFIX=$prefix "$loader" "$runner" "Z:$folder/$name" "Z:$script" "Z:$transcript"
  else
    if ((${#as_user[@]})); then
      chown -R 65534:65534 "$work" && "${as_user[@]}" "$runner" "$folder/$name" "$script" "$transcript"
    else
      "$runner" "$folder/$name" "$script" "$transcript"
    fi
  fi
}

rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"
work=$(cd "$work" && pwd)
script=$(cd "$(dirname "$script")" && pwd)/$(basename "$script")
# That user must reach the runner, the script and the work folder: a checkout inside a folder
# closed to others (mktemp -d makes one) hides them, and then root cannot show the refusal.
if ((${#as_user[@]})) && ! "${as_user[@]}" test -x "$runner" -a -r "$script" -a -x "$(dirname "$work")"; then
  skip "$(basename "$script") must run as the user nobody, who cannot reach $runner, the script or $work (a folder above them is closed to others)"
fi
if [[ -n $path_length ]]; then
  name=${as:-$(basename "$library")} drive=${prefix:+Z:}
  used=$(( ${#drive} + ${#work} + 1 + ${#folder} + 1 + ${#name} ))
  while (( path_length - used > 1 )); do
    step=$(( path_length - used - 1 < 120 ? path_length - used - 1 : 120 ))
    (( path_length - used - step - 1 == 1 )) && step=$(( step - 1 ))
    folder+=/$(printf 'd%.0s' $(seq "$step"))
    used=$(( used + step + 1 ))
  done
  (( used == path_length )) || fail "cannot make a $path_length-character path from $work (got $used)"
  [[ $expect == deep ]] && expect=$folder/${name%.*}.ini
fi
if [[ -n $chinese ]]; then
  # Distinct ideographs from U+5B89 on, all in code page 936.
  folder= segment=
  for ((i = 0; i < chinese; ++i)); do
    segment+=$(printf "\\U$(printf '%08X' $((0x5B89 + i)))")
    if (( (i + 1) % 63 == 0 || i + 1 == chinese )); then folder+=${folder:+/}$segment segment=; fi
  done
  name=${as:-$(basename "$library")} drive=${prefix:+Z:}
  full="$drive$work/$folder/$name"
  (( ${#full} < 260 )) || fail "the path is ${#full} characters, not under 260: shorten --work"
  ansi=$(printf '%s' "$full" | iconv -f UTF-8 -t CP936 | wc -c) || fail "iconv cannot give code page 936"
  (( ansi > 260 )) || fail "the path's code page 936 form is only $ansi bytes"
  echo "library path: ${#full} characters, $ansi bytes in code page 936"
  [[ $expect == deep ]] && expect=$folder/${name%.*}.ini
fi
install="$work/$folder"
decoy_text=$'[SNAP]\r\nEquity Snap=7777.00\r\nInitial Equity=7777.00\r\n'
if [[ -n $decoy ]]; then
  mkdir -p "$(dirname "$work/$decoy")" && printf '%s' "$decoy_text" > "$work/$decoy" ||
    fail "cannot place the decoy $decoy"
fi
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
  others=$(cd "$work" && find . -name '*.ini' ! -path "./$expect" ! -path "./$decoy")
  [[ -z $others ]] || fail "settings written elsewhere too: $others"
  grep -q '^\[SNAP\]' "$work/$expect" || fail "$expect holds no [SNAP] section"
  left=$(cd "$work" && find . -name '*.csv' -o -name '*.tmp')
  [[ -z $left ]] || fail "files left behind: $left"
fi
if [[ -n $decoy ]]; then
  cmp -s <(printf '%s' "$decoy_text") "$work/$decoy" || fail "the decoy $decoy was changed"
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
