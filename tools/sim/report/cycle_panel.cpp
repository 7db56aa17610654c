#include "report/cycle_panel.h"

#include <algorithm>
#include <string>

#include "number_text.h"
#include "report/run_chart_colours.h"

namespace zt::sim {
namespace {

using namespace svg;
using tools::Money;

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
std::string CycleHeading(const CycleSummary& summary, double titleY, double left, double right) {
  std::vector<LegendItem> items = {
      {"cycle closed on take profit", BarSwatch(kEquityColour)},
      {"cycle closed on stop loss", BarSwatch(kStopLossColour)},
  };
  if (summary.count > 0)
    items.push_back({"average " + Money(summary.average), LineSwatch("#222", 1.2, "4 3")});
  const std::string title = "Cycle drawdowns (lowest equity - snapshot)";
  int rows = 0;
  return Text(left, titleY, title, "start", "font-weight=\"bold\"") +
         Legend("drawdown-legend", items, left + MeasureText(title) + 24, right, titleY - 14, rows);
}

// Cycle numbers under the bars: the smallest round step whose labels do not collide, and cycle 1
// marked too when the step skips it.
std::string CycleNumberTicks(std::size_t cycles, const Scale& dx, const Box& box) {
  std::string svg;
  const double pixels = box.right - box.left;
  const std::string widest = std::to_string(cycles);
  double step = std::max(1.0, NiceStep(static_cast<double>(cycles), 1));
  for (double candidate = 1; candidate <= static_cast<double>(cycles) * 10;
       candidate = NiceStep(candidate * 1.5, 1)) {
    if (candidate / static_cast<double>(cycles) * pixels >= MeasureText(widest) + kLabelGap) {
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
    if ((dx(step) - dx(1)) >= MeasureText(widest) + kLabelGap) {
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
  const double slot =
      (box.right - box.left) / static_cast<double>(cycles) * static_cast<double>(per);
  const double barWidth = slot * 0.4;
  std::string svg = "<g id=\"cycle-drawdowns\">\n";
  for (std::size_t first = 0; first < cycles; first += per) {
    const std::size_t end = std::min(cycles, first + per);
    double lowest[2] = {0.0, 0.0};
    std::size_t count[2] = {0, 0};
    for (std::size_t i = first; i < end; ++i) {
      const int kind = run.cycles[i].stopLoss ? 1 : 0;
      lowest[kind] = count[kind] == 0 ? run.cycles[i].drawdown
                                      : std::min(lowest[kind], run.cycles[i].drawdown);
      ++count[kind];
    }
    const double centre = dx((static_cast<double>(first + 1) + static_cast<double>(end)) / 2.0);
    const std::string cyclesText =
        "cycles " + std::to_string(first + 1) + "-" + std::to_string(end) + ": ";
    for (int kind = 0; kind < 2; ++kind) {
      if (count[kind] == 0) continue;
      const double left = kind == 0 ? centre - barWidth : centre;
      const double top = dy(0.0);
      const double bottom = dy(lowest[kind]);
      svg += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(barWidth) +
             "\" height=\"" + Num(std::max(0.5, bottom - top)) + "\" fill=\"" +
             (kind == 1 ? kStopLossColour : kEquityColour) + "\"><title>" + cyclesText +
             std::to_string(count[kind]) +
             (kind == 1 ? " closed on stop loss" : " closed on take profit") + ", lowest " +
             Money(lowest[kind]) + "</title></rect>\n";
    }
  }
  return svg + "</g>\n";
}

std::string CycleBars(const HostRun& run, const Scale& dx, const Scale& dy, const Box& box) {
  const std::size_t cycles = run.cycles.size();
  if (CyclesPerGroup(cycles) > 1) return GroupedCycleBars(run, dx, dy, box);
  std::string svg = "<g id=\"cycle-drawdowns\">\n";
  const double slot =
      (box.right - box.left) / static_cast<double>(std::max<std::size_t>(cycles, 1));
  const double barWidth = std::max(0.6, slot * 0.7);
  for (std::size_t i = 0; i < cycles; ++i) {
    const CycleRecord& cycle = run.cycles[i];
    const double px = dx(static_cast<double>(i + 1));
    const double top = dy(0.0);
    const double bottom = dy(cycle.drawdown);
    svg += "<rect x=\"" + Num(px - barWidth / 2) + "\" y=\"" + Num(top) + "\" width=\"" +
           Num(barWidth) + "\" height=\"" + Num(std::max(0.5, bottom - top)) + "\" fill=\"" +
           (cycle.stopLoss ? kStopLossColour : kEquityColour) + "\"><title>cycle " +
           std::to_string(i + 1) + ": " + Money(cycle.drawdown) + "</title></rect>\n";
  }
  return svg + "</g>\n";
}

// The average drawdown as a dashed line, or a note that there is nothing to show yet.
std::string CycleAverage(const CycleSummary& summary, const Scale& dy, const Box& box) {
  if (summary.count == 0) {
    return Text((box.left + box.right) / 2, (box.top + box.bottom) / 2, "no cycle closed yet",
                "middle", "fill=\"#666\"");
  }
  return "<g id=\"average-drawdown\">" +
         Line(box.left, dy(summary.average), box.right, dy(summary.average),
              "stroke=\"#222\" stroke-width=\"1.2\" stroke-dasharray=\"4 3\"") +
         "</g>\n";
}

}  // namespace

std::string DrawCyclePanel(const HostRun& run, const Box& box, double titleY, double left,
                           double right) {
  const CycleSummary summary = SummariseCycles(run);
  const double bottomValue = summary.deepest < -1e-9 ? summary.deepest * 1.08 : -1.0;
  const Scale dy{bottomValue, 0.0, box.bottom, box.top};
  const Scale dx{0.5, static_cast<double>(std::max<std::size_t>(summary.count, 1)) + 0.5, box.left,
                 box.right};
  std::string svg = CycleHeading(summary, titleY, left, right);
  svg += AmountAxis(dy, box, NiceStep(-bottomValue, 3), "drawdown");
  svg += "<g class=\"axis\">\n";
  if (summary.count > 0) svg += CycleNumberTicks(summary.count, dx, box);
  const std::size_t per = CyclesPerGroup(summary.count);
  // A long run keeps its latest cycles: the axis says which they are.
  const std::string which =
      run.cyclesLeftOut > 0
          ? "the latest " + std::to_string(summary.count) + " cycles of " +
                std::to_string(run.cyclesLeftOut + static_cast<std::int64_t>(summary.count))
          : "cycle";
  svg += Text(
      box.right, box.bottom + 36,
      per > 1 ? which + " (each pair of bars: the deepest of " + std::to_string(per) + " cycles)"
              : which,
      "end", "fill=\"#666\"");
  svg += "</g>\n";
  svg += CycleBars(run, dx, dy, box);
  svg += CycleAverage(summary, dy, box);
  svg += Frame(box);
  return svg;
}

}  // namespace zt::sim
