#!/usr/bin/env bash
# Makes the bundled deal list, tools/sim/samples/EURUSD_deals.csv, over the bundled bar history
# (make-bar-history.sh): a dozen trades a trader might have made, each opened and closed at the
# open of an hour's bar, at the prices that bar had. A buy opens at the ask (the bid plus the
# history's 8-point spread) and closes at the bid, a sell the other way round; the profit is what a
# broker with the lab's default terms books: the move times lots times 100000, less 3.5 of
# commission per lot and side, plus the swap of the rollovers held (22:00 UTC, Monday to Friday,
# Wednesday's three nights; -7 per lot and night of a buy, +2 of a sell). A test checks that the
# committed file is what this script makes now, and zt-sim holds every price to its bar.
# Usage: make-deal-list.sh [BARS [OUT]]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bars="${1:-$here/samples/EURUSD_H1.csv}"
out="${2:-$here/samples/EURUSD_deals.csv}"
# open time, close time, type, lots
plan='2024.01.03 09:00,2024.01.04 15:00,buy,0.10
2024.01.03 14:00,2024.01.05 10:00,sell,0.05
2024.01.08 08:00,2024.01.08 17:00,buy,0.20
2024.01.09 11:00,2024.01.12 16:00,sell,0.10
2024.01.10 07:00,2024.01.10 19:00,buy,0.10
2024.01.15 10:00,2024.01.17 12:00,buy,0.15
2024.01.16 13:00,2024.01.16 21:00,sell,0.10
2024.01.22 09:00,2024.01.25 14:00,sell,0.20
2024.01.23 15:00,2024.01.24 09:00,buy,0.05
2024.01.29 08:00,2024.02.01 18:00,buy,0.10
2024.01.30 12:00,2024.01.31 20:00,sell,0.10
2024.02.05 10:00,2024.02.07 16:00,sell,0.15'
LC_ALL=C awk -F, -v plan="$plan" '
# Days since 1970 of a date 2024.01.03 (the civil calendar, as the lab counts it).
function days(date,   y, m, d, era, yoe, doy) {
  y = substr(date, 1, 4) + 0; m = substr(date, 6, 2) + 0; d = substr(date, 9, 2) + 0
  y -= (m <= 2)
  era = int(y / 400); yoe = y - era * 400
  doy = int((153 * (m > 2 ? m - 3 : m + 9) + 2) / 5) + d - 1
  return era * 146097 + yoe * 365 + int(yoe / 4) - int(yoe / 100) + doy - 719468
}
function seconds(when) { return days(when) * 86400 + substr(when, 12, 2) * 3600 + substr(when, 15, 2) * 60 }
# The nights of swap the rollovers in (from, to] book.
function nights(from, to,   day, at, weekday, n) {
  n = 0
  for (day = int(from / 86400); day <= int(to / 86400); day++) {
    at = day * 86400 + 22 * 3600
    if (at <= from || at > to) continue
    weekday = (day + 4) % 7
    if (weekday == 0 || weekday == 6) continue
    n += weekday == 3 ? 3 : 1
  }
  return n
}
{ open[$1 " " $2] = $3 }
END {
  spread = 8 * 0.00001
  print "open time,close time,symbol,type,lots,open price,close price,profit"
  count = split(plan, rows, "\n")
  for (i = 1; i <= count; i++) {
    split(rows[i], f, ",")
    if (!(f[1] in open) || !(f[2] in open)) { print "no bar at " f[1] " or " f[2] > "/dev/stderr"; exit 1 }
    buy = f[3] == "buy"
    from = open[f[1]] + (buy ? spread : 0)
    to = open[f[2]] + (buy ? 0 : spread)
    move = buy ? to - from : from - to
    swap = nights(seconds(f[1]), seconds(f[2])) * (buy ? -7 : 2) * f[4]
    profit = move * f[4] * 100000 - 2 * 3.5 * f[4] + swap
    printf "%s,%s,EURUSD,%s,%s,%.5f,%.5f,%.2f\n", f[1], f[2], f[3], f[4], from, to, profit
  }
}' "$bars" > "$out"
