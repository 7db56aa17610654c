#!/usr/bin/env bash
# The simulator's speed and size, each figure printed with the command that made it.
#   bench/sim-figures.sh [BUILD_DIR]     (default build/native; build/bench for an optimised build)
# Goals: >= 2 M model ticks/s and >= 1 M CSV rows/s with --quiet; a tight ladder (TP 5, SL 5)
# >= 100 k ticks/s on the walk; the grid strategy on the price model >= 1 M ticks/s under the tight
# ladder and >= 3 M under the demo's, per core; the demo's grid on bars walked in 60 ticks a bar
# >= 1 M ticks/s; peak memory at 10 M ticks within 1.5x of that at
# 100 k ticks, on the walk and for the grid under the tight ladder.
set -euo pipefail
cd "$(dirname "$0")/.."
sim="${1:-build/native}/zt-sim"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs the command, then prints "<label>: <figure>   $ <command>"; figure from elapsed seconds
# and peak kilobytes (GNU time), with count the ticks or rows the run drives. The seconds in user
# space and in the kernel follow: a ladder that closes often spends most of its time in the
# system calls of the library's settings writes (two per close-and-roll cycle).
measure() {
  local label=$1 count=$2
  shift 2
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" >/dev/null
  read -r seconds kilobytes user system <"$work/time"
  local command
  command=$(printf '%q ' "$@")
  awk -v l="$label" -v n="$count" -v s="$seconds" -v k="$kilobytes" -v u="$user" -v y="$system" -v c="$command" \
    'BEGIN { printf "%-26s %9.0f /s %6.1f MB peak  user %5.2f s, system %5.2f s   $ %s\n",
             l, n / (s > 0 ? s : 0.01), k / 1024, u, y, c }'
}

ladder=(--drawdown-targets "" --increase-targets "")
measure "model, 100 k ticks" 100000 "$sim" --ticks 100000 --quiet --no-progress
measure "model, 10 M ticks" 10000000 "$sim" --ticks 10000000 --quiet --no-progress
measure "tight ladder (TP 5, SL 5)" 1000000 "$sim" --ticks 1000000 --take-profits 5 --stop-losses 5 "${ladder[@]}" \
  --quiet --no-progress

# The grid strategy trading an account of positions on the price model, under the tight ladder and
# under the demo's.
grid=(--market model --strategy grid --seed 5)
measure "grid, tight ladder" 1000000 "$sim" "${grid[@]}" --ticks 1000000 --take-profits 5 --stop-losses 5 "${ladder[@]}" \
  --quiet --no-progress
measure "grid, the demo's ladder" 1000000 "$sim" "${grid[@]}" --ticks 1000000 --quiet --no-progress
# The demo's martingale grid and its tight ladder over the bundled hourly bars, each bar walked in
# 60 ticks (>= 1 M ticks/s per core): the year's 6240 bars are 374,400 ticks.
demo_grid=(--market model --strategy grid --grid-lots 0.1 --grid-multiplier 2 --grid-levels 10 --grid-step 100)
measure "grid on bars, 60 ticks a bar" 374400 "$sim" --history tools/sim/samples/EURUSD_H1.csv "${demo_grid[@]}" \
  --bar-ticks 60 --take-profits '60,40' --drawdown-targets '30,60' --increase-targets '' --stop-losses 100 \
  --quiet --no-progress
# Peak memory of the account of positions over a long run: the grid under the tight ladder at 100 k
# and at 10 M ticks (the MB peak column; 10 M within 1.5x of 100 k, as for the walk).
tight=(--take-profits 5 --stop-losses 5 "${ladder[@]}" --quiet --no-progress)
measure "grid, tight, 100 k ticks" 100000 "$sim" "${grid[@]}" --ticks 100000 "${tight[@]}"
measure "grid, tight, 10 M ticks" 10000000 "$sim" "${grid[@]}" --ticks 10000000 "${tight[@]}"
# Many markets: three ladders on 200 seeds of 20 k ticks, a process per ladder and seed, --jobs
# (the cores) at a time; the figure counts the guarded ticks of all 600 runs (each run trades the
# account without the guard beside it, which gives "no guard" its figures).
measure "grid, --runs 200, 3 ladders" $((200 * 3 * 20000)) "$sim" "${grid[@]}" --ticks 20000 --runs 200 \
  --ladder 'tight=60|||100' --ladder 'mid=150|||300' --ladder 'wide=400|||1500' --no-progress

python3 - "$work/rows.csv" <<'PY'
import random, sys
random.seed(1)
equity = 10000.0
with open(sys.argv[1], "w") as out:
    out.write("Time,Equity,Margin,Free Margin\n")
    for i in range(1000000):
        equity += random.gauss(0.02, 3)
        out.write("%d,%.2f,300.00,%.2f\n" % (1704153600 + i * 30, equity, equity - 300))
PY
measure "CSV, 1 M rows" 1000000 "$sim" --csv "$work/rows.csv" --take-profits 60 --stop-losses 150 "${ladder[@]}" \
  --quiet --no-progress
