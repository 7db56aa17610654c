// One market at two grains: the price model's path run as one-minute ticks, and the hourly bars
// made from those same ticks run again as the lab replays a bar. A bar's replay that lets a guard's
// close fill at the bar's high or low with hindsight turns a grid that ruins the account into one
// that multiplies it; a replay that walks the bar like ticks must end each ladder, and the grid
// without the guard, near where the ticks ended.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "market/price_history.h"
#include "runs/single_run.h"
#include "sim_test_support.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

constexpr double kBalance = 10000.0;
constexpr std::int64_t kMinuteTicks = 60 * 24 * 45;  // 45 days of one tick a minute
// The demo's martingale grid: lots doubled every 100 points against it, up to ten levels.
constexpr const char* kGrid =
    "--market model --strategy grid --grid-lots 0.1 --grid-multiplier 2 --grid-levels 10 "
    "--grid-step 100 --news 13:30 --balance 10000";

struct Ladder {
  const char* name;
  const char* takeProfits;
  const char* drawdownTargets;
  const char* stopLosses;
};
// The demo's three ladders.
constexpr Ladder kLadders[] = {{"tight", "60,40", "30,60", "100"},
                               {"mid", "120,80", "60,120", "250"},
                               {"wide", "300,200", "150,300", "600"}};

std::vector<std::string> GridArguments(const Ladder& ladder, std::uint64_t seed) {
  std::vector<std::string> arguments = tools::SplitAt(kGrid, ' ');
  arguments.insert(arguments.end(),
                   {"--start", "2024.01.01 22:00", "--seed", std::to_string(seed), "--take-profits",
                    ladder.takeProfits, "--drawdown-targets", ladder.drawdownTargets,
                    "--increase-targets", "", "--stop-losses", ladder.stopLosses, "--quiet"});
  return arguments;
}

struct Ends {
  double guarded, unguarded;
};

Ends RunEnds(const std::vector<std::string>& arguments) {
  const SimResult result = Simulate(testing::CommandLineOptions(arguments));
  return {kBalance + result.risk.guarded.endResult, kBalance + result.risk.unguarded.endResult};
}

// The tolerance, in the account's money: a tenth of the starting balance. The bar run and the tick
// run share the market's hourly open, high, low and close but not its minutes, nor the model's
// spread that widens in busy spells (bars carry the calm one): a grid's entries and a guard's
// closes land a few points apart, and a close a little earlier or later restarts the grid on
// another price. Over 45 days that parts the two runs by a few hundred; a replay with hindsight
// parts them by many thousands, in one direction, ladder after ladder.
constexpr double kTolerance = 0.1 * kBalance;

TEST(BarGrain, HourlyBarsOfAMinuteTickPathEndEachLadderAndNoGuardNearTheTicks) {
  testing::TempFolder folder;
  for (const std::uint64_t seed : {3u, 7u, 11u}) {
    const std::string bars = folder.File("bars-" + std::to_string(seed) + ".csv");
    {
      std::vector<std::string> model = GridArguments(kLadders[0], seed);
      model.insert(model.end(), {"--tick-seconds", "60"});
      const SimOptions options = testing::CommandLineOptions(model);
      std::ofstream out(bars);
      WriteModelBars(options.start, options.positions.prices, kMinuteTicks, 60, out);
    }
    for (const Ladder& ladder : kLadders) {
      std::vector<std::string> ticks = GridArguments(ladder, seed);
      ticks.insert(ticks.end(), {"--tick-seconds", "60", "--ticks", std::to_string(kMinuteTicks)});
      std::vector<std::string> onBars = GridArguments(ladder, seed);
      onBars.insert(onBars.end(), {"--history", bars});
      const Ends fine = RunEnds(ticks), coarse = RunEnds(onBars);
      const std::string at = "seed " + std::to_string(seed) + ", ladder " + ladder.name;
      EXPECT_NEAR(coarse.guarded, fine.guarded, kTolerance) << at;
      EXPECT_NEAR(coarse.unguarded, fine.unguarded, kTolerance) << at << " (no guard)";
    }
  }
}

}  // namespace
}  // namespace zt::sim
