#include "market/price_model.h"

#include <algorithm>
#include <cmath>

#include "market/market_calendar.h"
#include "market/state_text.h"

namespace zt::sim {
namespace {

constexpr std::string_view kPriceTag = "zt-sim-prices-1";
// A trading year: 52 weeks of five 24-hour days. Volatility is quoted over trading time.
constexpr double kTradingSecondsPerYear = 52.0 * 5.0 * 86400.0;
// The spread widens with the square root of how busy the market is, up to this many times.
constexpr double kWidestSpread = 6.0;
constexpr const char* kStateWords[4] = {"s0", "s1", "s2", "s3"};

// Standard deviation of one tick's log return when the market is neither busy nor calm. The log
// volatility wanders around 0 with a variance of volOfVol^2, and exp(2 h) then averages
// exp(2 volOfVol^2): the factor exp(-volOfVol^2) brings the average variance back to the annual
// figure the user gave.
double OrdinaryTickVolatility(const PriceModelOptions& o, std::int64_t tickSeconds) {
  return o.annualVolatility * std::sqrt(static_cast<double>(tickSeconds) / kTradingSecondsPerYear) *
         std::exp(-o.volOfVol * o.volOfVol);
}

// The quote around mid: the spread widens in busy spells; both prices on the broker's points.
Quote QuoteAround(const PriceModel& model, std::int64_t time) {
  const PriceModelOptions& o = model.options;
  const double widening = std::clamp(std::exp(0.5 * model.logVol), 1.0, kWidestSpread);
  const double spread = std::max(1.0, std::round(o.spreadPoints * widening));
  const double bidPoints = std::round(model.mid / o.point - 0.5 * spread);
  return Quote{time, bidPoints * o.point, (bidPoints + spread) * o.point};
}

// The next tick's time: a fixed step on, or the weekly open when the step lands in the weekend
// (the ticks then go on a fixed step from there).
std::int64_t NextTickTime(std::int64_t time, std::int64_t step) {
  const std::int64_t next = time + step;
  return MarketClosed(next) ? NextOpen(next) : next;
}

}  // namespace

double NextStudentT(Prng& prng, double degrees) {
  double u = 0.0, w = 0.0;
  do {
    u = 2.0 * NextUniform(prng) - 1.0;
    const double v = 2.0 * NextUniform(prng) - 1.0;
    w = u * u + v * v;
  } while (w >= 1.0 || w == 0.0);
  const double t = u * std::sqrt(degrees * (std::pow(w, -2.0 / degrees) - 1.0) / w);
  return t * std::sqrt((degrees - 2.0) / degrees);
}

PriceModel NewPriceModel(const MarketStart& start, const PriceModelOptions& options) {
  PriceModel model{start, options, SeedPrng(start.seed), options.startPrice, 0.0, 0, {}};
  model.quote = QuoteAround(model, start.startTime);
  return model;
}

const Quote& NextQuote(PriceModel& model) {
  const PriceModelOptions& o = model.options;
  const std::int64_t tickSeconds = model.start.tickSeconds;
  const std::int64_t from = model.quote.time;
  const std::int64_t time = NextTickTime(from, tickSeconds);
  // The log volatility reverts to 0 at a rate set by the half-life-like reversion time, with
  // shocks sized so that its spread stays volOfVol whatever the tick length.
  const double pull =
      std::min(1.0, static_cast<double>(tickSeconds) / (o.volReversionHours * 3600.0));
  model.logVol = model.logVol * (1.0 - pull) +
                 o.volOfVol * std::sqrt(pull * (2.0 - pull)) * NextNormal(model.prng);
  // The tick's moves, its gaps among them, are sized by the volatility the market had before the
  // tick: a release's jump in volatility makes the ticks after it busy, not its own gap (applied to
  // the gap as well, it multiplied the gap by e^newsVolJump on top and a routine release could move
  // EURUSD by a tenth of its price).
  const double volatility = OrdinaryTickVolatility(o, tickSeconds) * std::exp(model.logVol);
  double moves = NextStudentT(model.prng, o.tailDegrees);
  // Over a closed weekend the world went on: the price opens where the news of two days left it.
  if (time - from > tickSeconds) moves += o.weekendGap * NextStudentT(model.prng, o.tailDegrees);
  for (const std::int64_t release : o.newsTimes) {
    if (!DailyMomentPassed(from, time, release)) continue;
    moves += o.newsGap * NextStudentT(model.prng, o.tailDegrees);
    model.logVol += o.newsVolJump;  // the market stays busy for a while after a release
  }
  model.mid *= std::exp(volatility * moves);
  ++model.tick;
  model.quote = QuoteAround(model, time);
  return model.quote;
}

std::string FormatPriceState(const PriceModel& model) {
  std::string out(kPriceTag);
  PutField(out, "mid", model.mid);
  PutField(out, "logVol", model.logVol);
  PutField(out, "tick", model.tick);
  PutField(out, "time", model.quote.time);
  for (int i = 0; i < 4; ++i) PutField(out, kStateWords[i], model.prng.state[i]);
  return out;
}

bool ParsePriceState(std::string_view text, PriceModel& model) {
  const std::size_t at = text.find(kPriceTag);
  if (at == std::string_view::npos) return false;
  text.remove_prefix(at);
  PriceModel read = model;
  std::int64_t time = 0;
  bool ok = TakeField(text, "mid", read.mid) && TakeField(text, "logVol", read.logVol) &&
            TakeField(text, "tick", read.tick) && TakeField(text, "time", time);
  for (int i = 0; i < 4; ++i) ok = ok && TakeField(text, kStateWords[i], read.prng.state[i]);
  if (!ok) return false;
  read.quote = QuoteAround(read, time);
  model = read;
  return true;
}

}  // namespace zt::sim
