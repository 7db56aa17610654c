// The strategies that trade the lab's account, as an expert advisor beside the guard does: each
// tick a strategy looks at the account's quote and positions and opens or closes. When the guard
// closes everything, the strategy starts again from its base state, as a real one finds its
// positions gone and begins anew. New kinds (a martingale, a trend follower, random entries) sit
// beside the grid: each is a Strategy with a factory entry and options of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "trading_account.h"

namespace zt::sim {

enum class StrategyKind { Grid };

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

struct StrategyOptions {
  StrategyKind kind = StrategyKind::Grid;
  GridOptions grid;
  double point = 0.00001;            // the symbol's price point, in which steps are counted
  std::int64_t reentryDelay = 0;     // seconds after the guard's close-all before trading again
};

class Strategy {
 public:
  virtual ~Strategy() = default;
  // The account has the tick's quote; the strategy opens or closes what it wants to.
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

// Lots as the broker takes them: whole hundredths, at least one.
double BrokerLots(double lots);

}  // namespace zt::sim
