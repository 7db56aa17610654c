#include "market/account_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace zt::sim {
namespace {

TEST(Prng, SplitMixSeedingMatchesTheReferenceSequence) {
  // splitmix64 from state 0 starts 0xE220A8397B1DCDAF, 0x6E789E6AA1B965F4, 0x06C45D188009454F.
  const Prng prng = SeedPrng(0);
  EXPECT_EQ(prng.state[0], 0xE220A8397B1DCDAFULL);
  EXPECT_EQ(prng.state[1], 0x6E789E6AA1B965F4ULL);
  EXPECT_EQ(prng.state[2], 0x06C45D188009454FULL);
}

TEST(Prng, SameSeedSameSequenceOtherSeedOtherSequence) {
  Prng a = SeedPrng(42), b = SeedPrng(42), c = SeedPrng(43);
  int differences = 0;
  for (int i = 0; i < 100; ++i) {
    const std::uint64_t x = NextBits(a);
    EXPECT_EQ(x, NextBits(b));
    if (x != NextBits(c)) ++differences;
  }
  EXPECT_EQ(differences, 100);
}

TEST(Prng, UniformAndNormalHaveTheirMoments) {
  Prng prng = SeedPrng(7);
  constexpr int kDraws = 200000;
  double uniformSum = 0, normalSum = 0, normalSquares = 0;
  double lowest = 1, highest = 0;
  for (int i = 0; i < kDraws; ++i) {
    const double u = NextUniform(prng);
    lowest = std::min(lowest, u);
    highest = std::max(highest, u);
    uniformSum += u;
    const double z = NextNormal(prng);
    ASSERT_TRUE(std::isfinite(z));
    normalSum += z;
    normalSquares += z * z;
  }
  EXPECT_GE(lowest, 0.0);
  EXPECT_LT(highest, 1.0);
  EXPECT_NEAR(uniformSum / kDraws, 0.5, 0.005);
  EXPECT_NEAR(normalSum / kDraws, 0.0, 0.01);
  EXPECT_NEAR(normalSquares / kDraws, 1.0, 0.02);
}

// A start at 1000 seconds, a tick every 15, and a balance of 1000.
constexpr MarketStart kQuietStart{1, 1000, 15, 1000.0};

AccountModelOptions Quiet(double drift) {
  AccountModelOptions options;
  options.drift = drift;
  options.volatility = 0.0;
  options.margin = 250.0;
  return options;
}

TEST(AccountModel, TicksMoveTheFloatingResultAndTheClock) {
  AccountModel account = NewAccount(kQuietStart, Quiet(1.5));
  const AccountFigures start = CurrentFigures(account);
  EXPECT_EQ(start.time, 1000);
  EXPECT_DOUBLE_EQ(start.equity, 1000.0);
  EXPECT_DOUBLE_EQ(start.margin, 250.0);
  EXPECT_DOUBLE_EQ(start.freeMargin, 750.0);
  AccountFigures figures{};
  for (int i = 0; i < 4; ++i) figures = NextTick(account);
  EXPECT_EQ(figures.time, 1000 + 4 * 15);
  EXPECT_DOUBLE_EQ(figures.equity, 1006.0);
  EXPECT_DOUBLE_EQ(figures.freeMargin, 756.0);
  EXPECT_DOUBLE_EQ(account.balance, 1000.0);  // nothing realised yet
}

TEST(AccountModel, CloseAllRealisesTheFloatingResultAndTradingResumesFromZero) {
  struct Case {
    double drift;  // per tick, 4 ticks before the close
    double closeCost;
    double left;  // equity after the close
  };
  const Case cases[] = {
      {7.75, 0.0, 1031.0},
      {7.75, 0.5, 1030.5},
      {-10.0, 0.0, 960.0},
      {-10.0, 1.25, 958.75},
  };
  for (const Case& c : cases) {
    AccountModelOptions options = Quiet(c.drift);
    options.closeCost = c.closeCost;
    AccountModel account = NewAccount(kQuietStart, options);
    for (int i = 0; i < 4; ++i) NextTick(account);
    const CloseOutcome outcome = CloseAll(account);
    EXPECT_DOUBLE_EQ(outcome.equityLeft, c.left) << c.drift << " " << c.closeCost;
    EXPECT_DOUBLE_EQ(account.balance, c.left);
    EXPECT_DOUBLE_EQ(account.floating, 0.0);
    EXPECT_DOUBLE_EQ(CurrentFigures(account).equity, c.left);
    // The next tick moves from the realised balance, not from the old float.
    EXPECT_DOUBLE_EQ(NextTick(account).equity, c.left + c.drift);
  }
}

TEST(AccountModel, CloseDurationsAreAFewTradesWithSomeRetries) {
  Prng prng = SeedPrng(3);
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    const int ms = CloseDurationMs(prng);
    EXPECT_GE(ms, 2 * 60);
    EXPECT_LE(ms, 5 * (260 + 500));
    seen.insert(ms);
  }
  EXPECT_GT(seen.size(), 200u);
}

TEST(AccountModel, AWrittenAccountResumesExactly) {
  MarketStart start;
  start.seed = 99;
  AccountModelOptions options;
  options.closeCost = 0.25;
  AccountModel straight = NewAccount(start, options);
  AccountModel first = NewAccount(start, options);
  for (int i = 0; i < 100; ++i) {
    NextTick(straight);
    NextTick(first);
  }
  CloseAll(straight);
  CloseAll(first);
  NextTick(straight);
  NextTick(first);

  AccountModel resumed = NewAccount({}, {});  // other options: all must come from the text
  ASSERT_TRUE(ParseAccount(FormatAccount(first), resumed));
  for (int i = 0; i < 100; ++i) {
    const AccountFigures a = NextTick(straight), b = NextTick(resumed);
    ASSERT_EQ(a.time, b.time);
    ASSERT_EQ(a.equity, b.equity);
  }
  EXPECT_EQ(CloseAll(straight).equityLeft, CloseAll(resumed).equityLeft);
}

TEST(AccountModel, TextsThatAreNoAccountAreRefused) {
  AccountModel account = NewAccount({}, {});
  const std::string good = FormatAccount(account);
  const std::string bad[] = {"", "hello", good.substr(0, good.size() / 2), "x" + good, [&] {
                               std::string s = good;
                               s.replace(s.find("balance=") + 8, 1, "q");
                               return s;
                             }()};
  for (const std::string& text : bad) {
    AccountModel target = NewAccount({}, {});
    target.balance = 123.0;
    EXPECT_FALSE(ParseAccount(text, target)) << text;
    EXPECT_EQ(target.balance, 123.0);
  }
}

}  // namespace
}  // namespace zt::sim
