// A bar of a recorded history replayed as the ticks a market might have quoted inside it. A bar
// says only where the price opened, how high and low it went and where it closed; the guard, the
// strategy and the broker decide on every tick, so the lab walks a path of ticks through those
// four prices and lets each decision be taken on a tick of it.
//
// The walk (BarPath::Walk): the open, then the extreme the bar more likely reached first (the low
// first more often the higher the close stands against the open: a bar that closed up more often
// fell before it rose), then the other extreme, then the close; between them a Brownian bridge of
// ticks whose moves are sized by the bar's range, never past its high or low, on the symbol's
// points. Each leg gets ticks in proportion to the distance it covers. The path is drawn from the
// run's seed and the bar's time alone: the same seed walks every bar the same way, another seed
// another way (one history is one market; its paths are many).
//
// The worst order (BarPath::Worst), for a trader who wants a bound rather than an estimate: with
// positions open at the bar's open, the price jumps at once to the extreme against them (a close
// there fills at the extreme), climbs back to the other extreme a point at a time (a close at a
// profit fills at the first point past its level, no further), and jumps to the close. With no
// position open it is the walk. Its bars hold as many ticks as that climb takes.
#pragma once

#include <cstdint>
#include <vector>

#include "market/price_model.h"

namespace zt::sim {

enum class BarPath { Walk, Worst };

// One bar, bid prices.
struct BarPrices {
  std::int64_t time;    // its open, seconds since 1970 (UTC)
  std::int64_t length;  // seconds
  double open, high, low, close;
  double spread;        // ask - bid, in price
  std::int64_t volume;  // its tick volume; 0: the file gives none
};

struct BarWalkOptions {
  BarPath path = BarPath::Walk;
  std::int64_t ticks = 0;  // ticks a bar; 0: the bar's tick volume (one a minute without one)
  std::uint64_t seed = 1;
  double point = 0.00001;  // the walk's prices are whole points
};

// The most ticks the walk gives one bar, whatever its volume says.
inline constexpr std::int64_t kMostBarTicks = 100'000;

// The ticks the walk gives bar: options.ticks, else its tick volume, else one a minute of its
// length; never fewer than the four prices it passes through, nor more than kMostBarTicks.
std::int64_t CountBarTicks(const BarPrices& bar, std::int64_t ticks);

// Replaces out with bar's ticks, the open first, spread evenly over the bar's length (ticks within
// a second share its time). netLots is the account's buys less its sells at the bar's open: only
// the worst order reads it (above 0 the low is against the account, below 0 the high).
void WalkBar(const BarPrices& bar, const BarWalkOptions& options, double netLots,
             std::vector<Quote>& out);

// "walk" or "worst".
const char* NameBarPath(BarPath path);

}  // namespace zt::sim
