#include "report/run_chart.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "report/run_report.h"
#include "report/svg_parts.h"
#include "number_text.h"

namespace zt::sim {
namespace {

using namespace svg;
using tools::Money;

// Page geometry in SVG user units (pixels at 100 % zoom).
constexpr double kWidth = 1100;
constexpr double kLeft = 84;            // the y tick labels and the axis title
constexpr double kRight = 24;
constexpr double kTitleY = 28;
constexpr double kLegendTop = 44;       // first legend row's top edge
constexpr double kLegendRow = 20;
constexpr double kPanelGap = 90;        // between the equity panel's x labels and the lower panel
constexpr double kEquityHeight = 380;
constexpr double kDrawdownHeight = 150;
constexpr double kBottom = 50;          // the lower panel's x labels and axis title

const char* const kEquityColour = "#1f5fa8";
const char* const kUnguardedColour = "#8a8a8a";
const char* const kSnapshotColour = "#555555";
const char* const kTakeProfitColour = "#2e9e44";
const char* const kDrawdownColour = "#e08a00";
const char* const kStopLossColour = "#d0302b";
const char* const kIncreaseColour = "#8a3ffc";

// The equity curve thinned to at most the lowest and highest value per pixel column, in the
// order they happened, so that no spike disappears.
std::string EquityPath(const std::vector<EquityPoint>& curve, const Scale& x, const Scale& y) {
  std::string d;
  const auto add = [&](const EquityPoint& point) {
    d += (d.empty() ? "M" : " L") + Num(x(static_cast<double>(point.time))) + " " + Num(y(point.equity));
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
std::string LevelPath(const HostRun& run, double GuardLevels::*level, const Scale& x, const Scale& y,
                      double endTime) {
  std::string d;
  bool drawing = false;
  const std::vector<LevelPoint>& points = run.levels;
  const auto valueAt = [&](std::size_t i) { return points[i].levels.*level; };
  const auto columnAt = [&](std::size_t i) { return std::floor(x(static_cast<double>(points[i].time))); };
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
    d += std::string(drawing ? " V" : (d.empty() ? "M" : " M") + Num(x(from))) + " " + Num(y(value));
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
      return "<path d=\"M" + Num(px) + " " + Num(py - r) + " L" + Num(px + r) + " " + Num(py + r * 0.7) +
             " L" + Num(px - r) + " " + Num(py + r * 0.7) + " Z\" fill=\"" + colour +
             "\" stroke=\"white\" stroke-width=\"0.8\"/>\n";
    case Mark::Down:
      return "<path d=\"M" + Num(px) + " " + Num(py + r) + " L" + Num(px + r) + " " + Num(py - r * 0.7) +
             " L" + Num(px - r) + " " + Num(py - r * 0.7) + " Z\" fill=\"" + colour +
             "\" stroke=\"white\" stroke-width=\"0.8\"/>\n";
    case Mark::Diamond:
      return "<path d=\"M" + Num(px) + " " + Num(py - r - 1) + " L" + Num(px + r) + " " + Num(py) + " L" +
             Num(px) + " " + Num(py + r + 1) + " L" + Num(px - r) + " " + Num(py) + " Z\" fill=\"" +
             colour + "\" stroke=\"white\" stroke-width=\"0.8\"/>\n";
    case Mark::Dot:
      return "<circle cx=\"" + Num(px) + "\" cy=\"" + Num(py) + "\" r=\"3\" fill=\"white\" stroke=\"" +
             colour + "\" stroke-width=\"1.5\"/>\n";
  }
  return {};
}

struct LegendItem {
  std::string label;
  std::string swatch;   // drawn with its centre at (0, 0)
};

std::string LineSwatch(const char* colour, double width, const char* dash) {
  return "<line x1=\"-11\" y1=\"0\" x2=\"11\" y2=\"0\" stroke=\"" + std::string(colour) +
         "\" stroke-width=\"" + Num(width) + "\"" +
         (dash[0] != '\0' ? std::string(" stroke-dasharray=\"") + dash + "\"" : "") + "/>";
}

std::string BarSwatch(const char* colour) {
  return "<rect x=\"-5\" y=\"-6\" width=\"10\" height=\"12\" fill=\"" + std::string(colour) + "\"/>";
}

// Lays the items out left to right from (left, top), wrapping to a new row when the next item
// would pass right. Returns the SVG; rows receives the number of rows used.
std::string Legend(const std::string& id, const std::vector<LegendItem>& items, double left, double right,
                   double top, int& rows) {
  std::string out = "<g id=\"" + id + "\">\n";
  double x = left;
  double y = top + kLegendRow / 2;
  rows = items.empty() ? 0 : 1;
  for (const LegendItem& item : items) {
    const double width = 30 + TextWidth(item.label) + 22;
    if (x + width > right && x > left) {
      x = left;
      y += kLegendRow;
      ++rows;
    }
    out += "<g transform=\"translate(" + Num(x + 11) + " " + Num(y) + ")\">" + item.swatch + "</g>\n";
    out += Text(x + 30, y + 4, item.label);
    x += width;
  }
  return out + "</g>\n";
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
    if (event.kind != EventKind::TakeProfitClose && event.kind != EventKind::StopLossClose) continue;
    const int kind = event.kind == EventKind::StopLossClose ? 1 : 0;
    ++counts[kind];
    columns[kind].insert(std::lround(x(static_cast<double>(event.figures.time))));
  }
  return {columns[0].size() > kMostCloseColumns ? counts[0] : 0,
          columns[1].size() > kMostCloseColumns ? counts[1] : 0};
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
      {CloseLegendText("close on take profit", unmarked.takeProfit), Marker(Mark::Up, 0, 0, kTakeProfitColour)},
      {CloseLegendText("close on stop loss", unmarked.stopLoss), Marker(Mark::Down, 0, 0, kStopLossColour)},
      {"increase target passed", Marker(Mark::Diamond, 0, 0, kIncreaseColour)},
      {"drawdown target passed", Marker(Mark::Dot, 0, 0, kDrawdownColour)},
  };
  if (!run.unguarded.empty()) items.insert(items.begin() + 1, {"without the guard", LineSwatch(kUnguardedColour, 1.2, "4 2")});
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
         "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"" + Num(kFontSize) + "\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += Text(kLeft, kTitleY, title, "start", "font-size=\"16\" font-weight=\"bold\"");
  return svg;
}

// The guard's levels as step lines, drawn under the equity curve.
std::string LevelLines(const HostRun& run, const Scale& x, const Scale& y, double endTime) {
  return Path("snapshot", LevelPath(run, &GuardLevels::snapshot, x, y, endTime), kSnapshotColour, 1.4, "") +
         Path("take-profit", LevelPath(run, &GuardLevels::takeProfit, x, y, endTime), kTakeProfitColour, 1.4, "6 3") +
         Path("drawdown-target", LevelPath(run, &GuardLevels::drawdownTarget, x, y, endTime), kDrawdownColour, 1.4, "6 3") +
         Path("stop-loss", LevelPath(run, &GuardLevels::stopLoss, x, y, endTime), kStopLossColour, 1.4, "6 3");
}

constexpr std::size_t kMostMarkers = 2000;  // more events than this are marked once per pixel

// The events a host reacts to, one group per kind: drawdown steps, the two kinds of close-all
// and passed increase targets (marked at the snapshot they rolled to).
std::string EventMarkers(const HostRun& run, const Scale& x, const Scale& y, const UnmarkedCloses& unmarked) {
  std::string closesUp = "<g id=\"close-take-profit\">\n", closesDown = "<g id=\"close-stop-loss\">\n",
              increases = "<g id=\"increase\">\n", steps = "<g id=\"drawdown-step\">\n";
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
      const double py = y(event.kind == EventKind::IncreaseReached ? event.snapshot : event.figures.equity);
      if (!marked.emplace(static_cast<int>(event.kind), std::lround(px), std::lround(py)).second) continue;
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
      default:
        break;
    }
  }
  return steps + "</g>\n" + closesUp + "</g>\n" + closesDown + "</g>\n" + increases + "</g>\n";
}

std::string EquityPanel(const HostRun& run, const Ranges& ranges, const Box& box, const UnmarkedCloses& unmarked) {
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

// ---- The cycle panel: one bar per closed cycle, its drawdown below zero ----

struct CycleSummary {
  std::size_t count;
  double deepest;  // the lowest drawdown, 0 without cycles
  double average;
};

CycleSummary SummariseCycles(const HostRun& run) {
  const std::size_t cycles = run.cycles.size();
  double deepest = 0;
  double sum = 0;
  for (const CycleRecord& cycle : run.cycles) {
    deepest = std::min(deepest, cycle.drawdown);
    sum += cycle.drawdown;
  }
  return {cycles, deepest, cycles > 0 ? sum / static_cast<double>(cycles) : 0.0};
}

// The panel's heading with its legend beside it.
std::string CycleHeading(const CycleSummary& summary, double titleY) {
  std::vector<LegendItem> items = {
      {"cycle closed on take profit", BarSwatch(kEquityColour)},
      {"cycle closed on stop loss", BarSwatch(kStopLossColour)},
  };
  if (summary.count > 0) items.push_back({"average " + Money(summary.average), LineSwatch("#222", 1.2, "4 3")});
  const std::string title = "Cycle drawdowns (lowest equity - snapshot)";
  int rows = 0;
  return Text(kLeft, titleY, title, "start", "font-weight=\"bold\"") +
         Legend("drawdown-legend", items, kLeft + TextWidth(title) + 24, kWidth - kRight, titleY - 14, rows);
}

// Cycle numbers under the bars: the smallest round step whose labels do not collide, and cycle 1
// marked too when the step skips it.
std::string CycleNumberTicks(std::size_t cycles, const Scale& dx, const Box& box) {
  std::string svg;
  const double pixels = box.right - box.left;
  const std::string widest = std::to_string(cycles);
  double step = std::max(1.0, NiceStep(static_cast<double>(cycles), 1));
  for (double candidate = 1; candidate <= static_cast<double>(cycles) * 10; candidate = NiceStep(candidate * 1.5, 1)) {
    if (candidate / static_cast<double>(cycles) * pixels >= TextWidth(widest) + kLabelGap) {
      step = candidate;
      break;
    }
  }
  for (double number = step; number <= static_cast<double>(cycles) + 1e-9; number += step) {
    const double px = dx(number);
    svg += Line(px, box.bottom, px, box.bottom + kTickLength, "stroke=\"#333\"");
    svg += Text(px, box.bottom + 18, AmountLabel(number, 1), "middle");
  }
  if (step > 1) {
    svg += Line(dx(1), box.bottom, dx(1), box.bottom + kTickLength, "stroke=\"#333\"");
    if ((dx(step) - dx(1)) >= TextWidth(widest) + kLabelGap) {
      svg += Text(dx(1), box.bottom + 18, "1", "middle");
    }
  }
  return svg;
}

// Beyond this many cycles a bar would be thinner than a pixel and thousands of them one smear:
// the cycles are shown in groups instead.
constexpr std::size_t kMostCycleBars = 500;
constexpr std::size_t kCycleGroups = 250;

std::size_t CyclesPerGroup(std::size_t cycles) {
  return cycles > kMostCycleBars ? (cycles + kCycleGroups - 1) / kCycleGroups : 1;
}

// One pair of bars per group of consecutive cycles: the deepest drawdown of those that closed on
// the take profit, and beside it of those that closed on the stop loss, so that wins and losses
// stay apart however many cycles there are.
std::string GroupedCycleBars(const HostRun& run, const Scale& dx, const Scale& dy, const Box& box) {
  const std::size_t cycles = run.cycles.size();
  const std::size_t per = CyclesPerGroup(cycles);
  const double slot = (box.right - box.left) / static_cast<double>(cycles) * static_cast<double>(per);
  const double barWidth = slot * 0.4;
  std::string svg = "<g id=\"cycle-drawdowns\">\n";
  for (std::size_t first = 0; first < cycles; first += per) {
    const std::size_t end = std::min(cycles, first + per);
    double lowest[2] = {0.0, 0.0};
    std::size_t count[2] = {0, 0};
    for (std::size_t i = first; i < end; ++i) {
      const int kind = run.cycles[i].stopLoss ? 1 : 0;
      lowest[kind] = count[kind] == 0 ? run.cycles[i].drawdown : std::min(lowest[kind], run.cycles[i].drawdown);
      ++count[kind];
    }
    const double centre = dx((static_cast<double>(first + 1) + static_cast<double>(end)) / 2.0);
    const std::string cyclesText = "cycles " + std::to_string(first + 1) + "-" + std::to_string(end) + ": ";
    for (int kind = 0; kind < 2; ++kind) {
      if (count[kind] == 0) continue;
      const double left = kind == 0 ? centre - barWidth : centre;
      const double top = dy(0.0);
      const double bottom = dy(lowest[kind]);
      svg += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(barWidth) + "\" height=\"" +
             Num(std::max(0.5, bottom - top)) + "\" fill=\"" + (kind == 1 ? kStopLossColour : kEquityColour) +
             "\"><title>" + cyclesText + std::to_string(count[kind]) +
             (kind == 1 ? " closed on stop loss" : " closed on take profit") + ", lowest " + Money(lowest[kind]) +
             "</title></rect>\n";
    }
  }
  return svg + "</g>\n";
}

std::string CycleBars(const HostRun& run, const Scale& dx, const Scale& dy, const Box& box) {
  const std::size_t cycles = run.cycles.size();
  if (CyclesPerGroup(cycles) > 1) return GroupedCycleBars(run, dx, dy, box);
  std::string svg = "<g id=\"cycle-drawdowns\">\n";
  const double slot = (box.right - box.left) / static_cast<double>(std::max<std::size_t>(cycles, 1));
  const double barWidth = std::max(0.6, slot * 0.7);
  for (std::size_t i = 0; i < cycles; ++i) {
    const CycleRecord& cycle = run.cycles[i];
    const double px = dx(static_cast<double>(i + 1));
    const double top = dy(0.0);
    const double bottom = dy(cycle.drawdown);
    svg += "<rect x=\"" + Num(px - barWidth / 2) + "\" y=\"" + Num(top) + "\" width=\"" + Num(barWidth) +
           "\" height=\"" + Num(std::max(0.5, bottom - top)) + "\" fill=\"" +
           (cycle.stopLoss ? kStopLossColour : kEquityColour) + "\"><title>cycle " + std::to_string(i + 1) +
           ": " + Money(cycle.drawdown) + "</title></rect>\n";
  }
  return svg + "</g>\n";
}

// The average drawdown as a dashed line, or a note that there is nothing to show yet.
std::string CycleAverage(const CycleSummary& summary, const Scale& dy, const Box& box) {
  if (summary.count == 0) {
    return Text((box.left + box.right) / 2, (box.top + box.bottom) / 2, "no cycle closed yet", "middle",
                "fill=\"#666\"");
  }
  return "<g id=\"average-drawdown\">" +
         Line(box.left, dy(summary.average), box.right, dy(summary.average),
              "stroke=\"#222\" stroke-width=\"1.2\" stroke-dasharray=\"4 3\"") +
         "</g>\n";
}

std::string CyclePanel(const HostRun& run, const Layout& layout) {
  const CycleSummary summary = SummariseCycles(run);
  const Box& box = layout.drawdown;
  const double bottomValue = summary.deepest < -1e-9 ? summary.deepest * 1.08 : -1.0;
  const Scale dy{bottomValue, 0.0, box.bottom, box.top};
  const Scale dx{0.5, static_cast<double>(std::max<std::size_t>(summary.count, 1)) + 0.5, box.left, box.right};
  std::string svg = CycleHeading(summary, layout.lowerTitleY);
  svg += AmountAxis(dy, box, NiceStep(-bottomValue, 3), "drawdown");
  svg += "<g class=\"axis\">\n";
  if (summary.count > 0) svg += CycleNumberTicks(summary.count, dx, box);
  const std::size_t per = CyclesPerGroup(summary.count);
  svg += Text(box.right, box.bottom + 36,
              per > 1 ? "cycle (each pair of bars: the deepest of " + std::to_string(per) + " cycles)" : "cycle",
              "end", "fill=\"#666\"");
  svg += "</g>\n";
  svg += CycleBars(run, dx, dy, box);
  svg += CycleAverage(summary, dy, box);
  svg += Frame(box);
  return svg;
}

}  // namespace

double NiceStep(double range, int wantedTicks) {
  const double raw = range / wantedTicks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * power >= raw * (1 - 1e-9)) return factor * power;
  }
  return 10.0 * power;
}

std::string RenderChart(const HostRun& run, const std::string& title) {
  const Ranges ranges = DataRanges(run);
  // The panel's width is fixed; only its height waits for the legend.
  const UnmarkedCloses unmarked = CrowdedCloses(run, Scale{ranges.t0, ranges.t1, kLeft, kWidth - kRight});
  int legendRows = 0;
  const std::string legend =
      Legend("legend", EquityLegendItems(run, unmarked), kLeft, kWidth - kRight, kLegendTop, legendRows);
  const Layout layout = PageLayout(legendRows);
  std::string svg = DocumentStart(layout.height, title);
  svg += legend;
  svg += EquityPanel(run, ranges, layout.equity, unmarked);
  svg += CyclePanel(run, layout);
  svg += "</svg>\n";
  return svg;
}

void WriteChart(const HostRun& run, const std::string& title, const std::string& path) {
  // The folder is made as for every other output file.
  if (const std::filesystem::path parent = std::filesystem::path(path).parent_path(); !parent.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(parent, ignored);
  }
  std::ofstream out(path, std::ios::binary);
  out << RenderChart(run, title);
  if (!out) throw std::runtime_error("cannot write the chart to " + path);
}

}  // namespace zt::sim
