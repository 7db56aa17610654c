// The strategies that trade the lab's account, as an expert advisor beside the guard does: each
// tick a strategy looks at the account's quote and positions and opens or closes. When the guard
// closes everything, the strategy starts again from its base state after the re-entry delay, as a
// real one finds its positions gone and begins anew. Four kinds: a grid, a martingale, a trend
// follower and random entries. Each keeps what it must remember beyond the account's positions in
// a few fields written with the run's state, so a paused run resumes the very same trades.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "trading/trading_account.h"

namespace zt::sim {

enum class StrategyKind { Grid, Martingale, Trend, Random };

enum class GridDirections { Both, Buys, Sells };

// A grid: a base position in each direction it trades; whenever the price moves stepPoints against
// the newest position of a direction it adds another, lotMultiplier times as large, up to
// maxLevels positions a direction. Its take profit is on the basket: when the price comes back
// takeProfitPoints past the lot-weighted average open price of a direction, that direction's
// positions all close and it starts again from one base position at once.
struct GridOptions {
  double stepPoints = 200.0;
  double baseLots = 0.01;
  double lotMultiplier = 1.5;
  int maxLevels = 8;
  GridDirections directions = GridDirections::Both;
  double takeProfitPoints = 100.0;
};

// Which way a martingale's next trade goes. Follow: after a win the same way again, after a loss
// the other way, so it always trades the way the last trade would have won. Alternate: buy, sell,
// buy, whatever happened.
enum class MartingaleDirection { Follow, Alternate };

// A martingale: one position at a time, opened at once when none is open (the first a buy), with
// its own stop and take profit in points from its open price. After a losing trade the next is
// lotMultiplier times as large (never above maxLots), at most maxDoublings times in a row; after a
// win, or a loss past those doublings, it goes back to baseLots. A broker's stop-out is a loss.
struct MartingaleOptions {
  double stopPoints = 200.0;
  double takeProfitPoints = 200.0;
  double baseLots = 0.01;
  double lotMultiplier = 2.0;
  double maxLots = 1.0;
  int maxDoublings = 6;
  MartingaleDirection direction = MartingaleDirection::Follow;
};

// A trend follower on bars of barMinutes built from the ticks (a bar's close is the last mid price
// quoted in it): when the average of the last fastBars closes crosses the average of the last
// slowBars, it closes what it holds the other way and opens lots in the direction of the cross.
// A position that loses stopPoints closes, and the follower stays out until the next cross.
struct TrendOptions {
  int barMinutes = 15;
  int fastBars = 10;
  int slowBars = 40;
  double lots = 0.1;
  double stopPoints = 300.0;
};

// Random entries: each tick, with the given chance, a position of random direction (even odds)
// with its own stop and take profit in points, while fewer than maxOpen are open. The draws come
// from the run's seed on a stream of their own, so every strategy meets the same prices; two are
// drawn every tick whatever happens, so the account without the guard draws the same entries.
struct RandomOptions {
  double chancePerTick = 0.002;
  double lots = 0.05;
  double stopPoints = 200.0;
  double takeProfitPoints = 200.0;
  int maxOpen = 5;
};

struct StrategyOptions {
  StrategyKind kind = StrategyKind::Grid;
  GridOptions grid;
  MartingaleOptions martingale;
  TrendOptions trend;
  RandomOptions random;
  std::int64_t reentryDelay = 0;     // seconds after the guard's close-all before trading again
  // Set by the position market: the prices' point, and the run's seed.
  double point = 0.00001;            // the symbol's price point, in which steps are counted
  std::uint64_t seed = 1;            // for the random entries' own stream
};

class Strategy {
 public:
  virtual ~Strategy() = default;
  // The account has the tick's quote; the strategy opens or closes what it wants to. An open the
  // broker refuses for want of free margin is the strategy's to handle (each says how).
  virtual void OnTick(TradingAccount& account) = 0;
  // The guard closed every position at time: back to the base state, trading again after the
  // re-entry delay (0: from the next tick).
  virtual void OnGuardClose(std::int64_t time) = 0;
  // The strategy's own state beyond the account's positions as " name=value" fields whose names
  // start with prefix, and back (false, state unchanged, when text holds none).
  virtual std::string Format(std::string_view prefix) const = 0;
  virtual bool Parse(std::string_view text, std::string_view prefix) = 0;
};

std::unique_ptr<Strategy> MakeStrategy(const StrategyOptions& options);

// "grid", "martingale", "trend", "random": the kind as --strategy names it.
std::string_view StrategyName(StrategyKind kind);
// The kind's options in one line, for what a state folder continues ("grid step 200 lots 0.01 ...").
std::string StrategyIdentity(const StrategyOptions& options);

// Lots as the broker takes them: whole hundredths, at least one.
double BrokerLots(double lots);

}  // namespace zt::sim
