// The martingale, the trend follower and the random entries on quotes set by hand or drawn by the
// price model, and every strategy paused and resumed from the market's written state against the
// same run straight through.
#include "trading/strategies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "market/price_model.h"
#include "trading/position_market.h"
#include "trading/strategy_table.h"
#include "trading/trading_account.h"

namespace zt::sim {
namespace {

constexpr std::int64_t kTuesday10 = 1704189600;  // 2024.01.02 10:00 UTC

// One position's side, lots and open price, for a compact expectation.
struct Held {
  Side side;
  double lots;
  double openPrice;
};

void ExpectHolds(const TradingAccount& account, const Held& held, const std::string& when) {
  ASSERT_EQ(account.positions.size(), 1u) << when;
  const Position& position = account.positions.front();
  EXPECT_EQ(position.side, held.side) << when;
  EXPECT_DOUBLE_EQ(position.lots, held.lots) << when;
  EXPECT_DOUBLE_EQ(position.openPrice, held.openPrice) << when;
}

// A strategy on an account without commission, moved by hand one quote at a time, 10 points wide.
struct HandMarket {
  explicit HandMarket(const StrategyOptions& options, double balance = 10000.0,
                      double bid = 1.10000)
      : strategy(MakeStrategy(options)) {
    AccountTerms terms;
    terms.commissionPerLot = 0.0;
    account = NewTradingAccount(terms, balance, Quote{time, bid, bid + 0.00010});
    strategy->OnTick(account);
  }
  void Tick(double bid, std::int64_t seconds = 30) {
    time += seconds;
    MoveAccount(account, Quote{time, bid, bid + 0.00010});
    strategy->OnTick(account);
  }
  std::int64_t time = kTuesday10;
  TradingAccount account{};
  std::unique_ptr<Strategy> strategy;
};

// The strategy name names, its options at their defaults but those given, by their names on the
// command line.
StrategyOptions Named(const std::string& name, const std::map<std::string, double>& numbers,
                      const std::map<std::string, std::int64_t>& wholes = {}) {
  StrategyOptions options;
  options.name = name;
  for (const auto& [option, value] : numbers) options.values.numbers.at(option) = value;
  for (const auto& [option, value] : wholes) options.values.wholes.at(option) = value;
  return options;
}

StrategyOptions Martingale(double multiplier, std::int64_t doublings) {
  return Named("martingale",
               {{"martingale-stop", 100.0},
                {"martingale-take-profit", 100.0},
                {"martingale-lots", 0.01},
                {"martingale-multiplier", multiplier},
                {"martingale-max-lots", 1.0}},
               {{"martingale-doublings", doublings}});
}

TEST(Martingale, MultipliesAfterALossUpToItsDoublingsAndGoesBackToTheBaseLotAfterAWin) {
  HandMarket market(Martingale(2.0, 2));
  ExpectHolds(market.account, {Side::Buy, 0.01, 1.10010}, "first trade");
  market.Tick(1.09910);  // the buy's stop: 100 points under its open; a sell of twice the lots
  ExpectHolds(market.account, {Side::Sell, 0.02, 1.09910}, "after a loss");
  market.Tick(1.09800);  // the sell's take profit at an ask of 1.09810: the same way, base lots
  ExpectHolds(market.account, {Side::Sell, 0.01, 1.09800}, "after a win");
  market.Tick(1.09890);  // ask 1.09900: a loss
  ExpectHolds(market.account, {Side::Buy, 0.02, 1.09900}, "one loss");
  market.Tick(1.09800);  // a second loss in a row: the second doubling
  ExpectHolds(market.account, {Side::Sell, 0.04, 1.09800}, "two losses");
  market.Tick(1.09890);  // a third: past the doublings, back to the base lot
  ExpectHolds(market.account, {Side::Buy, 0.01, 1.09900}, "past the doublings");
  market.Tick(1.09800);
  ExpectHolds(market.account, {Side::Sell, 0.02, 1.09800}, "a new series");
  // The guard's close: the base state (a buy of the base lots), from the next tick.
  CloseAllPositions(market.account);
  market.strategy->OnGuardClose(market.time);
  market.Tick(1.09850);
  ExpectHolds(market.account, {Side::Buy, 0.01, 1.09860}, "after the guard's close");
}

TEST(Martingale, ALotTheFreeMarginCannotHoldStartsTheSeriesOverFromTheBaseLot) {
  // 40 of balance holds 0.01 lots (11 of margin) and 0.02 (22), not 0.04 (44) after two losses.
  HandMarket market(Martingale(2.0, 6), 40.0);
  market.Tick(1.09910);
  ExpectHolds(market.account, {Side::Sell, 0.02, 1.09910}, "one loss");
  market.Tick(1.10000);
  ExpectHolds(market.account, {Side::Buy, 0.01, 1.10010}, "0.04 refused");
  EXPECT_DOUBLE_EQ(market.account.balance, 37.0);
  market.Tick(1.09910);
  ExpectHolds(market.account, {Side::Sell, 0.02, 1.09910}, "the series again");
}

TEST(Martingale, APositionTheBrokerStopsOutIsALoss) {
  // A broker that stops out at a margin level of 300%: at 33 of equity under the first trade's 11
  // of margin, long before the martingale's own stop of 5000 points.
  StrategyOptions options = Martingale(2.0, 6);
  options.values.numbers.at("martingale-stop") = 5000.0;
  HandMarket market(options, 100.0);
  market.account.terms.stopOutLevel = 300.0;
  market.Tick(1.03000);  // 70.10 down: the broker closes the buy; the next trade goes the other
                         // way, doubled
  EXPECT_EQ(market.account.stopOuts, 1);
  ExpectHolds(market.account, {Side::Sell, 0.02, 1.03000}, "after the stop-out");
}

TEST(Trend, OpensOnACrossReversesOnTheOppositeOneAndStaysOutAfterItsStopUntilTheNext) {
  // One-minute bars, averages of 2 and 3 closes.
  StrategyOptions options = Named("trend", {{"trend-lots", 0.1}, {"trend-stop", 500.0}},
                                  {{"trend-bar-minutes", 1}, {"trend-fast", 2}, {"trend-slow", 3}});
  options.reentryDelay = 120;
  HandMarket market(options, 10000.0, 1.1030 - 0.00005);
  // One tick a bar: each tick closes the bar before at the mid price it quoted.
  const auto bar = [&](double mid) { market.Tick(mid - 0.00005, 60); };
  bar(1.1020);
  bar(1.1010);
  bar(1.1040);  // closes 1.1030 1.1020 1.1010: falling, but no cross has been seen yet
  EXPECT_TRUE(market.account.positions.empty());
  bar(1.1050);  // closes 1.1020 1.1010 1.1040: fast 1.1025 over slow 1.10233, a cross up
  ExpectHolds(market.account, {Side::Buy, 0.1, 1.10505}, "cross up");
  bar(1.1020);  // fast 1.1045 still over 1.10333: held
  EXPECT_EQ(market.account.positions.size(), 1u);
  const double before = market.account.balance;
  bar(1.1010);  // closes 1.1040 1.1050 1.1020: fast 1.1035 under 1.10367: reversed
  ExpectHolds(market.account, {Side::Sell, 0.1, 1.10095}, "cross down");
  EXPECT_NEAR(market.account.balance - before, (1.10095 - 1.10505) * 0.1 * 100000.0, 0.006);
  bar(1.1060);  // 510 points against the sell: its stop
  EXPECT_TRUE(market.account.positions.empty());
  market.Tick(1.1060 - 0.00005, 30);  // the same bar, the trend unchanged: still out
  EXPECT_TRUE(market.account.positions.empty());
  bar(1.1060);  // closes 1.1020 1.1010 1.1060: fast 1.1035 over 1.103, a cross up
  ExpectHolds(market.account, {Side::Buy, 0.1, 1.10605}, "next cross");
  // The guard's close: back into the standing trend once the re-entry delay is over.
  CloseAllPositions(market.account);
  market.strategy->OnGuardClose(market.time);
  bar(1.1070);
  EXPECT_TRUE(market.account.positions.empty());
  bar(1.1070);
  ExpectHolds(market.account, {Side::Buy, 0.1, 1.10705}, "after the delay");
}

// The random entries on the price model's quotes, one account per run.
std::vector<Position> RandomRun(std::uint64_t seed, std::size_t& mostOpen) {
  StrategyOptions options = Named("random",
                                  {{"random-chance", 0.05},
                                   {"random-lots", 0.01},
                                   {"random-stop", 100.0},
                                   {"random-take-profit", 100.0}},
                                  {{"random-max-open", 3}});
  options.seed = seed;
  MarketStart start;
  start.seed = 11;
  PriceModel model = NewPriceModel(start, {});
  TradingAccount account = NewTradingAccount(AccountTerms{}, 10000.0, model.quote);
  const std::unique_ptr<Strategy> strategy = MakeStrategy(options);
  std::vector<Position> opened;
  mostOpen = 0;
  for (int tick = 0; tick < 4000; ++tick) {
    MoveAccount(account, NextQuote(model));
    const std::size_t held = account.positions.size();
    strategy->OnTick(account);
    mostOpen = std::max(mostOpen, account.positions.size());
    if (account.positions.size() > 0 && account.positions.back().openTime == account.quote.time &&
        account.positions.size() >= held) {
      opened.push_back(account.positions.back());
    }
  }
  return opened;
}

TEST(RandomEntries, KeepWithinTheirMostOpenAndAreTheSameForASeed) {
  std::size_t mostOpen = 0, mostAgain = 0, mostOther = 0;
  const std::vector<Position> first = RandomRun(3, mostOpen);
  const std::vector<Position> again = RandomRun(3, mostAgain);
  const std::vector<Position> other = RandomRun(4, mostOther);
  EXPECT_EQ(mostOpen, 3u);
  EXPECT_LE(mostOther, 3u);
  ASSERT_GE(first.size(), 20u);
  ASSERT_EQ(first.size(), again.size());
  bool buys = false, sells = false;
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].openTime, again[i].openTime) << i;
    EXPECT_EQ(first[i].side, again[i].side) << i;
    (first[i].side == Side::Buy ? buys : sells) = true;
  }
  EXPECT_TRUE(buys && sells);
  const auto sameEntry = [](const Position& a, const Position& b) {
    return a.openTime == b.openTime && a.side == b.side;
  };
  const bool sameAsOther = other.size() == first.size() &&
                           std::equal(first.begin(), first.end(), other.begin(), sameEntry);
  EXPECT_FALSE(sameAsOther);
}

TEST(RandomEntries, DrawFromAStreamOfTheirOwnSoThePricesAreTheGrids) {
  PositionMarketOptions grid, random;
  random.strategy = Named("random", {{"random-chance", 0.1}});
  PositionMarket gridMarket({}, grid), randomMarket({}, random);
  for (int tick = 0; tick < 500; ++tick) {
    gridMarket.NextTick();
    randomMarket.NextTick();
  }
  EXPECT_EQ(gridMarket.prices().quote().bid, randomMarket.prices().quote().bid);
  EXPECT_EQ(gridMarket.prices().quote().time, randomMarket.prices().quote().time);
  EXPECT_NE(gridMarket.guarded().balance, randomMarket.guarded().balance);
}

// Each strategy set to trade often on the price model, with a re-entry delay of 20 ticks.
constexpr MarketStart kBusyStart{21, 1704153600, 30, 10000.0};

PositionMarketOptions Busy(const std::string& name) {
  PositionMarketOptions options;
  options.strategy = Named(name,
                           {{"grid-step", 60.0},
                            {"grid-take-profit", 40.0},
                            {"martingale-stop", 50.0},
                            {"martingale-take-profit", 50.0},
                            {"trend-lots", 0.1},
                            {"trend-stop", 100.0},
                            {"random-chance", 0.02},
                            {"random-stop", 80.0},
                            {"random-take-profit", 80.0}},
                           {{"trend-bar-minutes", 5}, {"trend-fast", 3}, {"trend-slow", 8}});
  options.strategy.reentryDelay = 600;
  return options;
}

class EveryStrategy : public ::testing::TestWithParam<std::string> {};

TEST_P(EveryStrategy, ResumedFromTheWrittenStateGoesOnAsOneStraightRun) {
  const PositionMarketOptions options = Busy(GetParam());
  // The guard closes at ticks 700 and 1900; the pause falls inside the second's re-entry delay.
  const auto advance = [](PositionMarket& market, int from, int to) {
    for (int tick = from; tick < to; ++tick) {
      market.NextTick();
      if (tick == 700 || tick == 1900) market.CloseAll();
    }
  };
  PositionMarket straight(kBusyStart, options);
  advance(straight, 0, 3000);
  PositionMarket first(kBusyStart, options);
  advance(first, 0, 1910);
  const std::string paused = first.Format();
  PositionMarket resumed(kBusyStart, options);
  ASSERT_TRUE(resumed.Parse(paused));
  EXPECT_EQ(resumed.Format(), paused);
  advance(resumed, 1910, 3000);
  EXPECT_EQ(resumed.Format(), straight.Format());
  // It traded on both sides of the pause and after the guard's closes.
  EXPECT_NE(first.guarded().balance, kBusyStart.balance);
  EXPECT_NE(resumed.guarded().balance, first.guarded().balance);
  EXPECT_NE(resumed.guarded().balance, resumed.unguarded().balance);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryStrategy, ::testing::ValuesIn([] {
                           std::vector<std::string> names;
                           for (const StrategyRow& row : StrategyTable()) names.push_back(row.name);
                           return names;
                         }()),
                         [](const ::testing::TestParamInfo<std::string>& name) {
                           return name.param;
                         });

}  // namespace
}  // namespace zt::sim
