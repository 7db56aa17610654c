#!/usr/bin/env bash
# The demo behind `make demo`: runs zt-sim on the bundled settings (samples/demo.ini, a seeded
# account model) with a fresh state folder, prints the end of the event log, the dashboard and
# the summary, and writes the chart, the JSON events and the whole log into demo-out/.
# ZT_BUILD_DIR names another build folder than build/native.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${ZT_BUILD_DIR:-build/native}"
if [ ! -x "$build/zt-sim" ]; then
  cmake --build "$build" --target zt-sim
fi
rm -rf demo-out
"$build/zt-sim" --config samples/demo.ini --state demo-out/state --tail 12 \
  --chart demo-out/equity.svg --json demo-out/events.json --log demo-out/events.log
echo "Open demo-out/equity.svg in a browser. Run $build/zt-sim --config samples/demo.ini --state demo-out/state"
echo "to continue the same account like a restarted terminal."

# Where a guard matters: a martingale grid (lots doubled every 100 points against it, up to ten
# levels) that its broker stops out now and then, on 200 seeded markets, under three ladders and
# with no guard; then the same three ladders side by side on the same grid over the bundled bar
# history (the price model's, each bar walked like ticks), and on a recorded deal list replayed
# over it.
grid=(--market model --strategy grid --grid-lots 0.1 --grid-multiplier 2 --grid-levels 10 --grid-step 100)
ladders=(--ladder 'tight=60,40|30,60||100' --ladder 'mid=120,80|60,120||250' --ladder 'wide=300,200|150,300||600')
echo
"$build/zt-sim" "${grid[@]}" --ticks 20000 --runs 200 "${ladders[@]}" --json demo-out/runs.json \
  --report demo-out/report.html
bars=tools/sim/samples/EURUSD_H1.csv
echo
"$build/zt-sim" --history "$bars" "${grid[@]}" "${ladders[@]}"
echo
"$build/zt-sim" --history "$bars" --deals tools/sim/samples/EURUSD_deals.csv "${ladders[@]}"

# The report page, and a picture of it as a browser draws it (where make deps installed Chromium
# and the browser check's playwright-core; the page needs neither).
echo
check=tools/sim/tests/browser/check-report.mjs
if command -v node >/dev/null && node "$check" demo-out/report.html --screenshot demo-out/report.png \
     --screenshot-only >/dev/null 2>&1; then
  echo "Open demo-out/report.html in a browser (a picture of it: demo-out/report.png)."
else
  echo "Open demo-out/report.html in a browser."
fi
