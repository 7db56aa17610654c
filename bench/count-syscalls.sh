#!/usr/bin/env bash
# Counts the system calls of a drawdown step and of a close-all, each of which writes the four
# positions ("TPSet", "DDSet", "TP", "DD") to the settings file. zt_syscalls runs the same sequence
# three times under strace -c -f, with no event, with the step, and with the step and the
# close-all; the differences of the counts are the events' own calls (start-up, setup and the
# roll between them cancel out). A full trace of the last run, cut at the driver's marker calls,
# lists each event's calls as a cross-check.
#
#   bench/count-syscalls.sh [build folder]      (default: build/bench of the repository)
#
# Goals per event: one rewrite of the settings file (one rename over it) and at most 12 system
# calls in all. Exits 1 when a goal is missed, 2 when a run fails.
set -euo pipefail

# shellcheck source=bench/counting.sh
source "$(dirname "$0")/counting.sh" zt_syscalls strace strace "${1:-}"

# counts EVENTS: "name calls" lines from strace -c -f of one run.
counts() {
  if ! strace -c -f -o "$work/summary-$1" "$driver" "$1" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "zt_syscalls $1 failed" >&2
    exit 2
  fi
  # Rows are "% time, seconds, usecs/call, calls, [errors,] syscall"; the errors column may be
  # empty. Dashed lines frame the rows; the total comes after the second.
  awk '/^-+ / { dashes++; next } dashes == 1 { print $NF, $4 }' "$work/summary-$1" | sort
}

counts none >"$work/none"
counts step >"$work/step"
counts step-close >"$work/step-close"

# difference BASE WITH: the calls the event added, one "name calls" line each, and the sum.
difference() {
  join -a 1 -a 2 -e 0 -o 0,1.2,2.2 "$work/$1" "$work/$2" |
    awk '{ d = $3 - $2; if (d != 0) { printf "    %-12s %3d\n", $1, d; sum += d } }
         END { printf "    %-12s %3d\n", "total", sum }'
}

missed=0
report() {
  local event=$1 base=$2 with=$3
  local table total renames
  table=$(difference "$base" "$with")
  total=$(awk '$1 == "total" { print $2 }' <<<"$table")
  renames=$(awk '$1 == "rename" { print $2 }' <<<"$table")
  echo "$event: strace -c -f of 'zt_syscalls $with' minus 'zt_syscalls $base'"
  echo "$table"
  if [[ ${renames:-0} -eq 1 ]]; then
    echo "  rewrites of the settings file: 1 (goal 1: met)"
  else
    echo "  rewrites of the settings file: ${renames:-0} (goal 1: MISSED)"
    missed=1
  fi
  if [[ $total -le 12 ]]; then
    echo "  system calls: $total (goal <= 12: met)"
  else
    echo "  system calls: $total (goal <= 12: MISSED)"
    missed=1
  fi
  echo
}

echo "System calls, $(strace -V | head -1), driver $driver"
echo
report "drawdown step" none step
report "close-all" step step-close

# The cross-check: the calls themselves, from a full trace between the markers.
strace -f -o "$work/trace" "$driver" step-close >/dev/null 2>&1
for event in step close; do
  echo "$event, traced between the driver's markers (strace -f):"
  awk -v b="zt-syscall-marker/$event-begin" -v e="zt-syscall-marker/$event-end" '
    index($0, e) { on = 0 } on { n++; sub(/^[0-9]+ +/, ""); print "    " substr($0, 1, 110) }
    index($0, b) { on = 1 } END { print "    (" n " calls)" }' "$work/trace"
done
echo

if [[ $missed -ne 0 ]]; then
  echo "count-syscalls: a goal was missed"
  exit 1
fi
echo "count-syscalls: every goal met"
