#!/usr/bin/env bash
# What a terminal needs from the built library file, one check per call.
#
#   check_binary.sh so-exports <zentravo.so>
#   check_binary.sh dll-exports|dll-imports|dll-resources <objdump> <zentravo.dll>
#   check_binary.sh dll-stdcall <nm> <folder of the i686 build>
#   check_binary.sh dll-reproducible <toolchain file> <source folder> <zentravo.dll> <scratch folder>
# Exit status: 0 pass, 1 fail, 77 skipped (the build or the tool is missing).
set -uo pipefail

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
need_file() { [[ -f $1 ]] || skip "$1 is not built (cmake --preset win32|win64 && cmake --build --preset ...)"; }
need_tool() { command -v "$1" >/dev/null || skip "$1 is not installed (the MinGW-w64 binutils)"; }

# The twelve exports of the header, plain names, sorted as `sort` sorts them.
exports="GetAlert GetEmailSubject GetEmailText GetEquitySnap GetIndex GetLabel GetValue InitZT SetEmailProp SetEquity SetLastValues SetTTC"
expect_names() { tr ' ' '\n' <<<"$1" | LC_ALL=C sort; }

check=$1
shift
case $check in
  so-exports)
    need_file "$1"
    actual=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TtWi]$/ {print $3}' | LC_ALL=C sort)
    diff -u <(expect_names "$exports SetWindowTitles") <(echo "$actual") ||
      fail "zentravo.so must export the twelve and SetWindowTitles, nothing else"
    ;;
  dll-exports)
    need_tool "$1"; need_file "$2"
    # The name table of the export directory: "[ n] Name" lines after "[Ordinal/Name Pointer] Table".
    actual=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
             sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | LC_ALL=C sort)
    diff -u <(expect_names "$exports") <(echo "$actual") ||
      fail "exports must be exactly the twelve plain names"
    ;;
  dll-imports)
    need_tool "$1"; need_file "$2"
    dlls=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | LC_ALL=C sort -u)
    echo "imports: $(echo $dlls)"
    [[ -n $dlls ]] || fail "no import table found"
    unexpected=$(grep -vxE 'KERNEL32.DLL|USER32.DLL|MSVCRT.DLL' <<<"$dlls")
    [[ -z $unexpected ]] || fail "imports beyond the system DLLs: $(echo $unexpected)"
    stamp=$("$1" -p "$2" | sed -n 's/^Time\/Date[[:space:]]*//p' | head -1)
    [[ $stamp == "Thu Jan  1 00:00:00 1970" ]] || fail "the PE header carries a time stamp: $stamp"
    ;;
  dll-resources)
    need_tool "$1"; need_file "$2"
    windres=${1%objdump}windres
    need_tool "$windres"
    resources=$("$windres" -i "$2" -O rc) || fail "cannot read the resources"
    grep -q 'FILEVERSION 2011, 6, 21, 0' <<<"$resources" || fail "file version is not 2011.6.21.0"
    grep -q 'PRODUCTVERSION 2011, 6, 21, 0' <<<"$resources" || fail "product version is not 2011.6.21.0"
    grep -q 'VALUE "FileVersion", "2011.6.21.0"' <<<"$resources" || fail "no FileVersion text"
    grep -q 'VALUE "ProductVersion", "2011.6.21.0"' <<<"$resources" || fail "no ProductVersion text"
    grep -q '24 /\* RT_MANIFEST \*/' <<<"$resources" || fail "no manifest resource"
    grep -q 'requestedExecutionLevel level=""asInvoker"" uiAccess=""false""' <<<"$resources" ||
      fail "the manifest does not ask for asInvoker without UI access"
    ;;
  dll-stdcall)
    need_tool "$1"
    objects=$(find "$2/src" -path '*boundary*' -name '*.obj' 2>/dev/null)
    [[ -n $objects ]] || skip "no i686 objects in $2 (cmake --build --preset win32)"
    # Bytes of arguments a terminal's 32-bit import declaration pushes: int and pointer 4, double 8.
    expected="_GetAlert@8 _GetEmailSubject@8 _GetEmailText@20 _GetEquitySnap@0 _GetIndex@16 _GetLabel@12 _GetValue@12 _InitZT@52 _SetEmailProp@24 _SetEquity@28 _SetLastValues@24 _SetTTC@12"
    # The library's own DllMain is the loader's entry point, not an export: left out.
    actual=$("$1" --defined-only $objects |
      awk '$2 == "T" && $3 ~ /^_[A-Z][A-Za-z]*@[0-9]+$/ && $3 != "_DllMain@12" {print $3}' | LC_ALL=C sort)
    diff -u <(expect_names "$expected") <(echo "$actual") ||
      fail "stdcall argument sizes differ from the terminal's declarations"
    ;;
  dll-reproducible)
    toolchain=$1 source=$2 built=$3 scratch=$4
    need_file "$built"
    need_tool "$(sed -n 's/^set(ZT_MINGW_PREFIX \(.*\))$/\1/p' "$toolchain")-g++-posix"
    rm -rf "$scratch"
    cmake -S "$source" -B "$scratch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TOOLS=OFF >/dev/null || fail "cannot configure $scratch"
    cmake --build "$scratch" --target zentravo -j2 >/dev/null || fail "cannot build in $scratch"
    cmp "$built" "$scratch/zentravo.dll" ||
      fail "a second build in another folder gives other bytes (or $built is older than the sources)"
    ;;
  *) fail "unknown check $check" ;;
esac
echo "passed: $check"
