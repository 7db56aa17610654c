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
