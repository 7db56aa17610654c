#!/usr/bin/env bash
# Counts the instructions of the tick path under callgrind, with the zt_count driver, and checks
# them against the goals. Each figure is the difference of two runs with N1 and N2 calls of the
# measured export, divided by N2 - N1: start-up, setup and warm-up cancel out, and with the
# clock pinned (the dashboard) the figure is the same on every run and every machine with the
# same compiler and C library.
#
#   bench/count-instructions.sh [build folder]      (default: build/bench of the repository)
#
# Exits 1 when a goal is missed, 2 when a run fails. Goals per call:
#   SetEquity, monitoring, changing nothing            <= 100
#   SetEquity lowering an extreme (reads the clock)    <= 300 (all three extremes at once)
#   a full dashboard redraw (30 GetLabel + 30 GetValue) <= 40000, and the snprintf baseline at
#   least 3 times as many
# CloseStatistics over 512 filled slots is reported, with the statistics file it writes then.
#
# Under valgrind, time() takes the system call rather than the vDSO, so a clock read counts a
# few instructions fewer than natively; the extremes' goal leaves room for that many times over.
set -euo pipefail

# shellcheck source=bench/counting.sh
source "$(dirname "$0")/counting.sh" zt_count valgrind valgrind "${1:-}"

# total WORKLOAD CALLS TOGGLE...: instructions collected inside the toggled functions.
total() {
  local workload=$1 calls=$2
  shift 2
  local toggles=() name
  for name in "$@"; do toggles+=("--toggle-collect=$name"); done
  local out=$work/$workload-$calls.out
  if ! valgrind --tool=callgrind --callgrind-out-file="$out" "${toggles[@]}" \
      "$driver" "$workload" "$calls" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "callgrind run of $workload $calls failed" >&2
    exit 2
  fi
  awk '/^(summary|totals):/ { print $2; exit }' "$out"
}

# per_call WORKLOAD N1 N2 TOGGLE...
per_call() {
  local workload=$1 n1=$2 n2=$3
  shift 3
  local t1 t2
  t1=$(total "$workload" "$n1" "$@")
  t2=$(total "$workload" "$n2" "$@")
  awk -v a="$t1" -v b="$t2" -v n1="$n1" -v n2="$n2" 'BEGIN { printf "%.1f", (b - a) / (n2 - n1) }'
}

missed=0
# check LABEL VALUE LIMIT: prints the figure, with its goal when there is one.
check() {
  local label=$1 value=$2 limit=${3:-}
  if [[ -z $limit ]]; then
    printf '  %-52s %12s\n' "$label" "$value"
  elif awk -v v="$value" -v l="$limit" 'BEGIN { exit !(v <= l) }'; then
    printf '  %-52s %12s   goal <= %s: met\n' "$label" "$value" "$limit"
  else
    printf '  %-52s %12s   goal <= %s: MISSED\n' "$label" "$value" "$limit"
    missed=1
  fi
}

echo "Instructions (callgrind Ir), $(valgrind --version), driver $driver"
zone=${TZ:-}
[[ -n $zone ]] || zone="system default, /etc/localtime -> $(readlink /etc/localtime || echo unknown)"
echo "Time zone: $zone"
echo

echo "SetEquity, monitoring mode, per call (N = 1000 and 2000 calls, toggled on SetEquity):"
unchanged=$(per_call setequity-unchanged 1000 2000 SetEquity)
check "changes nothing" "$unchanged" 100
lower_one=$(per_call setequity-lower-one 1000 2000 SetEquity)
check "lowers the free margin (one clock read)" "$lower_one" 300
lower_all=$(per_call setequity-lower-all 1000 2000 SetEquity)
check "lowers all three extremes (three clock reads)" "$lower_all" 300
echo

echo "Dashboard redraw, 30 GetLabel + 30 GetValue, per redraw (N = 50 and 100 redraws):"
redraw=$(per_call redraw 50 100 GetLabel GetValue)
check "library, same second (title time from the cache)" "$redraw" 40000
redraw_new=$(per_call redraw-new-second 50 100 GetLabel GetValue)
check "library, a new second at every redraw" "$redraw_new" 40000
baseline=$(per_call redraw-snprintf 50 100 ZtBaselineLabel ZtBaselineValue)
check "baseline: snprintf, strftime, localtime_r per cell" "$baseline"
for pair in "same second:$redraw" "new second:$redraw_new"; do
  ratio=$(awk -v b="$baseline" -v l="${pair#*:}" 'BEGIN { printf "%.2f", b / l }')
  if awk -v r="$ratio" 'BEGIN { exit !(r >= 3) }'; then
    printf '  %-52s %12s   goal >= 3: met\n' "baseline / library (${pair%%:*})" "${ratio}x"
  else
    printf '  %-52s %12s   goal >= 3: MISSED\n' "baseline / library (${pair%%:*})" "${ratio}x"
    missed=1
  fi
done
echo

echo "CloseStatistics in one close-all (toggled on the driver's ZtMeasuredCloseAll):"
for slots in 511 512; do
  total close-statistics "$slots" ZtMeasuredCloseAll >/dev/null
  annotated=$(callgrind_annotate --inclusive=yes "$work/close-statistics-$slots.out" 2>/dev/null)
  inclusive() { awk -v f="$1" 'index($0, f) { gsub(",", "", $1); print $1; exit }' <<<"$annotated"; }
  statistics=$(inclusive 'zt::engine::CloseStatistics()')
  file=$(inclusive 'WriteStatisticsFile()')
  check "n = $slots: CloseStatistics" "$statistics"
  if [[ -n $file ]]; then
    check "n = $slots:   of which the statistics file" "$file"
    check "n = $slots:   the summaries" "$((statistics - file))"
  fi
done
echo

if [[ $missed -ne 0 ]]; then
  echo "count-instructions: a goal was missed"
  exit 1
fi
echo "count-instructions: every goal met"
