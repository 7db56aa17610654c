// Many seeded markets: the figures a trader ranks ladders by, from the arithmetic of percentiles
// and time under water on hand-checked cases to whole --runs on the grid strategy, whose ladders
// must come out different from each other and from the account without the guard.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "figures/risk_figures.h"
#include "host/host_driver.h"
#include "market/market_calendar.h"
#include "options/sim_options.h"
#include "runs/many_runs.h"
#include "sim_test_support.h"
#include "trading/trading_account.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// ---- The arithmetic, on cases checked by hand ----

TEST(RiskFigures, PercentilesLieOnStraightLinesBetweenTheSortedValues) {
  // Sorted: 10 20 30 40 50 at ranks 0..4. The 5th percentile sits at rank 0.2, the 95th at 3.8.
  const std::vector<double> values = {40, 10, 30, 50, 20};
  EXPECT_DOUBLE_EQ(Percentile(values, 0.5), 30.0);
  EXPECT_DOUBLE_EQ(Percentile(values, 0.05), 12.0);
  EXPECT_DOUBLE_EQ(Percentile(values, 0.95), 48.0);
  EXPECT_DOUBLE_EQ(Percentile(values, 0.25), 20.0);
  EXPECT_DOUBLE_EQ(Percentile({-3, 7}, 0.5), 2.0);  // an even count: halfway between the middle two
  EXPECT_DOUBLE_EQ(Percentile({7}, 0.05), 7.0);
  EXPECT_DOUBLE_EQ(Percentile({}, 0.5), 0.0);

  const FigureSpread results = MeasureSpread(values, true);
  EXPECT_DOUBLE_EQ(results.worst, 10.0);  // an end result is worst at its lowest
  EXPECT_DOUBLE_EQ(MeasureSpread(values, false).worst, 50.0);  // days under water at their most
  EXPECT_DOUBLE_EQ(results.p95, 48.0);
}

TEST(RiskFigures, TimeUnderWaterRunsFromTheFallToTheRecovery) {
  UnderWater water;
  // Falls at 10, back at the peak at 40 (a 30 s spell); falls again at 50 and is still under at 60.
  const double equities[] = {100, 90, 95, 97, 100, 80, 99.9};
  for (int i = 0; i < 7; ++i) water.Add(i * 10, equities[i]);
  EXPECT_EQ(water.longestSeconds(), 30);
  EXPECT_EQ(water.totalSeconds(), 30 + 10);
  EXPECT_DOUBLE_EQ(water.deepest(), -20.0);

  UnderWater rounding;  // a fraction of a cent below the peak is the peak
  rounding.Add(0, 100.0);
  rounding.Add(10, 99.996);
  rounding.Add(20, 99.996);
  EXPECT_EQ(rounding.totalSeconds(), 0);
}

TEST(RiskFigures, TheAccountOfPositionsCountsWhatTradingCost) {
  constexpr std::int64_t kTuesday10 = 1704189600;  // 2024.01.02 10:00 UTC
  TradingAccount account =
      NewTradingAccount(AccountTerms{}, 1000.0, Quote{kTuesday10, 1.10000, 1.10010});
  ASSERT_TRUE(OpenPosition(account, Side::Buy, 0.10));   // 10 points of spread on 10000 units: 1.00
  ASSERT_TRUE(OpenPosition(account, Side::Sell, 0.20));  // 2.00
  EXPECT_NEAR(account.costs.spread, 3.00, 1e-9);
  EXPECT_NEAR(account.costs.commission, 0.35 + 0.70, 1e-9);
  // Tuesday's and Wednesday's rollovers: 4 nights of -7 x 0.1 paid, of 2 x 0.2 earned.
  MoveAccount(account, Quote{kTuesday10 + kDaySeconds + 13 * 3600, 1.10500, 1.10510});
  EXPECT_NEAR(account.costs.swap, 2.80 - 1.60, 1e-9);
  CloseAllPositions(account);
  EXPECT_NEAR(account.costs.commission, 2 * (0.35 + 0.70), 1e-9);
}

TEST(RiskFigures, TheLongestRunOfStopLossesIsKeptAcrossTakeProfits) {
  CycleTally tally;
  for (const bool stopLoss : {true, true, false, true, true, true, false, true}) {
    tally.Add(CycleRecord{1000.0, -5.0, stopLoss ? 990.0 : 1010.0, stopLoss, 0});
  }
  EXPECT_EQ(tally.longestStopLossRun, 3);
  EXPECT_EQ(tally.stopLossRun, 1);
}

AccountRisk OneRun(double end, double drawdown, std::int64_t stopOuts, double commission) {
  AccountRisk run;
  run.endResult = end;
  run.deepestDrawdown = drawdown;
  run.stopOutCloses = stopOuts;
  run.costs.commission = commission;
  return run;
}

TEST(RiskFigures, OverManyRunsStopOutsAreAShareOfRunsAndTheRatioUsesMedians) {
  const LadderRisk l = SumUpRuns(
      "a", false, {OneRun(300, -100, 0, 10), OneRun(-50, -400, 3, 20), OneRun(100, -200, 0, 30)});
  EXPECT_EQ(l.runs, 3u);
  EXPECT_DOUBLE_EQ(*l.stopOutShare, 1.0 / 3.0);  // one run of three, however many positions went
  EXPECT_EQ(*l.stopOutCloses, 3);
  EXPECT_DOUBLE_EQ(*l.returnOverDrawdown, 100.0 / 200.0);
  EXPECT_DOUBLE_EQ(*l.costsPerRun.commission, 20.0);
  EXPECT_FALSE(l.costsPerRun.spread.has_value());  // no run knew it
  EXPECT_DOUBLE_EQ(l.endResult.worst, -50.0);
  EXPECT_DOUBLE_EQ(l.deepestDrawdown.worst, -400.0);
}

TEST(RiskFigures, RankingPutsTheBestFirstAndLaddersWithoutTheFigureLast) {
  LadderRisk deep = SumUpRuns("deep", false, {OneRun(500, -900, 1, 0)});
  LadderRisk shallow = SumUpRuns("shallow", false, {OneRun(100, -50, 0, 0)});
  LadderRisk walk = SumUpRuns("walk", false, {OneRun(300, -300, 0, 0)});
  walk.stopOutShare.reset();
  const auto names = [](const std::vector<LadderRisk>& ranked) {
    std::string out;
    for (const LadderRisk& l : ranked) out += l.name + " ";
    return out;
  };
  EXPECT_EQ(names(RankLadders({deep, shallow, walk}, "end")), "deep walk shallow ");
  EXPECT_EQ(names(RankLadders({deep, shallow, walk}, "drawdown")), "shallow walk deep ");
  EXPECT_EQ(names(RankLadders({deep, walk, shallow}, "stopouts")), "shallow deep walk ");
}

// ---- Whole runs of the program ----

int RunProgram(const std::string& arguments, const testing::TempFolder& folder) {
  const std::string command = std::string(ZT_SIM_PROGRAM) + " --library " + ZT_SIM_LIBRARY +
                              " --no-progress " + arguments + " > " + folder.File("out.txt") +
                              " 2> " + folder.File("err.txt");
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const Json& Entry(const Json& all, const std::string& name) {
  for (const Json& entry : all["ladders"]) {
    if (entry["name"] == name) return entry;
  }
  ADD_FAILURE() << "no ladder " << name;
  static const Json none;
  return none;
}

// A grid that doubles its lots on a thin account: without a guard the broker stops some markets
// out.
constexpr const char* kGrid =
    "--market model --strategy grid --seed 1 --ticks 6000 --grid-lots 0.1 --grid-multiplier 2 "
    "--grid-levels 10 --grid-step 100 --jobs 2 --runs 12 --ladder 'tight=60|||100' --ladder "
    "'mid=150|||300' --ladder 'a-ladder-with-a-long-name=400|||1500'";

TEST(ManyRuns, LaddersOnTheGridDifferAndAStopLossKeepsTheDrawdownShallowerThanNoGuard) {
  testing::TempFolder folder;
  ASSERT_EQ(
      RunProgram(std::string(kGrid) + " --rank-by worst-drawdown --json " + folder.File("all.json"),
                 folder),
      0)
      << testing::ReadFile(folder.File("err.txt"));
  const Json all = Json::parse(testing::ReadFile(folder.File("all.json")));
  ASSERT_EQ(all["ladders"].size(), 4u);
  const Json& none = Entry(all, "no guard");
  const Json& tight = Entry(all, "tight");
  const Json& mid = Entry(all, "mid");
  EXPECT_EQ(tight["runs"], 12);
  EXPECT_EQ(none["perRun"].size(), 12u);
  // The ladders change the outcome, not only its costs.
  EXPECT_NE(tight["endResult"]["median"], mid["endResult"]["median"]);
  EXPECT_NE(tight["deepestDrawdown"]["worst"], mid["deepestDrawdown"]["worst"]);
  // A tight stop loss closes before the broker has to: shallower at the worst, never stopped out,
  // where the grid left alone is stopped out on some markets.
  EXPECT_GT(tight["deepestDrawdown"]["worst"].get<long long>(),
            none["deepestDrawdown"]["worst"].get<long long>());
  EXPECT_GT(none["stopOutShare"].get<double>(), 0.0);
  EXPECT_EQ(tight["stopOutShare"].get<double>(), 0.0);
  EXPECT_EQ(none["closes"]["takeProfit"], 0);
  EXPECT_GT(tight["closes"]["stopLoss"].get<long long>(), 0);
  EXPECT_EQ(all["ladders"][0]["name"], "tight") << "ranked by the worst drawdown, shallowest first";

  // Each seed's figures are those of the same run made alone.
  const Json& third = tight["perRun"][2];
  ASSERT_EQ(third["seed"], 3);
  ASSERT_EQ(
      RunProgram(
          "--market model --strategy grid --seed 3 --ticks 6000 --grid-lots 0.1 --grid-multiplier "
          "2 --grid-levels 10 --grid-step 100 --take-profits 60 --drawdown-targets '' "
          "--increase-targets '' --stop-losses 100 --quiet --json-brief --json " +
              folder.File("alone.json"),
          folder),
      0)
      << testing::ReadFile(folder.File("err.txt"));
  const Json alone = Json::parse(testing::ReadFile(folder.File("alone.json")))["risk"];
  Json expected = third;
  expected.erase("seed");
  EXPECT_EQ(alone["withGuard"], expected);
  Json unguarded = none["perRun"][2];
  unguarded.erase("seed");
  EXPECT_EQ(alone["withoutGuard"], unguarded);
}

TEST(ManyRuns, TheTablesFitAHundredColumnsAndTheWalkSaysWhatAGuardCanChange) {
  testing::TempFolder folder;
  ASSERT_EQ(RunProgram(std::string(kGrid) + " --rank-by stopouts", folder), 0)
      << testing::ReadFile(folder.File("err.txt"));
  const auto checkWidth = [&](const std::string& what) {
    std::istringstream table(testing::ReadFile(folder.File("out.txt")));
    std::size_t lines = 0;
    for (std::string line; std::getline(table, line); ++lines)
      EXPECT_LE(line.size(), 100u) << what << ": " << line;
    return lines;
  };
  EXPECT_GT(checkWidth("grid"), 12u);
  const std::string grid = testing::ReadFile(folder.File("out.txt"));
  EXPECT_NE(grid.find("\n 1 tight "), std::string::npos) << grid;  // never stopped out: first
  EXPECT_NE(grid.find("a-ladder-with-a-long-name\n"), std::string::npos) << grid;
  EXPECT_EQ(grid.find("changes nothing here but"), std::string::npos);
  // The broker's account knows its costs by kind; the walk knows only what its closes cost.
  EXPECT_NE(grid.find("costs of the average run"), std::string::npos) << grid;

  ASSERT_EQ(
      RunProgram("--seed 2 --ticks 2000 --close-cost 2 --runs 3 --ladder 'tp=20|||20'", folder), 0)
      << testing::ReadFile(folder.File("err.txt"));
  checkWidth("walk");
  EXPECT_EQ(testing::ReadFile(folder.File("out.txt")).find("costs of the average run"),
            std::string::npos);
  EXPECT_NE(testing::ReadFile(folder.File("out.txt"))
                .find("changes nothing here but what its closes cost"),
            std::string::npos);
}

TEST(ManyRuns, OptionsThatCannotGoWithManyMarketsAreRefused) {
  const auto refusal = [](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "zt-sim");
    std::ostringstream out, err;
    const ParsedCommandLine parsed = ParseCommandLine(arguments, out, err);
    return parsed.options ? std::string() : err.str();
  };
  EXPECT_NE(refusal({"--runs", "0"}).find("--runs must be a whole number from 1"),
            std::string::npos);
  EXPECT_NE(refusal({"--rank-by", "end"}).find("give --runs N"), std::string::npos);
  EXPECT_NE(refusal({"--runs", "4", "--rank-by", "luck"}).find("--rank-by"), std::string::npos);
  EXPECT_NE(refusal({"--runs", "4", "--chart", "x.svg"}).find("--chart shows one run"),
            std::string::npos);
  EXPECT_NE(refusal({"--runs", "4", "--ladder", "no guard=50|||50"}).find("no guard"),
            std::string::npos);
  EXPECT_EQ(refusal({"--runs", "4", "--rank-by", "return-over-drawdown"}), "");
  // Recorded ticks or a recorded equity curve are one path however many seeds are asked for; a
  // bar history is one market whose bars each seed walks another way.
  testing::TempFolder folder;
  testing::WriteFile(folder.File("ticks.csv"), "2024.01.02 00:00:00,1.10432,1.10440\n");
  const std::string bars = std::string(ZT_SIM_SAMPLES) + "/../tools/sim/samples/EURUSD_H1.csv";
  for (const std::vector<std::string>& input :
       {std::vector<std::string>{"--history", folder.File("ticks.csv")},
        {"--csv", std::string(ZT_SIM_SAMPLES) + "/equity-history.csv"},
        {"--history", bars}}) {
    std::vector<std::string> arguments = {"zt-sim", "--runs", "3"};
    arguments.insert(arguments.end(), input.begin(), input.end());
    std::ostringstream out, err;
    const bool walked = input.back() == bars;
    EXPECT_EQ(ParseCommandLine(arguments, out, err).exitCode, walked ? 0 : 2) << input.back();
    EXPECT_EQ(err.str(), walked ? std::string()
                                : "zt-sim: --runs needs seeded markets or bars to walk: a recorded "
                                  "tick or equity history is one path; compare ladders on it with "
                                  "--ladder\n");
  }
}

}  // namespace
}  // namespace zt::sim
