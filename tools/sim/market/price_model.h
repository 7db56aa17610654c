// A seeded model of one symbol's prices, tick by tick: the bid and ask a broker quotes, moving
// with a volatility that drifts between calm and busy spells, with fat-tailed moves, a gap when the
// market reopens after the weekend and a jump at scheduled news times. Deterministic for a seed on
// every machine (the generator and the draws are our own), and its whole state is a few numbers,
// so a paused run is written down and resumed exactly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "market/account_model.h"

namespace zt::sim {

struct PriceModelOptions {
  double startPrice = 1.1;          // mid price at tick 0
  double point = 0.00001;           // the smallest price step the broker quotes
  double spreadPoints = 8.0;        // ask - bid in calm trading, in points
  double annualVolatility = 0.08;   // standard deviation of a year's log return, trading time only
  double volOfVol = 0.5;            // standard deviation of the log volatility around its mean
  double volReversionHours = 12.0;  // how fast a busy or calm spell fades back to the mean
  double tailDegrees =
      4.0;  // degrees of freedom of the moves' Student t (> 2); larger: thinner tails
  double weekendGap = 30.0;  // spread of the gap at the weekly open, in moves of one tick
  std::vector<std::int64_t> newsTimes = {13 * 3600 + 1800};  // releases, seconds after midnight UTC
  double newsGap = 20.0;     // spread of the jump at a release, in moves of one tick
  double newsVolJump = 1.0;  // rise of the log volatility at a release (e: 2.7 times as busy)
};

// What the broker quotes at one tick.
struct Quote {
  std::int64_t time;  // seconds since 1970, UTC
  double bid;         // a sell fills here, a buy closes here
  double ask;         // a buy fills here, a sell closes here
};

struct PriceModel {
  MarketStart start;  // the seed, the first tick's time and the tick length
  PriceModelOptions options;
  Prng prng;
  double mid;         // before rounding to the broker's points
  double logVol;      // log of the volatility relative to its long-run level (0: ordinary)
  std::int64_t tick;  // ticks taken so far
  Quote quote;        // the current one
};

PriceModel NewPriceModel(const MarketStart& start, const PriceModelOptions& options);
// Moves the market one tick on (over a weekend when the next tick falls in it) and returns the
// new quote.
const Quote& NextQuote(PriceModel& model);

// A Student t deviate with the given degrees of freedom (> 2), scaled to a variance of 1: a normal
// deviate over a random scale, so most moves are small and a few are very large. Drawn by
// Bailey's polar method from uniform numbers alone.
double NextStudentT(Prng& prng, double degrees);

// The model's moving parts (not its options, which the run's identity holds) as " name=value"
// fields under a tag, and back. ParsePriceState leaves model alone and returns false when text
// holds no such state.
std::string FormatPriceState(const PriceModel& model);
bool ParsePriceState(std::string_view text, PriceModel& model);

}  // namespace zt::sim
