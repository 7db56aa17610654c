#!/usr/bin/env bash
# check-report.mjs on small pages made here, run by hand after changing it: a sound page passes,
# and each fault it is there to catch fails with its own line.
#   bash tools/sim/tests/browser/self-check.sh
set -uo pipefail
check="$(cd "$(dirname "$0")" && pwd)/check-report.mjs"
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT

chart='<figure class="chart"><svg viewBox="0 0 400 200"><path data-series="tight" d="M0 150 L400 80" stroke="#06c"/></svg></figure>'
page() {  # page NAME BODY...: a page holding BODY
  printf '<!doctype html><html><head><meta charset="utf-8"><title>%s</title></head><body>%s</body></html>\n' \
    "$1" "${*:2}" >"$dir/$1.html"
}
failures=0
expect() {  # expect NAME STATUS TEXT: the check of NAME exits STATUS and prints TEXT
  local output status
  output=$(node "$check" "$dir/$1.html" 2>&1); status=$?
  if [ "$status" -eq "$2" ] && grep -qF -- "$3" <<<"$output"; then
    echo "ok   $1"
  else
    echo "FAIL $1: exit $status, wanted $2 and \"$3\" in:"; echo "$output"; failures=$((failures + 1))
  fi
}

page good "$chart" '<table><tr><th>ladder</th></tr><tr><td>tight</td></tr></table>'
page console "$chart" "<script>console.error('sort failed')</script>"
page thrown "$chart" "<script>null.click()</script>"
page remote "$chart" '<img src="http://example.com/x.png" alt="">'
page wide "$chart" '<div class="wide" style="width:2000px">wide</div>'
page empty '<figure class="chart" id="drawdowns"><svg viewBox="0 0 400 200"><path data-series="a" d=""/></svg></figure>'
page nochart '<p>no chart</p>'

expect good 0 'no problem at 1280, 800px'
expect console 1 'console error: sort failed'
expect thrown 1 'uncaught error: Cannot read properties of null'
expect remote 1 'requests http://example.com/x.png'
expect wide 1 'div.wide "wide" ends at'
expect empty 1 'chart figure#drawdowns.chart is empty'
expect nochart 1 'no chart'
[ "$failures" -eq 0 ] && echo "self-check passed" || { echo "$failures failed"; exit 1; }
