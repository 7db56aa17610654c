// The account of positions on hand-checked figures (results at bid and ask, margin, commission,
// swap, the broker's stop-out), and the grid strategy on quotes set by hand.
#include "trading/trading_account.h"

#include <gtest/gtest.h>

#include "market/market_calendar.h"
#include "trading/position_market.h"
#include "trading/strategies.h"

namespace zt::sim {
namespace {

constexpr std::int64_t kTuesday10 = 1704189600;  // 2024.01.02 10:00 UTC

Quote At(std::int64_t time, double bid, double ask) { return Quote{time, bid, ask}; }

TEST(TradingAccount, ResultsMarginAndSwapOnAHandCheckedCase) {
  TradingAccount account =
      NewTradingAccount(AccountTerms{}, 1000.0, At(kTuesday10, 1.10000, 1.10010));
  ASSERT_TRUE(OpenPosition(account, Side::Buy, 0.10));   // at the ask 1.10010, commission 0.35
  ASSERT_TRUE(OpenPosition(account, Side::Sell, 0.20));  // at the bid 1.10000, commission 0.70
  EXPECT_DOUBLE_EQ(account.balance, 998.95);
  // Each closes on the other side: the buy at the bid (-1.00), the sell at the ask (-2.00).
  AccountFigures figures = Figures(account);
  EXPECT_NEAR(Floating(account), -3.00, 1e-9);
  EXPECT_NEAR(figures.equity, 995.95, 1e-9);
  EXPECT_NEAR(figures.margin, 110.01 + 220.00, 1e-9);  // lots x 100000 x open price / 100
  EXPECT_NEAR(figures.freeMargin, 995.95 - 330.01, 1e-9);

  // 50 points up: the buy gains 49.00, the sell loses 102.00.
  EXPECT_EQ(MoveAccount(account, At(kTuesday10 + 3600, 1.10500, 1.10510)), 0);
  EXPECT_NEAR(Equity(account), 998.95 + 49.0 - 102.0, 1e-9);

  // Tuesday's rollover (one night) and Wednesday's (three): 4 nights of -7 x 0.1 and 2 x 0.2.
  MoveAccount(account, At(kTuesday10 + kDaySeconds + 13 * 3600, 1.10500, 1.10510));
  EXPECT_NEAR(account.positions[0].swap, -2.80, 1e-9);
  EXPECT_NEAR(account.positions[1].swap, 1.60, 1e-9);
  EXPECT_NEAR(Equity(account), 998.95 + 49.0 - 102.0 - 2.80 + 1.60, 1e-9);

  // Closing books result, swap and the closing commission in whole cents.
  ClosePosition(account, 0);
  EXPECT_DOUBLE_EQ(account.balance, 1044.80);  // 998.95 + 49.00 - 2.80 - 0.35
  EXPECT_EQ(CloseAllPositions(account), 1);
  EXPECT_DOUBLE_EQ(account.balance, 943.70);  // - 102.00 + 1.60 - 0.70
  EXPECT_DOUBLE_EQ(Figures(account).margin, 0.0);
}

TEST(TradingAccount, TheBrokerRefusesWhatTheFreeMarginCannotHoldAndStopsOutTheLargestLossFirst) {
  TradingAccount account =
      NewTradingAccount(AccountTerms{}, 1000.0, At(kTuesday10, 1.10000, 1.10010));
  EXPECT_FALSE(OpenPosition(account, Side::Buy, 1.0));  // 1100.10 of margin
  EXPECT_DOUBLE_EQ(account.balance, 1000.0);
  ASSERT_TRUE(OpenPosition(account, Side::Buy, 0.5));  // margin 550.05, commission 1.75
  MoveAccount(account, At(kTuesday10 + 60, 1.09800, 1.09810));
  ASSERT_TRUE(OpenPosition(account, Side::Buy, 0.3));  // margin 329.43, commission 1.05
  // Results -105.00 and -3.00: a margin level of 889.20 / 879.48, above 50 %.
  EXPECT_NEAR(100.0 * Equity(account) / UsedMargin(account), 101.1, 0.05);
  EXPECT_EQ(MoveAccount(account, At(kTuesday10 + 120, 1.09810, 1.09820)), 0);

  // Results -405.00 and -183.00: equity 409.20, 46.5 % of the margin. The first buy goes, and
  // the second alone stands at 407.45 / 329.43, well above the level again.
  EXPECT_EQ(MoveAccount(account, At(kTuesday10 + 180, 1.09200, 1.09210)), 1);
  ASSERT_EQ(account.positions.size(), 1u);
  EXPECT_DOUBLE_EQ(account.positions[0].lots, 0.3);
  EXPECT_DOUBLE_EQ(account.balance, 590.45);  // 997.20 - 405.00 - 1.75
  EXPECT_EQ(account.stopOuts, 1);
}

TEST(TradingAccount, AWrittenDownAccountReadsBackTheSame) {
  TradingAccount account =
      NewTradingAccount(AccountTerms{}, 1000.0, At(kTuesday10, 1.10000, 1.10010));
  OpenPosition(account, Side::Buy, 0.1);
  OpenPosition(account, Side::Sell, 0.03);
  account.positions[1].swap = -0.7;
  TradingAccount read = NewTradingAccount(AccountTerms{}, 5.0, account.quote);
  ASSERT_TRUE(ParseTradingAccount(
      " x" + FormatTradingAccount(account, "g.") + FormatTradingAccount(read, "u."), "g.", read));
  ASSERT_EQ(read.positions.size(), 2u);
  EXPECT_EQ(read.balance, account.balance);
  EXPECT_EQ(read.positions[1].side, Side::Sell);
  EXPECT_EQ(read.positions[1].lots, 0.03);
  EXPECT_EQ(read.positions[1].openPrice, 1.1);
  EXPECT_EQ(read.positions[1].swap, -0.7);
  EXPECT_FALSE(ParseTradingAccount(" g.balance=1 g.stopOuts=0 g.pos=B/0.1", "g.", read));
}

// A grid of buys: steps of 100 points, lots doubling, three levels, 50 points of basket profit.
StrategyOptions BuyGrid(std::int64_t reentryDelay) {
  StrategyOptions options;
  StrategyValues& v = options.values;
  v.numbers.at("grid-step") = 100.0;
  v.numbers.at("grid-lots") = 0.01;
  v.numbers.at("grid-multiplier") = 2.0;
  v.wholes.at("grid-levels") = 3;
  v.words.at("grid-directions") = "buy";
  v.numbers.at("grid-take-profit") = 50.0;
  options.reentryDelay = reentryDelay;
  return options;
}

TEST(Grid, AddsLevelsAgainstItUpToItsMostAndClosesTheBasketPastItsAverage) {
  AccountTerms terms;
  terms.commissionPerLot = 0.0;
  TradingAccount account = NewTradingAccount(terms, 10000.0, At(kTuesday10, 1.10000, 1.10010));
  const std::unique_ptr<Strategy> grid = MakeStrategy(BuyGrid(0));
  std::int64_t time = kTuesday10;
  const auto tick = [&](double ask) {
    MoveAccount(account, At(time += 30, ask - 0.0001, ask));
    grid->OnTick(account);
  };
  grid->OnTick(account);
  ASSERT_EQ(account.positions.size(), 1u);
  tick(1.09950);  // 60 points against: no level yet
  EXPECT_EQ(account.positions.size(), 1u);
  tick(1.09905);  // 105 points against the first
  tick(1.09800);  // 105 against the second
  tick(1.09700);  // a fourth level would pass the most
  ASSERT_EQ(account.positions.size(), 3u);
  EXPECT_DOUBLE_EQ(account.positions[1].lots, 0.02);
  EXPECT_DOUBLE_EQ(account.positions[2].lots, 0.04);
  EXPECT_DOUBLE_EQ(account.positions[2].openPrice, 1.09800);
  // Average open (0.011001 + 0.021981 + 0.043920) / 0.07 = 1.0986: the basket closes at a bid of
  // 1.0991 or more, then starts again from one base position.
  tick(1.09915);  // bid 1.09905
  EXPECT_EQ(account.positions.size(), 3u);
  const double before = account.balance;
  tick(1.09925);  // bid 1.09915
  ASSERT_EQ(account.positions.size(), 1u);
  EXPECT_DOUBLE_EQ(account.positions[0].openPrice, 1.09925);
  EXPECT_DOUBLE_EQ(account.positions[0].lots, 0.01);
  EXPECT_NEAR(account.balance - before, 3.85, 0.015);  // (1.09915 x 0.07 - 0.076902) x 100000
}

TEST(Grid, StartsBothWaysAndAfterTheGuardsCloseWaitsItsReentryDelay) {
  StrategyOptions options = BuyGrid(600);
  options.values.words.at("grid-directions") = "both";
  TradingAccount account =
      NewTradingAccount(AccountTerms{}, 10000.0, At(kTuesday10, 1.10000, 1.10010));
  const std::unique_ptr<Strategy> grid = MakeStrategy(options);
  grid->OnTick(account);
  ASSERT_EQ(account.positions.size(), 2u);
  EXPECT_EQ(account.positions[0].side, Side::Buy);
  EXPECT_EQ(account.positions[1].side, Side::Sell);
  CloseAllPositions(account);
  grid->OnGuardClose(kTuesday10);
  for (const std::int64_t after : {30, 599, 600}) {
    MoveAccount(account, At(kTuesday10 + after, 1.10000, 1.10010));
    grid->OnTick(account);
    EXPECT_EQ(account.positions.size(), after < 600 ? 0u : 2u) << after;
  }
  // The delay survives a pause.
  grid->OnGuardClose(kTuesday10 + 600);
  const std::unique_ptr<Strategy> resumed = MakeStrategy(options);
  ASSERT_TRUE(resumed->Parse(grid->Format("g."), "g."));
  CloseAllPositions(account);
  MoveAccount(account, At(kTuesday10 + 900, 1.10000, 1.10010));
  resumed->OnTick(account);
  EXPECT_TRUE(account.positions.empty());
}

TEST(PositionMarket, TheGuardsCloseEmptiesTheGuardedAccountOnlyAndTheStrategyStartsAgain) {
  PositionMarketOptions options;
  MarketStart start;
  start.startTime = kTuesday10;
  PositionMarket market(start, options);
  ASSERT_EQ(market.guarded().positions.size(), 2u);
  for (int tick = 0; tick < 200; ++tick) market.NextTick();
  const double equity = Equity(market.guarded());
  double lots = 0;
  const std::size_t positions = market.guarded().positions.size();
  ASSERT_GT(positions, 0u);
  for (const Position& position : market.guarded().positions) lots += position.lots;
  const std::size_t unguardedPositions = market.unguarded().positions.size();
  const CloseOutcome outcome = market.CloseAll();
  EXPECT_TRUE(market.guarded().positions.empty());
  // Each position is booked in whole cents.
  EXPECT_NEAR(outcome.equityLeft, equity - lots * options.terms.commissionPerLot,
              0.005 * static_cast<double>(positions) + 1e-9);
  EXPECT_GT(outcome.durationMs, 0);
  EXPECT_EQ(market.unguarded().positions.size(), unguardedPositions);
  market.NextTick();
  EXPECT_EQ(market.guarded().positions.size(), 2u);
}

}  // namespace
}  // namespace zt::sim
