// The host's own account of a run, computed from what it saw (the closes, the cycles, the
// drawdowns, the account beside it without the guard), and the guard's statistics as its panel
// shows them, so that the two can be compared.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/host_driver.h"

namespace zt::sim {

struct Summary {
  std::int64_t ticks;
  std::int64_t takeProfitCloses;
  std::int64_t stopLossCloses;
  std::int64_t drawdownSteps;
  std::int64_t increasesPassed;
  std::int64_t emails;
  std::int64_t cycles;     // closed cycles (each ends in a close-all and a snapshot roll)
  double averageDrawdown;  // over the closed cycles; 0 when there are none
  double medianDrawdown;
  double lowestDrawdown;
  double startEquity;
  double finalEquity;
  double finalSnapshot;  // the guard's snapshot at the end
  // The guard against no guard: the same account without it, when the run knows it.
  bool compared;
  double deepestDrawdown;  // lowest equity less the highest before it, <= 0
  double unguardedFinalEquity;
  double unguardedDeepestDrawdown;
  double realisedPerCycle;  // average of equity left less the snapshot, per closed cycle
};

// Lowest equity less the highest equity before it, <= 0; 0 for no points.
double FindDeepestDrawdown(const std::vector<EquityPoint>& curve);

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

}  // namespace zt::sim
