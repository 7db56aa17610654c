// A bar walked like ticks: a seeded path through its open, high, low and close in moves sized by
// its range, as many ticks as its volume; the worst order jumps against the open positions and
// climbs back a point at a time, and a position under a ladder never ends better on it than on the
// walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <sstream>

#include "market/bar_walk.h"
#include "market/price_history.h"
#include "options/run_input.h"
#include "report/run_description.h"
#include "runs/single_run.h"
#include "sim_test_support.h"

namespace zt::sim {
namespace {

constexpr double kPoint = 0.00001;
constexpr std::int64_t kHour = 1704758400;  // Tuesday 2024.01.09 00:00 UTC

BarPrices UpBar() {
  return BarPrices{kHour, 3600, 1.10000, 1.10300, 1.09800, 1.10100, 0.00008, 60};
}

std::vector<Quote> Walk(const BarPrices& bar, std::uint64_t seed, double netLots = 0.0,
                        BarPath path = BarPath::Walk) {
  std::vector<Quote> ticks;
  WalkBar(bar, BarWalkOptions{path, 0, seed, kPoint}, netLots, ticks);
  return ticks;
}

bool LowFirst(const std::vector<Quote>& ticks, const BarPrices& bar) {
  for (const Quote& tick : ticks) {
    if (tick.bid == bar.low) return true;
    if (tick.bid == bar.high) return false;
  }
  return false;
}

TEST(BarWalk, ABarIsASeededPathThroughItsFourPricesInMovesSizedByItsRange) {
  const BarPrices up = UpBar();
  BarPrices down = up;
  std::swap(down.open, down.close);
  const double range = up.high - up.low;
  int upLowFirst = 0, downLowFirst = 0, differs = 0;
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    const std::vector<Quote> ticks = Walk(up, seed);
    const std::string at = "seed " + std::to_string(seed);
    ASSERT_EQ(ticks.size(), 60u) << at;
    EXPECT_EQ(ticks.front().bid, up.open) << at;
    EXPECT_EQ(ticks.back().bid, up.close) << at;
    double high = 0.0, low = 1e9, widest = 0.0;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
      const Quote& tick = ticks[i];
      high = std::max(high, tick.bid);
      low = std::min(low, tick.bid);
      EXPECT_NEAR(tick.bid / kPoint, std::round(tick.bid / kPoint), 1e-6) << at;
      EXPECT_NEAR(tick.ask - tick.bid, up.spread, 1e-12) << at;
      EXPECT_GE(tick.time, up.time + static_cast<std::int64_t>(i) * 60) << at;
      EXPECT_LT(tick.time, up.time + up.length) << at;
      if (i > 0) widest = std::max(widest, std::fabs(tick.bid - ticks[i - 1].bid));
    }
    EXPECT_EQ(high, up.high) << at;
    EXPECT_EQ(low, up.low) << at;
    // Not four jumps: no move takes more than a third of the range.
    EXPECT_LT(widest, range / 3.0) << at;
    const std::vector<Quote> again = Walk(up, seed), other = Walk(up, seed + 1000);
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(again[i].bid, ticks[i].bid) << at;
    bool same = true;
    for (std::size_t i = 0; i < ticks.size(); ++i) same = same && other[i].bid == ticks[i].bid;
    differs += same ? 0 : 1;
    upLowFirst += LowFirst(ticks, up) ? 1 : 0;
    downLowFirst += LowFirst(Walk(down, seed), down) ? 1 : 0;
  }
  EXPECT_EQ(differs, 200);
  // A bar that closed up fell first more often (odds 0.6 here), one that closed down rose first.
  EXPECT_GT(upLowFirst, 100);
  EXPECT_LT(downLowFirst, 100);
  // Ticks from the volume, from the length without one, or as told.
  BarPrices quiet = up;
  quiet.volume = 0;
  EXPECT_EQ(CountBarTicks(quiet, 0), 60);
  EXPECT_EQ(CountBarTicks(up, 10), 10);
  quiet.volume = 1;
  EXPECT_EQ(CountBarTicks(quiet, 0), 4);
}

TEST(BarWalk, TheWorstOrderJumpsAgainstTheOpenPositionsAndClimbsBackAPointAtATime) {
  const BarPrices bar = UpBar();
  for (const double netLots : {0.3, -0.3}) {
    const std::vector<Quote> ticks = Walk(bar, 5, netLots, BarPath::Worst);
    const double against = netLots > 0 ? bar.low : bar.high,
                 back = netLots > 0 ? bar.high : bar.low;
    const std::string at = "net lots " + std::to_string(netLots);
    ASSERT_EQ(ticks.size(), 3u + 500u) << at;  // the range is 500 points
    EXPECT_EQ(ticks[0].bid, bar.open) << at;
    EXPECT_EQ(ticks[1].bid, against) << at;
    for (std::size_t i = 2; i + 1 < ticks.size(); ++i)
      EXPECT_NEAR(std::fabs(ticks[i].bid - ticks[i - 1].bid), kPoint, 1e-9) << at << " tick " << i;
    EXPECT_NEAR(ticks[ticks.size() - 2].bid, back, 1e-9) << at;
    EXPECT_EQ(ticks.back().bid, bar.close) << at;
  }
  // Flat, nothing can be hurt: the walk.
  const std::vector<Quote> flat = Walk(bar, 5, 0.0, BarPath::Worst), walked = Walk(bar, 5);
  ASSERT_EQ(flat.size(), walked.size());
  for (std::size_t i = 0; i < flat.size(); ++i) EXPECT_EQ(flat[i].bid, walked[i].bid);
}

// A history's bars are measured once for the run's count and words, and again when the file is
// written anew: a run never takes the ticks of the bars a file held before.
TEST(BarWalk, AHistoryWrittenAgainIsMeasuredAgain) {
  testing::TempFolder folder;
  PriceHistoryOptions history;
  history.path = folder.File("bars.csv");
  const std::string bar = "2024.01.09,00:00,1.10000,1.10300,1.09800,1.10100,60\n";
  const std::string next = "2024.01.09,01:00,1.10100,1.10200,1.10000,1.10150,30\n";
  testing::WriteFile(history.path, bar);
  EXPECT_EQ(MeasuredBars(history).ticks, 60);
  testing::WriteFile(history.path, bar + next);
  EXPECT_EQ(MeasuredBars(history).bars, 2);
  EXPECT_EQ(MeasuredBars(history).ticks, 90);
  history.walk.ticks = 10;  // read another way: its own count
  EXPECT_EQ(MeasuredBars(history).ticks, 20);
}

// One buy of a lot held over four days of the price model's hourly bars, under one take profit and
// one stop loss: on the worst order it never ends better than on the walk, seed after seed.
TEST(BarWalk, OnePositionUnderOneLadderNeverEndsBetterInTheWorstOrderThanWalked) {
  testing::TempFolder folder;
  const std::string bars = folder.File("bars.csv"), deals = folder.File("deals.csv");
  {
    const SimOptions model =
        testing::CommandLineOptions({"--market", "model", "--seed", "4", "--start",
                                     "2024.01.08 00:00", "--tick-seconds", "60"});
    std::ofstream out(bars);
    WriteModelBars(model.start, model.positions.prices, 60 * 24 * 4, 60, out);
  }
  PriceHistoryOptions history;
  history.path = bars;
  PriceHistoryReader reader(history);
  Quote first{}, last{};
  reader.Next(first);
  for (Quote quote{}; reader.Next(quote);) last = quote;
  const double profit = std::round((last.bid - first.bid) * 1e5 * 100.0) / 100.0;
  testing::WriteFile(deals,
                     "open time,close time,symbol,type,lots,open price,close price,profit\n"
                     "2024.01.08 00:00,2024.01.11 23:00,EURUSD,buy,1.00," +
                         std::to_string(first.bid) + "," + std::to_string(last.bid) + "," +
                         std::to_string(profit) + "\n");
  double walkedSum = 0.0, worstSum = 0.0;
  for (const std::string seed : {"1", "2", "3", "4", "5", "6"}) {
    const auto end = [&](const char* path) {
      const SimResult result = Simulate(testing::CommandLineOptions(
          {"--history", bars, "--deals", deals, "--seed", seed, "--bar-path", path, "--spread", "0",
           "--take-profits", "150", "--drawdown-targets", "", "--increase-targets", "",
           "--stop-losses", "150", "--quiet"}));
      return result.risk.guarded.endResult;
    };
    const double walked = end("walk"), worst = end("worst");
    EXPECT_LE(worst, walked + 1e-9) << "seed " << seed;
    walkedSum += walked;
    worstSum += worst;
  }
  EXPECT_LT(worstSum, walkedSum);  // the bound is not the walk under another name
}

// A run on bars says how its prices were made in its text, its JSON and its report, cautions where
// a typical bar moves the trades past the smallest target, and names the lab's own bars as such.
TEST(BarWalk, ARunOnBarsSaysHowItsPricesWereMadeAndWhenBarsCannotJudgeATarget) {
  testing::TempFolder folder;
  const std::string bars = folder.File("bars.csv");
  {
    const SimOptions model =
        testing::CommandLineOptions({"--market", "model", "--seed", "2", "--start",
                                     "2024.01.08 00:00", "--tick-seconds", "60"});
    std::ofstream out(bars);
    WriteModelBars(model.start, model.positions.prices, 60 * 24, 60, out);
  }
  // A day of a tick a minute: 24 bars of 60 ticks (the first 61), and one of a single tick
  // at midnight walked in 4: 1445 ticks over 25 bars.
  struct Case {
    std::vector<std::string> more;
    std::string prices;
    bool caution;
  };
  const Case cases[] = {
      {{"--take-profits", "500", "--stop-losses", "500"},
       "bars walked with 58 ticks a bar on average (their tick volumes)",
       false},
      {{"--take-profits", "2", "--stop-losses", "500", "--bar-ticks", "30"},
       "bars walked with 30 ticks a bar",
       true},
      {{"--take-profits", "500", "--stop-losses", "500", "--bar-path", "worst"},
       "bars in the worst order",
       false},
  };
  for (const Case& c : cases) {
    // A lot a trade: a typical hour of the model moves it by some tens.
    std::vector<std::string> arguments = {"--history",
                                          bars,
                                          "--strategy",
                                          "grid",
                                          "--grid-lots",
                                          "1",
                                          "--json",
                                          folder.File("run.json"),
                                          "--drawdown-targets",
                                          "",
                                          "--increase-targets",
                                          "",
                                          "--quiet"};
    arguments.insert(arguments.end(), c.more.begin(), c.more.end());
    const SimOptions options = testing::CommandLineOptions(arguments);
    std::ostringstream out, err;
    ASSERT_EQ(RunSimulator(options, out, err), 0) << err.str();
    const auto json = nlohmann::json::parse(testing::ReadFile(folder.File("run.json")));
    const std::string said = json.at("modelling").at("prices").get<std::string>();
    EXPECT_EQ(said.rfind(c.prices, 0), 0u) << said;
    std::string text = out.str();  // unfolded: a line's indented rest joined to it
    for (std::size_t at = text.find("\n  "); at != std::string::npos; at = text.find("\n  ", at))
      text.replace(at, 3, " ");
    EXPECT_NE(text.find("prices: " + c.prices), std::string::npos) << text;
    EXPECT_NE(text.find("made by the price model and no market's record"), std::string::npos)
        << text;
    EXPECT_EQ(json.at("modelling").contains("caution"), c.caution) << c.prices;
    const RunDescription page = DescribeRun(options, "title", "input", {});
    EXPECT_EQ(page.prices, said);
    EXPECT_EQ(page.notes.size(), c.caution ? 1u : 0u) << c.prices;
  }
}

}  // namespace
}  // namespace zt::sim
