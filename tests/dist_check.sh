#!/usr/bin/env bash
# The trader's zip as a trader installs it: unpacked into a terminal's data folder inside a Wine
# prefix, every file where the terminal looks for it, the checksums right, and each DLL answering
# a call script from its place under MQL4/Libraries or MQL5/Libraries.
#
#   dist_check.sh <zip> <64-bit wine prefix> <32-bit wine prefix> <win32 build folder>
#                 <win64 build folder> <script> <golden>
# The data folder lies in the 64-bit prefix; the 32-bit runner reaches it there by its Z: path.
# Exit status: 0 pass, 1 fail, 77 skipped (the zip, Wine or a runner missing).
set -uo pipefail
zip=$1 prefix=$2 prefix32=$3 win32=$4 win64=$5 script=$6 golden=$7

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

[[ -f $zip ]] || skip "$zip is not built (make dist)"
[[ -f $prefix/.zentravo-prefix-ready ]] || skip "no Wine prefix in $prefix (cmake/wine-prefix.sh makes it)"
source "$(dirname "$0")/../cmake/wine-loader.sh"

# Where a terminal keeps its data: the user's roaming folder, one folder per installation.
data="$prefix/drive_c/users/trader/AppData/Roaming/MetaQuotes/Terminal/D0E8209F77C8CF37AD8BF550E51FF075"
rm -rf "$data" && mkdir -p "$data" || fail "cannot make $data"
(cd "$data" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"

expected="MQL4/Experts/ZentravoGuard.mq4
MQL4/Include/Zentravo.mqh
MQL4/Include/ZentravoBooks.mqh
MQL4/Include/ZentravoClose.mqh
MQL4/Include/ZentravoHost.mqh
MQL4/Include/ZentravoMemory.mqh
MQL4/Include/ZentravoMessages.mqh
MQL4/Include/ZentravoPanel.mqh
MQL4/Include/ZentravoStart.mqh
MQL4/Libraries/zentravo.dll
MQL5/Experts/ZentravoGuard.mq5
MQL5/Include/Zentravo.mqh
MQL5/Include/ZentravoBooks.mqh
MQL5/Include/ZentravoClose.mqh
MQL5/Include/ZentravoHost.mqh
MQL5/Include/ZentravoMemory.mqh
MQL5/Include/ZentravoMessages.mqh
MQL5/Include/ZentravoPanel.mqh
MQL5/Include/ZentravoStart.mqh
MQL5/Libraries/zentravo.dll
Zentravo/LICENSE
Zentravo/QUICKSTART.txt
Zentravo/SHA256SUMS
Zentravo/lab.cmd
Zentravo/panel.html
Zentravo/panel/closing-100.png
Zentravo/panel/closing-100.svg
Zentravo/panel/closing-150.png
Zentravo/panel/closing-150.svg
Zentravo/panel/not-protecting-100.png
Zentravo/panel/not-protecting-100.svg
Zentravo/panel/not-protecting-150.png
Zentravo/panel/not-protecting-150.svg
Zentravo/panel/running-100.png
Zentravo/panel/running-100.svg
Zentravo/panel/running-150.png
Zentravo/panel/running-150.svg
Zentravo/zt-sim.exe"
found=$(cd "$data" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[[ $found == "$expected" ]] || fail "the zip's files are not the data folder's layout:
$(diff <(echo "$expected") <(echo "$found"))"
(cd "$data" && sha256sum --quiet -c Zentravo/SHA256SUMS) || fail "a checksum does not match"
# The quick start opens in Notepad: every line ends in CR LF, under 150 lines, the version filled in.
quick=$data/Zentravo/QUICKSTART.txt
lines=$(wc -l <"$quick")
crlf=$(grep -c $'\r$' "$quick")
[[ $lines -gt 0 && $lines -lt 150 && $crlf -eq $lines && $(tail -c 2 "$quick" | od -An -c | tr -d ' ') == '\r\n' ]] ||
  fail "QUICKSTART.txt: $lines lines, $crlf ending in CR LF"
! grep -q '@[A-Z_]*@' "$quick" || fail "QUICKSTART.txt: the version is not filled in"
# Every picture the page shows is in the zip.
for picture in $(grep -o 'panel/[a-z0-9-]*\.\(svg\|png\)' "$data/Zentravo/panel.html" | sort -u); do
  [[ -f $data/Zentravo/$picture ]] || fail "panel.html shows $picture, which the zip lacks"
done
[[ $(zt_pe_bits "$data/MQL4/Libraries/zentravo.dll") == 32 ]] || fail "MQL4 holds no 32-bit DLL"
[[ $(zt_pe_bits "$data/MQL5/Libraries/zentravo.dll") == 64 ]] || fail "MQL5 holds no 64-bit DLL"
# The lab: a 64-bit program (PE32+) that starts from its place in the zip, and its console's
# script in CR LF, as cmd.exe reads it.
lab=$data/Zentravo/zt-sim.exe
file -b "$lab" | grep -q '^PE32+ executable (console) x86-64' ||
  fail "Zentravo/zt-sim.exe is not a 64-bit console program: $(file -b "$lab")"
[[ $(grep -c $'\r$' "$data/Zentravo/lab.cmd") -eq $(wc -l <"$data/Zentravo/lab.cmd") ]] ||
  fail "lab.cmd: not every line ends in CR LF"

export TZ=UTC WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if lab_loader=$(zt_wine_ready "$prefix" "$lab"); then
  version=$(WINEPREFIX=$prefix "$lab_loader" "$lab" --version) || fail "zt-sim.exe --version failed"
  [[ $version == "zt-sim "[0-9]* ]] || fail "zt-sim.exe --version said: $version"
  echo "the lab starts: $version"
else
  echo "note: zt-sim.exe not started: $lab_loader"
fi
ran=0
for run in "MQL4 $win32 $prefix32" "MQL5 $win64 $prefix"; do
  read -r terminal build its_prefix <<<"$run"
  runner=$build/zt_callscript.exe library=$data/$terminal/Libraries/zentravo.dll
  [[ -f $runner ]] || { echo "note: $runner is not built; $terminal not run"; continue; }
  if ! loader=$(zt_wine_ready "$its_prefix" "$runner"); then
    echo "note: $terminal not run: $loader"
    continue
  fi
  transcript=$data/$terminal-transcript.txt
  WINEPREFIX=$its_prefix "$loader" "$runner" "Z:$library" "Z:$script" "Z:$transcript" ||
    fail "the $terminal runner failed"
  diff -u "$golden" "$transcript" || fail "$terminal: the transcript differs from $golden"
  [[ -f $data/$terminal/Libraries/zentravo.ini ]] || fail "$terminal: no settings file beside the DLL"
  ran=$((ran + 1))
done
((ran > 0)) || skip "no DLL of the package could be run here"
echo "passed: the package installs and runs ($ran of 2 DLLs run)"
