#!/usr/bin/env bash
# Makes the bundled bar history, tools/sim/samples/EURUSD_H1.csv: a year of hourly EURUSD-like bars
# from the lab's price model (seed 7, a tick a minute), as the 32-bit terminal's history centre
# exports them, under a first line (a comment) that says the price model made them: no market's
# record, and every run on them says so. A test checks that the committed file is what this script
# makes now.
# Usage: make-bar-history.sh [ZT_SIM [OUT]]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
zt_sim="${1:-$here/../../build/native/zt-sim}"
out="${2:-$here/samples/EURUSD_H1.csv}"
"$zt_sim" --write-bars "$out" --bar-minutes 60 --seed 7 --start "2024.01.01 22:00" --tick-seconds 60 \
  --ticks 374400 --price 1.1 --point 0.00001 --news "13:30" >/dev/null
