// The report's charts: ladders of targets side by side with the same account left unguarded. The
// equity chart lays each ladder's curve (and over many runs its median and 5th-95th percentile
// band) on one time axis with the names written at the lines' ends; the distribution chart shows
// one figure per run as a row of dots per ladder. Pure functions from plain data to an inline
// <svg> element that a self-contained HTML page embeds and scales to its width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zt::sim {

// The colour and dash of the series at index i in the report's order (0 is "no guard"), the same
// in the table and every chart. The colours are the Okabe-Ito set, told apart by colour-blind
// readers: no guard in dark grey, then #0072B2, #D55E00, #009E73, #CC79A7, #E69F00, #56B4E9,
// repeating past the seventh series with other dashes; and every series has its own dash pattern,
// so that the lines differ on a black-and-white print too.
struct SeriesStyle {
  const char* colour;  // "#rrggbb"
  const char* dash;    // an SVG stroke-dasharray, "" for a solid line
};
SeriesStyle StyleSeries(std::size_t index);

// One line of the equity chart: a ladder's account, or the same account with no guard.
struct CurveLine {
  std::string name;
  std::vector<double> value;  // equity at each of the chart's times (over many runs: the median)
  std::vector<double> low,
      high;  // 5th and 95th percentile at each time over many runs; empty for one run
};
struct CurveChart {
  std::vector<std::int64_t>
      times;  // seconds since 1970 (UTC), ascending; each line has one value per time
  std::vector<CurveLine> lines;  // in the report's order: no guard first
  std::string valueTitle;        // the y axis's title, e.g. "equity" or "median equity of 200 runs"
  // The series index (StyleSeries) of the first line, the next lines' following it: 1 for a chart
  // of the ladders alone, whose colours stay those of the tables.
  std::size_t firstSeries = 0;
};
// The chart as an inline <svg> element (no XML declaration) that scales to the page's width: the
// lines in their styles over their bands, each line's name at its right end (names pushed apart
// so that none overlaps another), a time axis in UTC and an amount axis titled valueTitle. A line
// with more values than about two per pixel column is thinned to each column's lowest and highest
// value, so a spike stays visible however long the run. Non-finite values are left out.
std::string RenderCurveChart(const CurveChart& chart);

// One figure over many runs for one series (a ladder or no guard), e.g. each run's end result.
struct Spread {
  std::string name;
  std::vector<double> values;  // one per run, in the runs' order
};
// One row per series, in the report's order: every run as a dot (spread vertically by a fixed
// pattern so that equal results stay visible), a box from the 5th to the 95th percentile, a thick
// mark at the median and the worst (lowest) run's dot outlined; all rows on one axis of amounts
// under them titled axisTitle. Long names are shortened with an ellipsis, the whole name kept
// in a tooltip. Non-finite values are left out.
std::string RenderDistribution(const std::vector<Spread>& rows, const std::string& axisTitle);

}  // namespace zt::sim
