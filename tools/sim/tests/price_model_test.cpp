// The price model and the forex week it keeps: the same seed gives the same quotes, also after a
// pause written down and read back; no tick falls in the weekend; moves have fat tails and busy
// spells, and the weekly open and the releases jump.
#include "market/price_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "market/market_calendar.h"

namespace zt::sim {
namespace {

constexpr std::int64_t kTuesday = 1704153600;  // 2024.01.02 00:00 UTC

TEST(MarketCalendar, TheWeekClosesFridayAndOpensSundayAt22AndBooksSevenNightsOfSwap) {
  EXPECT_EQ(Weekday(kTuesday), 2);
  const std::int64_t friday22 = kTuesday + 3 * kDaySeconds + kRolloverSecond;
  EXPECT_FALSE(MarketClosed(friday22 - 1));
  EXPECT_TRUE(MarketClosed(friday22));
  EXPECT_TRUE(MarketClosed(friday22 + 2 * kDaySeconds - 1));
  EXPECT_FALSE(MarketClosed(friday22 + 2 * kDaySeconds));
  EXPECT_EQ(NextOpen(friday22 + 12 * 3600), friday22 + 2 * kDaySeconds);
  EXPECT_EQ(NextOpen(friday22 - 1), friday22 - 1);
  // Tuesday 22:00 to the next Tuesday 22:00: Tue 1, Wed 3, Thu 1, Fri 1, Mon 1 (the weekend none).
  const std::int64_t tuesday22 = kTuesday + kRolloverSecond;
  EXPECT_EQ(RolloverNights(tuesday22 - 1, tuesday22 + 7 * kDaySeconds - 1), 7);
  EXPECT_EQ(RolloverNights(tuesday22, tuesday22 + 30), 0);
  EXPECT_EQ(RolloverNights(tuesday22 + kDaySeconds - 1, tuesday22 + kDaySeconds), 3);
  // A release time passes on a trading day, not on Saturday.
  EXPECT_TRUE(DailyMomentPassed(kTuesday + 13 * 3600, kTuesday + 14 * 3600, 13 * 3600 + 1800));
  EXPECT_FALSE(DailyMomentPassed(kTuesday + 14 * 3600, kTuesday + 15 * 3600, 13 * 3600 + 1800));
  const std::int64_t saturday = kTuesday + 4 * kDaySeconds;
  EXPECT_FALSE(DailyMomentPassed(saturday, saturday + kDaySeconds - 1, 13 * 3600));
}

// A start on a Tuesday, a tick a minute.
MarketStart Start(std::uint64_t seed, std::int64_t tickSeconds = 60) {
  return {seed, kTuesday, tickSeconds, 10000.0};
}

TEST(PriceModel, TheSameSeedGivesTheSameQuotesAndAWrittenDownModelResumesThem) {
  PriceModel straight = NewPriceModel(Start(9), {}), other = NewPriceModel(Start(10), {});
  PriceModel first = NewPriceModel(Start(9), {});
  for (int tick = 0; tick < 3000; ++tick) NextQuote(first);
  PriceModel resumed = NewPriceModel(Start(9), {});
  ASSERT_TRUE(ParsePriceState(FormatPriceState(first), resumed));
  int differences = 0;
  for (int tick = 0; tick < 10000; ++tick) {
    const Quote a = NextQuote(straight);
    if (a.bid != NextQuote(other).bid) ++differences;
    if (tick < 3000) continue;
    const Quote b = NextQuote(resumed);
    ASSERT_EQ(a.time, b.time) << tick;
    ASSERT_EQ(a.bid, b.bid) << tick;
    ASSERT_EQ(a.ask, b.ask) << tick;
  }
  EXPECT_EQ(resumed.tick, straight.tick);
  EXPECT_GT(differences, 9000);
  PriceModel untouched = NewPriceModel(Start(9), {});
  EXPECT_FALSE(ParsePriceState("zt-sim-account-1 balance=1", untouched));
  EXPECT_EQ(untouched.tick, 0);
}

// Log returns of mid over ticks, split into the ordinary ones and those at a weekly open or a
// release; every quote is checked on the way.
struct Moves {
  std::vector<double> ordinary, opens, releases;
};

Moves MovesOver(PriceModel& model, int ticks) {
  Moves moves;
  for (int tick = 0; tick < ticks; ++tick) {
    const std::int64_t from = model.quote.time;
    const double before = model.mid;
    const Quote& quote = NextQuote(model);
    EXPECT_FALSE(MarketClosed(quote.time)) << quote.time;
    EXPECT_GE(std::round((quote.ask - quote.bid) / model.options.point),
              model.options.spreadPoints);
    const double move = std::log(model.mid / before);
    if (quote.time - from > model.start.tickSeconds) {
      moves.opens.push_back(move);
    } else if (!model.options.newsTimes.empty() &&
               DailyMomentPassed(from, quote.time, model.options.newsTimes.front())) {
      moves.releases.push_back(move);
    } else {
      moves.ordinary.push_back(move);
    }
  }
  return moves;
}

double MedianSize(std::vector<double> moves) {
  for (double& move : moves) move = std::fabs(move);
  std::nth_element(moves.begin(), moves.begin() + static_cast<std::ptrdiff_t>(moves.size() / 2),
                   moves.end());
  return moves[moves.size() / 2];
}

// Fourth moment over the squared second: 3 for normal moves, more for fat tails.
double Kurtosis(const std::vector<double>& moves) {
  double second = 0, fourth = 0;
  for (const double move : moves) {
    second += move * move;
    fourth += move * move * move * move;
  }
  const auto n = static_cast<double>(moves.size());
  return (fourth / n) / ((second / n) * (second / n));
}

// Correlation of the sizes of neighbouring moves: above 0 when busy ticks follow busy ticks.
double SizeCorrelation(const std::vector<double>& moves) {
  double mean = 0;
  for (const double move : moves) mean += std::fabs(move);
  mean /= static_cast<double>(moves.size());
  double together = 0, alone = 0;
  for (std::size_t i = 0; i + 1 < moves.size(); ++i) {
    together += (std::fabs(moves[i]) - mean) * (std::fabs(moves[i + 1]) - mean);
    alone += (std::fabs(moves[i]) - mean) * (std::fabs(moves[i]) - mean);
  }
  return together / alone;
}

TEST(PriceModel, MovesHaveFatTailsAndBusySpellsAndTheOpensAndReleasesJump) {
  PriceModelOptions options;
  PriceModel model = NewPriceModel(Start(3, 300), options);
  const Moves moves = MovesOver(model, 60000);  // some 42 weeks
  ASSERT_GE(moves.opens.size(), 40u);
  ASSERT_GE(moves.releases.size(), 200u);
  EXPECT_GT(Kurtosis(moves.ordinary), 5.0);
  EXPECT_GT(SizeCorrelation(moves.ordinary), 0.1);
  EXPECT_GT(MedianSize(moves.opens), 8.0 * MedianSize(moves.ordinary));
  EXPECT_GT(MedianSize(moves.releases), 5.0 * MedianSize(moves.ordinary));

  // A release's jump in volatility makes the ticks after it busy; its own gap is sized by the
  // volatility before it (else a routine release could move the price by a tenth).
  PriceModelOptions quiet, jumpy;
  quiet.newsVolJump = 0.0;
  jumpy.newsVolJump = 3.0;
  PriceModel before = NewPriceModel(Start(3), quiet), after = NewPriceModel(Start(3), jumpy);
  const Moves quietMoves = MovesOver(before, 4000), jumpyMoves = MovesOver(after, 4000);
  ASSERT_FALSE(quietMoves.releases.empty());
  EXPECT_DOUBLE_EQ(quietMoves.releases.front(), jumpyMoves.releases.front());
  EXPECT_GT(MedianSize(jumpyMoves.ordinary), MedianSize(quietMoves.ordinary));

  // Without the random scale, the busy spells, the gaps and the releases the moves are normal.
  options.tailDegrees = 1e6;
  options.volOfVol = 0.0;
  options.weekendGap = 0.0;
  options.newsTimes.clear();
  PriceModel calm = NewPriceModel(Start(3, 300), options);
  const Moves plain = MovesOver(calm, 60000);
  EXPECT_NEAR(Kurtosis(plain.ordinary), 3.0, 0.15);
  EXPECT_NEAR(SizeCorrelation(plain.ordinary), 0.0, 0.03);
}

}  // namespace
}  // namespace zt::sim
