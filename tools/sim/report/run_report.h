// What a run tells the user: the event log, the dashboard as a terminal lays it out, a summary
// of the closes and cycle drawdowns, and the same in JSON for programs.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "host/dashboard.h"
#include "host/host_driver.h"
#include "host/ladder.h"

namespace zt::sim {

struct RunRisk;

// The host's own account of a run, computed from what it saw, independent of the guard's
// statistics so that the two can be compared.
struct Summary {
  std::int64_t ticks;
  std::int64_t takeProfitCloses;
  std::int64_t stopLossCloses;
  std::int64_t drawdownSteps;
  std::int64_t increasesPassed;
  std::int64_t emails;
  std::int64_t cycles;           // closed cycles (each ends in a close-all and a snapshot roll)
  double averageDrawdown;        // over the closed cycles; 0 when there are none
  double medianDrawdown;
  double lowestDrawdown;
  double startEquity;
  double finalEquity;
  double finalSnapshot;          // the guard's snapshot at the end
  // The guard against no guard: the same account without it, when the run knows it.
  bool compared;
  double deepestDrawdown;           // lowest equity less the highest before it, <= 0
  double unguardedFinalEquity;
  double unguardedDeepestDrawdown;
  double realisedPerCycle;          // average of equity left less the snapshot, per closed cycle
};

// Lowest equity less the highest equity before it, <= 0; 0 for no points.
double DeepestDrawdown(const std::vector<EquityPoint>& curve);

Summary Summarise(const HostRun& run);

// The guard's own cycle statistics as its dashboard shows them (first column, row 9,
// "Snaps / Avg / Med / Low DD"). Drawdowns are empty while it shows "0 / - / - / -".
struct GuardStatistics {
  int snaps;
  std::optional<double> averageDrawdown;
  std::optional<double> medianDrawdown;
  std::optional<double> lowestDrawdown;
};
// Empty when the text is not such a value.
std::optional<GuardStatistics> ParseGuardStatistics(const std::string& text);
constexpr int kStatisticsRow = 9;

// One line of the event log (e-mail bodies follow on indented lines).
std::string FormatEvent(const HostEvent& event);
// The log's heading and its last `tail` events (all of them when tail is 0).
std::string FormatLog(const HostRun& run, std::size_t tail);
// The panel as two columns of label and value, the title line above them.
std::string FormatDashboard(const Dashboard& panel);
std::string FormatSummary(const Summary& summary, const Dashboard& panel);
// The ladder as the library reads it, one line per table, under a "ladder" heading.
std::string FormatLadder(const Ladder& ladder);
// The whole run as one JSON object: the units, every input (option, value), the ladder, events,
// cycles, summary, the guard's statistics, dashboard. Amounts are whole cents.
using Inputs = std::vector<std::pair<std::string, std::string>>;
// A brief JSON has no "events" and no "cycles"; the comparison gives the realised result per
// cycle (equity left less the snapshot, in whole cents each) by its median, lowest and highest too.
// It carries the run's equity curves too, at a few hundred moments ("curve", see figures/sampled_curves.h),
// for a page that compares runs.
// With risk, a "risk" member holds the figures a trader decides on (see risk_figures.h).
std::string FormatJson(const HostRun& run, const Summary& summary, const Dashboard& panel, const Ladder& ladder,
                       const Inputs& inputs, bool brief = false, const RunRisk* risk = nullptr);
// The same document written to out as it is made, without holding all of it.
void WriteJson(std::ostream& out, const HostRun& run, const Summary& summary, const Dashboard& panel,
               const Ladder& ladder, const Inputs& inputs, bool brief = false, const RunRisk* risk = nullptr);

// text broken at spaces into lines of at most width characters (a longer word stands alone).
std::vector<std::string> Wrapped(const std::string& text, std::size_t width);

// text in lines of at most width characters, broken after a space, a comma or a slash (a path or
// a list of amounts too long for a line breaks between its parts), every line but the first
// starting with indent; a text that fits is returned as it is. Lines are joined by line feeds.
std::string Folded(const std::string& text, std::size_t width, const std::string& indent);

const char* EventName(EventKind kind);

}  // namespace zt::sim
