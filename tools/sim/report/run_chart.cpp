#include "report/run_chart.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "number_text.h"
#include "report/cycle_panel.h"
#include "report/run_chart_colours.h"
#include "report/run_text.h"
#include "report/svg_parts.h"
#include "system/output_files.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

using namespace svg;
using tools::Money;

// Page geometry in SVG user units (pixels at 100 % zoom).
constexpr double kWidth = 1100;
constexpr double kLeft = 84;  // the y tick labels and the axis title
constexpr double kRight = 24;
constexpr double kTitleY = 28;
constexpr double kLegendTop = 44;  // first legend row's top edge
constexpr double kPanelGap = 90;   // between the equity panel's x labels and the lower panel
constexpr double kEquityHeight = 380;
constexpr double kDrawdownHeight = 150;
constexpr double kBottom = 50;  // the lower panel's x labels and axis title

// The equity curve thinned to at most the lowest and highest value per pixel column, in the
// order they happened, so that no spike disappears.
std::string EquityPath(const std::vector<EquityPoint>& curve, const Scale& x, const Scale& y) {
  std::string d;
  const auto add = [&](const EquityPoint& point) {
    d += (d.empty() ? "M" : " L") + Num(x(static_cast<double>(point.time))) + " " +
         Num(y(point.equity));
  };
  std::size_t i = 0;
  while (i < curve.size()) {
    const double column = std::floor(x(static_cast<double>(curve[i].time)));
    std::size_t low = i, high = i, j = i;
    for (; j < curve.size() && std::floor(x(static_cast<double>(curve[j].time))) == column; ++j) {
      if (curve[j].equity < curve[low].equity) low = j;
      if (curve[j].equity > curve[high].equity) high = j;
    }
    add(curve[i]);
    if (std::min(low, high) != i) add(curve[std::min(low, high)]);
    if (std::max(low, high) != std::min(low, high)) add(curve[std::max(low, high)]);
    if (j - 1 != std::max(low, high) && j - 1 != i) add(curve[j - 1]);
    i = j;
  }
  return d;
}

// A level as a step line: flat from one level point to the next, a vertical where it moves, a
// gap where the guard holds no such level. Where several points fall in one pixel column (a level
// that moves at every close of a tight ladder), the column gets one vertical through the first,
// lowest, highest and last of their values, so that the path grows with the chart's width and
// not with the number of closes.
std::string LevelPath(const HostRun& run, double GuardLevels::*level, const Scale& x,
                      const Scale& y, double endTime) {
  std::string d;
  bool drawing = false;
  const std::vector<LevelPoint>& points = run.levels;
  const auto valueAt = [&](std::size_t i) { return points[i].levels.*level; };
  const auto columnAt = [&](std::size_t i) {
    return std::floor(x(static_cast<double>(points[i].time)));
  };
  std::size_t i = 0;
  while (i < points.size()) {
    const double value = valueAt(i);
    if (!std::isfinite(value)) {
      drawing = false;
      ++i;
      continue;
    }
    double low = value, high = value;
    std::size_t j = i + 1;
    for (; j < points.size() && std::isfinite(valueAt(j)) && columnAt(j) == columnAt(i); ++j) {
      low = std::min(low, valueAt(j));
      high = std::max(high, valueAt(j));
    }
    const double from = static_cast<double>(points[i].time);
    const double to = j < points.size() ? static_cast<double>(points[j].time) : endTime;
    d +=
        std::string(drawing ? " V" : (d.empty() ? "M" : " M") + Num(x(from))) + " " + Num(y(value));
    if (j > i + 1) {
      std::string last = Num(y(value));
      for (const double through : {low, high, valueAt(j - 1)}) {
        const std::string at = Num(y(through));
        if (at != last) d += " V " + at;
        last = at;
      }
    }
    d += " H" + Num(x(to));
    drawing = true;
    i = j;
  }
  return d;
}

std::string Path(const std::string& id, const std::string& d, const char* colour, double width,
                 const char* dash) {
  return "<path id=\"" + id + "\" d=\"" + d + "\" fill=\"none\" stroke=\"" + colour +
         "\" stroke-width=\"" + Num(width) + "\"" +
         (dash[0] != '\0' ? std::string(" stroke-dasharray=\"") + dash + "\"" : "") +
         " stroke-linejoin=\"round\"/>\n";
}

enum class Mark { Up, Down, Diamond, Dot };

std::string Marker(Mark mark, double px, double py, const char* colour) {
  const double r = 6;
  switch (mark) {
    case Mark::Up:
      return "<path d=\"M" + Num(px) + " " + Num(py - r) + " L" + Num(px + r) + " " +
             Num(py + r * 0.7) + " L" + Num(px - r) + " " + Num(py + r * 0.7) + " Z\" fill=\"" +
             colour + "\" stroke=\"white\" stroke-width=\"0.8\"/>\n";
    case Mark::Down:
      return "<path d=\"M" + Num(px) + " " + Num(py + r) + " L" + Num(px + r) + " " +
             Num(py - r * 0.7) + " L" + Num(px - r) + " " + Num(py - r * 0.7) + " Z\" fill=\"" +
             colour + "\" stroke=\"white\" stroke-width=\"0.8\"/>\n";
    case Mark::Diamond:
      return "<path d=\"M" + Num(px) + " " + Num(py - r - 1) + " L" + Num(px + r) + " " + Num(py) +
             " L" + Num(px) + " " + Num(py + r + 1) + " L" + Num(px - r) + " " + Num(py) +
             " Z\" fill=\"" + colour + "\" stroke=\"white\" stroke-width=\"0.8\"/>\n";
    case Mark::Dot:
      return "<circle cx=\"" + Num(px) + "\" cy=\"" + Num(py) +
             "\" r=\"3\" fill=\"white\" stroke=\"" + colour + "\" stroke-width=\"1.5\"/>\n";
  }
  return {};
}

// ---- The chart's steps, top to bottom ----

// What the equity panel shows: the run's time span and the amounts of the curve and the levels,
// padded so that nothing touches the frame.
struct Ranges {
  double t0, t1;     // first and last tick
  double low, high;  // amounts
};

Ranges DataRanges(const HostRun& run) {
  double t0 = std::numeric_limits<double>::infinity(), t1 = -t0, low = t0, high = -t0;
  std::vector<EquityPoint> both = run.equity;
  both.insert(both.end(), run.unguarded.begin(), run.unguarded.end());
  for (const EquityPoint& point : both) {
    t0 = std::min(t0, static_cast<double>(point.time));
    t1 = std::max(t1, static_cast<double>(point.time));
    low = std::min(low, point.equity);
    high = std::max(high, point.equity);
  }
  if (run.equity.empty()) {
    t0 = 0;
    t1 = 1;
    low = 0;
    high = 1;
  }
  if (t1 <= t0) t1 = t0 + 60;
  for (const LevelPoint& point : run.levels) {
    for (const double level : {point.levels.snapshot, point.levels.takeProfit,
                               point.levels.drawdownTarget, point.levels.stopLoss}) {
      if (std::isfinite(level)) {
        low = std::min(low, level);
        high = std::max(high, level);
      }
    }
  }
  if (high - low < 1e-6) {
    low -= 1;
    high += 1;
  }
  const double pad = (high - low) * 0.04;
  return {t0, t1, low - pad, high + pad};
}

// Closes of one kind on more pixel columns than this cover the equity panel with their markers
// (each is 12 pixels wide) and hide the curve: such a run's closes are left unmarked, and the
// cycle panel below shows them instead.
constexpr std::size_t kMostCloseColumns = 120;

// How many closes of each kind (take profit, stop loss) go unmarked: all of a kind whose markers
// would stand on more than kMostCloseColumns pixel columns, else none.
struct UnmarkedCloses {
  std::size_t takeProfit = 0;
  std::size_t stopLoss = 0;
};

UnmarkedCloses CrowdedCloses(const HostRun& run, const Scale& x) {
  std::set<long> columns[2];
  std::size_t counts[2] = {0, 0};
  for (const HostEvent& event : run.events) {
    if (event.kind != EventKind::TakeProfitClose && event.kind != EventKind::StopLossClose)
      continue;
    const int kind = event.kind == EventKind::StopLossClose ? 1 : 0;
    ++counts[kind];
    columns[kind].insert(std::lround(x(static_cast<double>(event.figures.time))));
  }
  // A long run keeps only its latest events: a kind of close some of which were left out cannot be
  // marked where they were, so none of it is, and the legend counts them all.
  const auto unmarked = [&run, &columns, &counts](int kind, EventKind close) -> std::size_t {
    if (run.leftOutByKind[static_cast<int>(close)] > 0)
      return static_cast<std::size_t>(CountEvents(run, close));
    return columns[kind].size() > kMostCloseColumns ? counts[kind] : 0;
  };
  return {unmarked(0, EventKind::TakeProfitClose), unmarked(1, EventKind::StopLossClose)};
}

// "close on take profit", or with the closes left unmarked "close on take profit (4,301: too many
// to mark)".
std::string CloseLegendText(const char* what, std::size_t unmarked) {
  std::string text = what;
  if (unmarked == 0) return text;
  const std::string digits = std::to_string(unmarked);
  text += " (";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  text += ": too many to mark)";
  return text;
}

std::vector<LegendItem> EquityLegendItems(const HostRun& run, const UnmarkedCloses& unmarked) {
  std::vector<LegendItem> items = {
      {"equity", LineSwatch(kEquityColour, 1.6, "")},
      {"snapshot", LineSwatch(kSnapshotColour, 1.6, "")},
      {"take-profit level", LineSwatch(kTakeProfitColour, 1.6, "6 3")},
      {"drawdown target", LineSwatch(kDrawdownColour, 1.6, "6 3")},
      {"stop-loss level", LineSwatch(kStopLossColour, 1.6, "6 3")},
      {CloseLegendText("close on take profit", unmarked.takeProfit),
       Marker(Mark::Up, 0, 0, kTakeProfitColour)},
      {CloseLegendText("close on stop loss", unmarked.stopLoss),
       Marker(Mark::Down, 0, 0, kStopLossColour)},
      {"increase target passed", Marker(Mark::Diamond, 0, 0, kIncreaseColour)},
      {"drawdown target passed", Marker(Mark::Dot, 0, 0, kDrawdownColour)},
  };
  if (!run.unguarded.empty())
    items.insert(items.begin() + 1,
                 {"without the guard", LineSwatch(kUnguardedColour, 1.2, "4 2")});
  return items;
}

// Where the panels go. The legend comes first: its rows decide where the equity panel starts.
struct Layout {
  Box equity;
  Box drawdown;
  double lowerTitleY;  // the cycle panel's heading, below the equity panel's x-axis title
  double height;       // of the whole page
};

Layout PageLayout(int legendRows) {
  Layout layout{};
  layout.equity = {kLeft, kLegendTop + legendRows * kLegendRow + 14, kWidth - kRight,
                   kLegendTop + legendRows * kLegendRow + 14 + kEquityHeight};
  layout.lowerTitleY = layout.equity.bottom + kPanelGap - 26;
  layout.drawdown = {kLeft, layout.equity.bottom + kPanelGap, kWidth - kRight,
                     layout.equity.bottom + kPanelGap + kDrawdownHeight};
  layout.height = layout.drawdown.bottom + kBottom;
  return layout;
}

std::string DocumentStart(double height, const std::string& title) {
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + Num(kWidth) +
         "\" height=\"" + Num(height) + "\" viewBox=\"0 0 " + Num(kWidth) + " " + Num(height) +
         "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"" +
         Num(kFontSize) + "\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += Text(kLeft, kTitleY, title, "start", "font-size=\"16\" font-weight=\"bold\"");
  return svg;
}

// The guard's levels as step lines, drawn under the equity curve.
std::string LevelLines(const HostRun& run, const Scale& x, const Scale& y, double endTime) {
  return Path("snapshot", LevelPath(run, &GuardLevels::snapshot, x, y, endTime), kSnapshotColour,
              1.4, "") +
         Path("take-profit", LevelPath(run, &GuardLevels::takeProfit, x, y, endTime),
              kTakeProfitColour, 1.4, "6 3") +
         Path("drawdown-target", LevelPath(run, &GuardLevels::drawdownTarget, x, y, endTime),
              kDrawdownColour, 1.4, "6 3") +
         Path("stop-loss", LevelPath(run, &GuardLevels::stopLoss, x, y, endTime), kStopLossColour,
              1.4, "6 3");
}

constexpr std::size_t kMostMarkers = 2000;  // more events than this are marked once per pixel

// The events a host reacts to, one group per kind: drawdown steps, the two kinds of close-all
// and passed increase targets (marked at the snapshot they rolled to).
std::string EventMarkers(const HostRun& run, const Scale& x, const Scale& y,
                         const UnmarkedCloses& unmarked) {
  std::string closesUp = "<g id=\"close-take-profit\">\n",
              closesDown = "<g id=\"close-stop-loss\">\n", increases = "<g id=\"increase\">\n",
              steps = "<g id=\"drawdown-step\">\n";
  // A long run closes thousands of times; a marker on a pixel already marked for its kind adds
  // nothing to the picture, only to the file.
  const bool crowded = run.events.size() > kMostMarkers;
  std::set<std::tuple<int, long, long>> marked;
  for (const HostEvent& event : run.events) {
    if ((event.kind == EventKind::TakeProfitClose && unmarked.takeProfit > 0) ||
        (event.kind == EventKind::StopLossClose && unmarked.stopLoss > 0)) {
      continue;
    }
    const double px = x(static_cast<double>(event.figures.time));
    if (crowded) {
      const double py =
          y(event.kind == EventKind::IncreaseReached ? event.snapshot : event.figures.equity);
      if (!marked.emplace(static_cast<int>(event.kind), std::lround(px), std::lround(py)).second)
        continue;
    }
    switch (event.kind) {
      case EventKind::TakeProfitClose:
        closesUp += Marker(Mark::Up, px, y(event.figures.equity), kTakeProfitColour);
        break;
      case EventKind::StopLossClose:
        closesDown += Marker(Mark::Down, px, y(event.figures.equity), kStopLossColour);
        break;
      case EventKind::IncreaseReached:
        increases += Marker(Mark::Diamond, px, y(event.snapshot), kIncreaseColour);
        break;
      case EventKind::DrawdownStep:
        steps += Marker(Mark::Dot, px, y(event.figures.equity), kDrawdownColour);
        break;
      default: break;
    }
  }
  return steps + "</g>\n" + closesUp + "</g>\n" + closesDown + "</g>\n" + increases + "</g>\n";
}

std::string EquityPanel(const HostRun& run, const Ranges& ranges, const Box& box,
                        const UnmarkedCloses& unmarked) {
  const Scale x{ranges.t0, ranges.t1, box.left, box.right};
  const Scale y{ranges.low, ranges.high, box.bottom, box.top};
  const int wantedY = std::max(3, static_cast<int>(kEquityHeight / 45));
  std::string svg = AmountAxis(y, box, NiceStep(ranges.high - ranges.low, wantedY), "equity");
  svg += TimeAxis(x, box, kWidth);
  svg += ClipTo("equity-clip", box);
  svg += "<g clip-path=\"url(#equity-clip)\">\n";
  svg += LevelLines(run, x, y, ranges.t1);
  if (!run.unguarded.empty()) {
    svg += Path("unguarded", EquityPath(run.unguarded, x, y), kUnguardedColour, 1.0, "4 2");
  }
  svg += Path("equity", EquityPath(run.equity, x, y), kEquityColour, 1.2, "");
  svg += EventMarkers(run, x, y, unmarked);
  svg += "</g>\n";
  svg += Frame(box);
  svg += Text(box.right, box.bottom + 48, "time (UTC)", "end", "fill=\"#666\"");
  return svg;
}

}  // namespace

std::string RenderChart(const HostRun& run, const std::string& title) {
  const Ranges ranges = DataRanges(run);
  // The panel's width is fixed; only its height waits for the legend.
  const UnmarkedCloses unmarked =
      CrowdedCloses(run, Scale{ranges.t0, ranges.t1, kLeft, kWidth - kRight});
  int legendRows = 0;
  const std::string legend = Legend("legend", EquityLegendItems(run, unmarked), kLeft,
                                    kWidth - kRight, kLegendTop, legendRows);
  const Layout layout = PageLayout(legendRows);
  std::string svg = DocumentStart(layout.height, title);
  svg += legend;
  svg += EquityPanel(run, ranges, layout.equity, unmarked);
  svg += DrawCyclePanel(run, layout.drawdown, layout.lowerTitleY, kLeft, kWidth - kRight);
  svg += "</svg>\n";
  return svg;
}

void WriteChart(const HostRun& run, const std::string& title, const std::string& path) {
  system::WriteWholeFile(path, RenderChart(run, title));
}

}  // namespace zt::sim
