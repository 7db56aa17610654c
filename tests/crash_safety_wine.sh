#!/usr/bin/env bash
# Crash safety of the settings file on Windows: zt_crash_host.exe loads zentravo.dll under Wine
# and drives the guard as fast as it can; this script kills the Wine process with SIGKILL at
# seeded random moments, as a power cut or a task manager's "end task" would. After every kill
# the settings file must be complete (every line ended, both sections and all eight keys, or the
# start's two amounts alone when the kill came before the host's first step wrote a position, every
# value a whole number), and the next start must resume exactly what the file holds.
#
#   crash_safety_wine.sh <wine prefix> <zt_crash_host.exe> <zentravo.dll> <work folder> [kills]
# Exit status: 0 pass, 1 fail, 77 skipped (nothing built, no Wine or no loader for the DLL).
set -uo pipefail
prefix=$1 host=$2 dll=$3 work=$4 kills=${5:-40}

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: kill $kill: $*"; [[ -f ${settings:-} ]] && cat -A "$settings"; exit 1; }

[[ -f $host ]] || skip "$host is not built"
[[ -f $dll ]] || skip "$dll is not built"
source "$(dirname "$0")/../cmake/wine-loader.sh"
loader=$(zt_wine_ready "$prefix" "$dll") || skip "$loader"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" TZ=UTC
unset DISPLAY WAYLAND_DISPLAY

rm -rf "$work" && mkdir -p "$work/terminal" || exit 1
work=$(cd "$work" && pwd)
cp "$dll" "$work/terminal/zentravo.dll" || exit 1
settings=$work/terminal/zentravo.ini

# value SECTION KEY: the key's value in the file, "(missing)" when it has none.
value() {
  awk -v section="[$1]" -v key="$2" '
    { sub(/\r$/, "") }
    /^\[/ { inside = ($0 == section); next }
    inside && index($0, key "=") == 1 { print substr($0, length(key) + 2); found = 1; exit }
    END { if (!found) print "(missing)" }' "$settings"
}

# The file as the guard writes it, whole: CR LF after every line, [SNAP] with its two amounts and
# [INDEX] with its four positions, once each and nothing else. A torn write shows as a cut line,
# a cut value or a missing key.
well_formed() {
  [[ -s $settings ]] || { echo "no settings file"; return 1; }
  [[ $(tail -c 2 "$settings" | od -An -c | tr -d ' ') == '\r\n' ]] || { echo "last line cut"; return 1; }
  awk '
    { if (sub(/\r$/, "") == 0) { print "line " NR " has no CR LF"; bad = 1 } }
    /^\[(SNAP|INDEX)\]$/ { if (seen[$0]++) { print "two " $0 " sections"; bad = 1 } section = $0; next }
    {
      split($0, part, "=")
      name = section " " part[1]; value = substr($0, length(part[1]) + 2)
      amount = name == "[SNAP] Equity Snap" || name == "[SNAP] Initial Equity"
      index_ = name ~ /^\[INDEX\] (TPSet|TP|DDSet|DD|Increase|SL)$/
      if (amount && value !~ /^(0|[0-9]+\.[0-9][0-9])$/) { print "cut amount: " $0; bad = 1 }
      else if (index_ && value !~ /^[0-9]+$/) { print "cut position: " $0; bad = 1 }
      else if (!amount && !index_) { print "stray line: " $0; bad = 1 }
      if (keys[name]++) { print "two " name; bad = 1 }
    }
    END {
      # The start writes the two amounts; the positions come with the first step after it.
      if (length(keys) != 8 && !(length(keys) == 2 && !("[INDEX]" in seen))) {
        print "keys: " length(keys) " of 8"; bad = 1
      }
      exit bad
    }' "$settings"
}

# What a start resumes from the stored values: a stored snapshot only when it is a usable
# (positive) amount, else the equity the host passes, 1000; the initial equity likewise; a
# position not written yet, the first.
resumed() {
  local snap=$1 initial=$2 position positions=()
  shift 2
  [[ $snap == "(missing)" || $snap == 0 || $snap == 0.00 ]] && snap=1000.00
  [[ $initial == "(missing)" || $initial == 0 || $initial == 0.00 ]] && initial=$snap
  for position; do
    [[ $position == "(missing)" ]] && position=0
    positions+=("$position")
  done
  echo "I $snap $initial ${positions[*]}"
}

RANDOM=20110713
expected="I 1000.00 1000.00 0 0 0 0"  # no file yet: a first start
inside_write=0 changed=0 previous=
start=$SECONDS
for ((kill = 1; kill <= kills; ++kill)); do
  out=$work/host-$kill.txt
  "$loader" "$host" "Z:$work/terminal/zentravo.dll" "$kill" > "$out" 2> "$work/host-$kill.err" &
  pid=$!
  # Wait for its start line: a start under emulated 32-bit Wine with both cores busy has taken
  # more than 30 s, so up to two minutes (a host that died stops the wait at once).
  for ((tick = 0; tick < 12000; ++tick)); do
    [[ -s $out ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.01
  done
  [[ -s $out ]] || fail "the host did not start: $(cat "$work/host-$kill.err")"
  sleep "0.0$(printf '%02d' $((RANDOM % 60)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  status=$?
  (( status == 137 )) || fail "the host ended on its own (status $status): $(cat "$work/host-$kill.err")"

  line=$(head -n 1 "$out")
  [[ $line == "$expected" ]] || fail "the start resumed \"$line\", the file held \"$expected\""
  problem=$(well_formed) || fail "the file is not whole: $problem"
  expected=$(resumed "$(value SNAP 'Equity Snap')" "$(value SNAP 'Initial Equity')" \
    "$(value INDEX TPSet)" "$(value INDEX TP)" "$(value INDEX DDSet)" "$(value INDEX DD)")
  [[ $expected != "$previous" ]] && ((++changed))
  previous=$expected
  # A kill between the temporary file's creation and its rename leaves it behind; the settings
  # file itself was checked whole above.
  for temporary in "$settings".*.tmp; do
    [[ -e $temporary ]] || continue
    ((++inside_write))
    rm -f "$temporary"
  done
done
echo "$kills kills in $((SECONDS - start)) s: the file changed between $changed of them, $inside_write kills landed inside a write"
# Kills that never found the host writing, or never inside a write, would test nothing.
(( changed > kills / 2 )) || { echo "FAILED: the host hardly wrote between kills"; exit 1; }
(( inside_write > 0 )) || { echo "FAILED: no kill landed inside a write"; exit 1; }
echo "passed: every kill left a whole settings file that the next start resumed exactly"
