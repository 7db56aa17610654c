#!/usr/bin/env bash
# zt-sim's HTML reports as a trader opens them: one ladder on one market, the three ladders of the
# demo side by side, and the demo's ladders over a dozen markets, each written by zt-sim and opened
# in Chromium by check-report.mjs at a wide and a narrow window and printed on A4, with a
# screenshot at each width and the print as a PDF.
#
#   check-reports.sh <zt-sim> <output folder>
# Exit status: 0 pass, 1 fail, 77 skipped (Chromium or playwright-core missing).
set -uo pipefail
sim=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$out" && mkdir -p "$out" || { echo "FAILED: cannot make $out"; exit 1; }

# The martingale grid and the three ladders of tools/sim/demo.sh's --runs line, on fewer ticks.
grid=(--market model --strategy grid --grid-lots 0.1 --grid-multiplier 2 --grid-levels 10 --grid-step 100)
ladders=(--ladder 'tight=60,40|30,60||100' --ladder 'mid=120,80|60,120||250'
         --ladder 'wide=300,200|150,300||600')

report() {
  local name=$1; shift
  if ! "$sim" "$@" --no-progress --report "$out/$name" >"$out/${name%.html}.log" 2>&1; then
    tail -n 20 "$out/${name%.html}.log"
    echo "FAILED: zt-sim could not write $name (the whole output is $out/${name%.html}.log)"
    exit 1
  fi
}
report single.html --market model --strategy grid --ticks 4000 --take-profits 100 \
  --drawdown-targets "" --increase-targets "" --stop-losses 150 --quiet
report ladders.html "${grid[@]}" --ticks 4000 "${ladders[@]}"
report runs.html "${grid[@]}" --ticks 4000 --runs 12 "${ladders[@]}"

status=0
for page in single ladders runs; do
  node "$here/check-report.mjs" "$out/$page.html" --screenshot "$out/$page.png" --pdf "$out/$page.pdf"
  case $? in
    0) ;;
    77) exit 77 ;;  # the same for every page: no browser to check with
    *) status=1 ;;
  esac
done
exit $status
