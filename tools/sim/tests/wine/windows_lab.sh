#!/usr/bin/env bash
# zt-sim.exe under Wine against the Linux zt-sim on the same inputs: the JSON of each must be the
# same bytes. A single run on a history the 64-bit terminal exported (UTF-16 LE with its byte-order
# mark, CR LF) in a folder whose name is not ASCII, the same run from a settings file there,
# ladders side by side, --runs over several processes, --library refused, and a stop request
# mid-run that leaves every output whole.
#   windows_lab.sh <zt-sim> <zt-sim.exe> <wine prefix> <bars.csv> <work folder>
# Exit status 0 when all agree, 1 when one does not, 77 (skipped) without the program or Wine.
set -uo pipefail
native=$(realpath -m "$1") windows=$(realpath -m "$2") prefix=$(realpath -m "$3")
bars=$(realpath -m "$4") work=$5
[[ -f $windows ]] || { echo "SKIPPED: $windows is not built (cmake --build --preset win64)"; exit 77; }
source "$(dirname "$0")/../../../../cmake/wine-loader.sh"
loader=$(zt_wine_ready "$prefix" "$windows") || { echo "SKIPPED: $loader"; exit 77; }
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A run Wine starts from a run must find the same loader (Debian's `wine` names it only for itself).
[[ $loader == */wine64 || -x /usr/lib/wine/wine64 && ! -x /usr/lib/wine/wine ]] &&
  export WINELOADER=${WINELOADER:-/usr/lib/wine/wine64}
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The terminal's own export, as saved: UTF-16 LE after its mark, lines ending in CR LF, under a
# profile folder named with a letter outside ASCII. Both programs get the same relative names,
# since the JSON repeats the --history given.
files="Zoë/AppData/Roaming/MetaQuotes/Terminal/D0E8209F/MQL5/Files"
mkdir -p "$files"
{ printf '\xff\xfe'; sed 's/\r*$/\r/' "$bars" | iconv -f UTF-8 -t UTF-16LE; } >"$files/EURUSD_H1.csv"
grid=(--market model --strategy grid --grid-lots 0.1 --grid-multiplier 2 --grid-levels 10
  --grid-step 100)
ladders=(--ladder 'tight=60,40|30,60||100' --ladder 'mid=120,80|60,120||250'
  --ladder 'wide=300,200|150,300||600')

# same NAME ARGS...: both programs with ARGS and --json into their own file; the files compared.
same() {
  local name=$1 && shift
  "$native" "$@" --json "$files/$name.linux.json" >"$name.linux.out" 2>"$name.linux.err" ||
    { fail "$name: zt-sim: $(head -n 2 "$name.linux.err")"; return; }
  "$loader" "$windows" "$@" --json "$files/$name.windows.json" >"$name.windows.out" \
    2>"$name.windows.err" || { fail "$name: zt-sim.exe: $(head -n 2 "$name.windows.err")"; return; }
  cmp -s "$files/$name.linux.json" "$files/$name.windows.json" &&
    echo "same: $name ($(wc -c <"$files/$name.linux.json") bytes of JSON)" ||
    fail "$name: the JSON differs: $(cmp "$files/$name.linux.json" "$files/$name.windows.json")"
}

"$loader" "$windows" --version | grep -q '^zt-sim [0-9]' || fail "zt-sim.exe --version"
same single --history "$files/EURUSD_H1.csv" "${grid[@]}"
# The same run from a settings file in that folder, named with a space too: the file is read by
# its UTF-16 name, its history by the UTF-8 path it holds; the command line's --grid-levels wins.
cat >"$files/lab settings.ini" <<EOF
# The grid on the terminal's export.
history = "$files/EURUSD_H1.csv"
market = "model"
strategy = "grid"
grid-lots = 0.1
grid-multiplier = 2
grid-levels = 10
grid-step = 100
quiet
EOF
same settings --config "$files/lab settings.ini" --grid-levels 6
same ladders --history "$files/EURUSD_H1.csv" "${grid[@]}" "${ladders[@]}"
same runs "${grid[@]}" --ticks 3000 --runs 8 --jobs 3 "${ladders[@]}"
# A DLL loaded by zt-sim.exe would stamp its files with this machine's clock: refused, saying why.
: >zentravo.dll
if "$loader" "$windows" --library zentravo.dll --ticks 10 >library.out 2>library.err; then
  fail "--library zentravo.dll was run"
elif grep -q "would read this machine's clock" library.err; then
  echo "refused: --library zentravo.dll"
else
  fail "--library zentravo.dll: $(head -n 2 library.err)"
fi

# stopped NAME ARGS...: zt-sim.exe started with ARGS, Ctrl-C (Wine hands SIGINT to the console's
# handler) once it has run a while; it must end as a stopped run (130), its JSON whole or unwritten.
stopped() {
  local name=$1 && shift
  "$loader" "$windows" "$@" --json "$name.json" >"$name.out" 2>"$name.err" &
  local run=$!
  sleep 4
  kill -INT "$run"
  wait "$run"
  local code=$?
  [[ $code == 130 ]] || { fail "$name: ended with $code, not 130: $(tail -n 2 "$name.err")"; return; }
  # A single run writes what it ran so far; stopped runs side by side write nothing at all.
  if [[ -e $name.json ]] && ! python3 -c 'import json,sys; json.load(open(sys.argv[1]))' \
    "$name.json" 2>/dev/null; then
    fail "$name: the JSON written on the stop is not whole"
    return
  fi
  echo "stopped: $name: $(grep -ho 'interrupted[^;]*' "$name.out" "$name.err" | head -n 1)"
}
stopped single-stop "${grid[@]}" --ticks 900000000 --state state
[[ -s single-stop.json ]] || fail "single-stop: no JSON of the ticks it ran"
grep -q '^running=0' state/zt-sim-state.txt || fail "single-stop: the state was not saved whole"
stopped runs-stop "${grid[@]}" --ticks 900000000 --runs 4 --jobs 2 "${ladders[@]}"
# The stop reached every run: none is left behind (the job object would end them with the parent).
left() { pgrep -af "$(sed 's#[/\\]#.#g' <<<"$windows")" | grep -v windows_lab.sh; }
for _ in 1 2 3 4 5; do left >/dev/null || break; sleep 1; done
left >/dev/null && fail "runs-stop: runs were left running: $(left | head -n 1)"
exit $failed
