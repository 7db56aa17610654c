#include "market/bar_walk.h"

#include <algorithm>
#include <cmath>

#include "market/account_model.h"

namespace zt::sim {
namespace {

// The bridge's own moves, as a share of the bar's range over the square root of its ticks: a
// random walk of n such steps spreads over about 1.6 * 0.5 = 0.8 of the range, so the path wanders
// inside the bar as prices do, while the legs' pull carries it to each of the four prices.
constexpr double kWiggle = 0.5;
// Mixed into the run's seed with the bar's time: each bar's path its own, whichever bar came first.
constexpr std::uint64_t kWalkStream = 0x6A09E667F3BCC909ULL;

// Writes the ticks of one bar onto a price path, on whole points and inside the bar.
struct PathWriter {
  const BarPrices& bar;
  double point;
  std::vector<Quote>& ticks;  // their bids; times and asks are written once all are known
  void Put(double price) const {
    ticks.push_back(
        Quote{0, std::clamp(std::round(price / point) * point, bar.low, bar.high), 0.0});
  }
  void PutExact(double price) const { ticks.push_back(Quote{0, price, 0.0}); }
};

// A leg from the last price of the path to `to` in `ticks` ticks, the last of them at `to`: each
// step takes the rest of the way over the steps left, plus a move of the bridge.
void Bridge(const PathWriter& path, double to, std::int64_t ticks, double step, Prng& prng) {
  double at = path.ticks.back().bid;
  for (std::int64_t left = ticks; left > 1; --left) {
    const double share = 1.0 / static_cast<double>(left);
    at += (to - at) * share + step * std::sqrt(1.0 - share) * NextNormal(prng);
    at = std::clamp(at, path.bar.low, path.bar.high);
    path.Put(at);
  }
  path.PutExact(to);
}

// Ticks of the three legs (after the open) in proportion to their lengths, one at least each.
void ShareTicks(const double lengths[3], std::int64_t ticks, std::int64_t legs[3]) {
  const double total = lengths[0] + lengths[1] + lengths[2];
  const std::int64_t spare = ticks - 3;
  std::int64_t given = 0;
  int longest = 0;
  for (int i = 0; i < 3; ++i) {
    const double share = total > 0.0 ? lengths[i] / total : 1.0 / 3.0;
    legs[i] = 1 + static_cast<std::int64_t>(std::floor(share * static_cast<double>(spare)));
    given += legs[i];
    if (lengths[i] > lengths[longest]) longest = i;
  }
  legs[longest] += ticks - given;
}

void WalkPrices(const BarPrices& bar, const BarWalkOptions& options, std::vector<Quote>& out) {
  Prng prng = SeedPrng(options.seed ^ kWalkStream ^
                       (static_cast<std::uint64_t>(bar.time) * 0x9E3779B97F4A7C15ULL));
  const double range = bar.high - bar.low;
  const double lowFirstOdds = range > 0.0 ? 0.5 + 0.5 * (bar.close - bar.open) / range : 0.5;
  const bool lowFirst = NextUniform(prng) < lowFirstOdds;
  const double first = lowFirst ? bar.low : bar.high, second = lowFirst ? bar.high : bar.low;
  const double lengths[3] = {std::fabs(first - bar.open), range, std::fabs(bar.close - second)};
  const std::int64_t ticks = CountBarTicks(bar, options.ticks);
  std::int64_t legs[3];
  ShareTicks(lengths, ticks - 1, legs);
  const double step = kWiggle * range / std::sqrt(static_cast<double>(ticks));
  const PathWriter path{bar, options.point, out};
  path.PutExact(bar.open);
  Bridge(path, first, legs[0], step, prng);
  Bridge(path, second, legs[1], step, prng);
  Bridge(path, bar.close, legs[2], step, prng);
}

// The worst order for an account long (netLots > 0) or short: a jump against it, a climb back a
// point at a time, a jump to the close.
void WorstPrices(const BarPrices& bar, double netLots, double point, std::vector<Quote>& out) {
  const double against = netLots > 0.0 ? bar.low : bar.high;
  const double back = netLots > 0.0 ? bar.high : bar.low;
  const PathWriter path{bar, point, out};
  path.PutExact(bar.open);
  path.PutExact(against);
  const auto points = static_cast<std::int64_t>(std::llround(std::fabs(back - against) / point));
  const std::int64_t steps = std::min(points, kMostBarTicks);
  for (std::int64_t i = 1; i <= steps; ++i)
    path.Put(against + (back - against) * static_cast<double>(i) / static_cast<double>(steps));
  path.PutExact(bar.close);
}

}  // namespace

std::int64_t CountBarTicks(const BarPrices& bar, std::int64_t ticks) {
  if (ticks <= 0) ticks = bar.volume > 0 ? bar.volume : bar.length / 60;
  return std::clamp<std::int64_t>(ticks, 4, kMostBarTicks);
}

void WalkBar(const BarPrices& bar, const BarWalkOptions& options, double netLots,
             std::vector<Quote>& out) {
  out.clear();
  if (options.path == BarPath::Worst && netLots != 0.0) {
    WorstPrices(bar, netLots, options.point, out);
  } else {
    WalkPrices(bar, options, out);
  }
  const auto count = static_cast<std::int64_t>(out.size());
  for (std::int64_t i = 0; i < count; ++i) {
    Quote& tick = out[static_cast<std::size_t>(i)];
    tick.time = bar.time + i * bar.length / count;
    tick.ask = tick.bid + bar.spread;
  }
}

const char* NameBarPath(BarPath path) { return path == BarPath::Worst ? "worst" : "walk"; }

}  // namespace zt::sim
