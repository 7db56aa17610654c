#!/usr/bin/env bash
# Two terminals on one library folder: two host processes load the same library file, so both
# guards keep one settings file. Each runs its call script (scripts/two_hosts/host_a.zts and
# host_b.zts), which meet at barriers so that for 20 rounds both close all on the same tick and
# roll on the same tick, then restart. Afterwards:
#   - every round both restarts resumed the same state, and a whole one: the snapshot of one of
#     the two rolls beside the positions that same roll set (A's passes an increase target while
#     it has one left and B's never does, so a mix of the two writes shows);
#   - the file holds each section once, the trader's own hand-written lines as they were, and
#     the initial equity of the first start;
#   - a third start on the folder resumes exactly that.
#
#   two_hosts_run.sh --runner PATH --library PATH --work DIR [--wine-prefix DIR]
# Exit status: 0 pass, 1 fail, 77 skipped (nothing built, no Wine or no loader for the library).
set -uo pipefail

runner= library= work= prefix=
while (($#)); do
  case $1 in
    --runner | --library | --work) printf -v "${1#--}" '%s' "$2" ;;
    --wine-prefix) prefix=$2 ;;
    *) echo "two_hosts_run.sh: unknown option $1" >&2; exit 1 ;;
  esac
  shift 2
done
scripts=$(cd "$(dirname "$0")/scripts/two_hosts" && pwd)
rounds=20

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

[[ -f $library ]] || skip "$library is not built"
[[ -f $runner ]] || skip "$runner is not built"
if [[ -n $prefix ]]; then
  source "$(dirname "$0")/../cmake/wine-loader.sh"
  loader=$(zt_wine_ready "$prefix" "$runner") || skip "$loader"
  export WINEPREFIX=$prefix
fi
export TZ=UTC WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

rm -rf "$work" && mkdir -p "$work/terminal" || fail "cannot make $work"
work=$(cd "$work" && pwd)
name=$(basename "$library")
cp "$library" "$work/terminal/$name" || fail "cannot install the library"
settings=$work/terminal/${name%.*}.ini
# The trader's own lines, which neither guard may change.
mine=$'; kept by hand: my broker account\r\n[Mine]\r\nbroker=Demo Server\r\nnote=do not touch\r\n'
printf '%s' "$mine" > "$settings"

# host SCRIPT TRANSCRIPT: one host process running a script against the shared library.
host() {
  if [[ -n $prefix ]]; then
    "$loader" "$runner" "Z:$work/terminal/$name" "Z:$scripts/$1" "Z:$work/$2"
  else
    "$runner" "$work/terminal/$name" "$scripts/$1" "$work/$2"
  fi
}

start=$SECONDS
host host_a.zts a.txt 2> "$work/a.err" & a=$!
host host_b.zts b.txt 2> "$work/b.err" & b=$!
wait $a; status_a=$?
wait $b; status_b=$?
(( status_a == 0 && status_b == 0 )) ||
  fail "a host failed (A $status_a, B $status_b): $(cat "$work/a.err" "$work/b.err")"
echo "$rounds rounds of two hosts in $((SECONDS - start)) s"

# results TRANSCRIPT PATTERN: what the lines matching PATTERN gave, one a line.
results() { grep -E "$2" "$work/$1" | sed 's/.* => //'; }

# Round by round, what the two restarts resumed.
mapfile -t snaps_a < <(results a.txt '^GetEquitySnap')
mapfile -t snaps_b < <(results b.txt '^GetEquitySnap')
mapfile -t index_a < <(results a.txt '^GetIndex')
mapfile -t index_b < <(results b.txt '^GetIndex')
(( ${#snaps_a[@]} == rounds && ${#snaps_b[@]} == rounds )) || fail "not $rounds restarts each"
(( ${#index_a[@]} == 2 * rounds && ${#index_b[@]} == 2 * rounds )) || fail "not $rounds rolls each"
mixed=0
for ((r = 0; r < rounds; ++r)); do
  rolled_a=${index_a[2 * r]} rolled_b=${index_b[2 * r]}  # each host's positions after its roll
  resumed=${index_a[2 * r + 1]}
  [[ $rolled_a != "$rolled_b" ]] && ((++mixed))
  [[ ${snaps_a[r]} == "${snaps_b[r]}" && $resumed == "${index_b[2 * r + 1]}" ]] ||
    fail "round $((r + 1)): the two restarts resumed different states: A ${snaps_a[r]}, $resumed; B ${snaps_b[r]}, ${index_b[2 * r + 1]}"
  case ${snaps_a[r]} in
    1200.25) want=$rolled_a ;;
    1200.75) want=$rolled_b ;;
    *) fail "round $((r + 1)): resumed the snapshot ${snaps_a[r]}, which neither roll wrote" ;;
  esac
  [[ $resumed == "$want" ]] ||
    fail "round $((r + 1)): resumed \"$resumed\" beside the snapshot ${snaps_a[r]}, whose roll set \"$want\""
done
(( mixed > 0 )) || fail "the two rolls never set different positions: a mix could not show"

# Every round did what the scripts say: the step, the close-all, A's increase target.
for h in a b; do
  [[ $(results $h.txt '^barrier ' | sort -u) == passed ]] || fail "host $h: a barrier did not pass"
  [[ $(results $h.txt '^SetEquity 1170 ' | sort | uniq -c | tr -s ' ') == " $rounds 3" ]] ||
    fail "host $h: not every round stepped a drawdown"
  [[ $(results $h.txt '^SetEquity 1300 ' | sort | uniq -c | tr -s ' ') == " $rounds 2" ]] ||
    fail "host $h: not every round closed all on the take profit"
done
[[ $(results a.txt '^SetEquity 1200.25 ' | head -n 1) == 1 ]] ||
  fail "host A's first roll did not pass its increase target"
[[ $(results b.txt '^SetEquity 1200.75 ' | sort | uniq -c | tr -s ' ') == " $rounds 0" ]] ||
  fail "host B's rolls passed an increase target"

# The file itself.
text=$(tr -d '\r' < "$settings")
for section in '[Mine]' '[SNAP]' '[INDEX]'; do
  [[ $(grep -cxF "$section" <<<"$text") == 1 ]] || fail "$section is not in the file exactly once:"$'\n'"$text"
done
cmp -s <(head -c ${#mine} "$settings") <(printf '%s' "$mine") || fail "the trader's own lines changed:"$'\n'"$text"
grep -qx 'Initial Equity=1200.50' <<<"$text" || fail "Initial Equity is not the first start's 1200.50:"$'\n'"$text"

# A third start resumes exactly what the file holds.
host restart.zts restart.txt 2> "$work/restart.err" || fail "the restart failed: $(cat "$work/restart.err")"
snap=$(sed -n 's/^Equity Snap=//p' <<<"$text")
[[ $(results restart.txt '^GetEquitySnap') == "$snap" ]] ||
  fail "the restart resumed $(results restart.txt '^GetEquitySnap'), the file holds $snap"
stored() { sed -n "s/^$1=//p" <<<"$text"; }
[[ $(results restart.txt '^GetIndex') == "tpSet $(stored TPSet), tpIndex $(stored TP), ddSet $(stored DDSet), ddIndex $(stored DD)" ]] ||
  fail "the restart resumed $(results restart.txt '^GetIndex'), the file holds:"$'\n'"$text"
[[ $(results restart.txt '^InitZT') == *", initial equity 1200.5" ]] ||
  fail "the restart's initial equity: $(results restart.txt '^InitZT')"
echo "passed: both hosts closed all on the same tick in $rounds rounds; every restart resumed a whole state"
