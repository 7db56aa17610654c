// The guard over a grid strategy on the price model, with the real library: a stop loss holds each
// cycle's loss to the stop loss and the tick that crossed it, where the same grid without the
// guard falls far further; a run paused and resumed from its state folder goes on as one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "runs/single_run.h"
#include "sim_test_support.h"
#include "text_helpers.h"
#include "trading/strategies.h"

namespace zt::sim {
namespace {

constexpr double kStopLoss = 150.0;

// The grid on the price model under one take profit and one stop loss.
std::vector<std::string> GridRun(const std::string& takeProfit, const std::string& stopLoss,
                                 std::vector<std::string> more) {
  std::vector<std::string> arguments =
      tools::SplitAt("--market model --strategy grid --seed 5", ' ');
  arguments.insert(arguments.end(), {"--take-profits", takeProfit, "--drawdown-targets", "",
                                     "--increase-targets", "", "--stop-losses", stopLoss});
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

// The most a close-all can pay in commission: every level of both directions open.
double MostCloseCommission(const PositionMarketOptions& market) {
  const StrategyValues& grid = market.strategy.values;
  const std::int64_t levels = grid.wholes.at("grid-levels");
  double lots = RoundToLots(grid.numbers.at("grid-lots")), all = 0.0;
  for (std::int64_t level = 0; level < levels; ++level) {
    all += lots;
    lots = RoundToLots(lots * grid.numbers.at("grid-multiplier"));
  }
  return 2.0 * all * market.terms.commissionPerLot +
         0.005 * 2.0 * static_cast<double>(levels);  // booked in cents
}

TEST(GridUnderTheGuard,
     NoCycleLosesMorePastItsStopLossThanATicksMoveAndTheCloseWhileTheGridAloneDoes) {
  const SimOptions options =
      testing::CommandLineOptions(GridRun("100", "150", {"--ticks", "20000"}));
  const SimResult result = Simulate(options);
  const HostRun& run = result.run;
  const double closeCost = MostCloseCommission(options.positions);
  int stopLosses = 0;
  for (const CycleRecord& cycle : run.cycles) {
    const auto close =
        std::find_if(run.equity.begin(), run.equity.end(),
                     [&](const EquityPoint& point) { return point.time == cycle.closeTime; });
    ASSERT_NE(close, run.equity.end());
    ASSERT_NE(close, run.equity.begin());
    const double tickFall = std::max(0.0, (close - 1)->equity - close->equity);
    const std::string at = "cycle closed at " + std::to_string(cycle.closeTime);
    EXPECT_GE(cycle.drawdown, -kStopLoss - tickFall - 1e-6) << at;
    EXPECT_GE(cycle.equityLeft - cycle.snapshot, -kStopLoss - tickFall - closeCost) << at;
    EXPECT_LE(cycle.equityLeft, close->equity + 0.005) << at;
    if (cycle.stopLoss) ++stopLosses;
  }
  EXPECT_GE(stopLosses, 3);
  // The closes changed the path: the two accounts part by far more than what the closes cost.
  const double parted = std::fabs(run.equity.back().equity - run.unguarded.back().equity);
  EXPECT_GT(parted, 10.0 * closeCost * static_cast<double>(run.cycles.size()));
  ASSERT_TRUE(run.unguardedDeepestDrawdown.has_value());
  EXPECT_LT(*run.unguardedDeepestDrawdown, -3.0 * kStopLoss);
}

TEST(GridUnderTheGuard, ARunResumedFromItsStateFolderGoesOnAsOneStraightRun) {
  testing::TempFolder folder;
  // A narrow grid under a tight ladder: a close every few hundred ticks, one cycle open at the cut.
  const auto run = [&](const std::string& ticks, bool kept) {
    std::vector<std::string> more = {"--grid-step", "60",      "--grid-take-profit",
                                     "40",          "--ticks", ticks};
    if (kept) more.insert(more.end(), {"--state", folder.path});
    return Simulate(testing::CommandLineOptions(GridRun("30", "40", more)));
  };
  const SimResult straight = run("6000", false);
  const SimResult first = run("2500", true);
  const SimResult second = run("3500", true);
  EXPECT_TRUE(second.resumed);
  std::vector<CycleRecord> cycles = first.run.cycles;
  cycles.insert(cycles.end(), second.run.cycles.begin(), second.run.cycles.end());
  ASSERT_EQ(cycles.size(), straight.run.cycles.size());
  ASSERT_GE(cycles.size(), 10u);
  ASSERT_FALSE(first.run.cycles.empty());
  for (std::size_t i = 0; i < cycles.size(); ++i) {
    EXPECT_EQ(cycles[i].closeTime, straight.run.cycles[i].closeTime) << i;
    EXPECT_EQ(cycles[i].snapshot, straight.run.cycles[i].snapshot) << i;
    EXPECT_EQ(cycles[i].drawdown, straight.run.cycles[i].drawdown) << i;
    EXPECT_EQ(cycles[i].equityLeft, straight.run.cycles[i].equityLeft) << i;
  }
  EXPECT_EQ(second.run.equity.back().time, straight.run.equity.back().time);
  EXPECT_EQ(second.run.equity.back().equity, straight.run.equity.back().equity);
  EXPECT_EQ(second.run.unguarded.back().equity, straight.run.unguarded.back().equity);
}

}  // namespace
}  // namespace zt::sim
