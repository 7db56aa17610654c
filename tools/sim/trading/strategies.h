// The strategies that trade the lab's account, as an expert advisor beside the guard does: each
// tick a strategy looks at the account's quote and positions and opens or closes. When the guard
// closes everything, the strategy starts again from its base state after the re-entry delay, as a
// real one finds its positions gone and begins anew. Each keeps what it must remember beyond the
// account's positions in a few fields written with the run's state, so a paused run resumes the
// very same trades. The kinds (a grid, a martingale, a trend follower, random entries) stand in
// the strategy table (strategy_table.h), a file each.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "trading/trading_account.h"

namespace zt::sim {

// The values of every strategy's options, by their names on the command line without the dashes
// ("grid-step"): a number, a whole number, or a word among the option's choices.
struct StrategyValues {
  std::map<std::string, double> numbers;
  std::map<std::string, std::int64_t> wholes;
  std::map<std::string, std::string> words;
};

// Every strategy's options at their defaults, as the strategy table gives them.
StrategyValues FillDefaultStrategyValues();

struct StrategyOptions {
  std::string name = "grid";  // the strategy that trades, as --strategy names it
  StrategyValues values = FillDefaultStrategyValues();
  std::int64_t reentryDelay = 0;  // seconds after the guard's close-all before trading again
  // Set by the position market: the prices' point, and the run's seed.
  double point = 0.00001;  // the symbol's price point, in which steps are counted
  std::uint64_t seed = 1;  // for the random entries' own stream
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

// The strategy options.name names, made by its row's maker. Throws std::invalid_argument for a
// name the table does not hold.
std::unique_ptr<Strategy> MakeStrategy(const StrategyOptions& options);

// The strategy's options in one line, for what a state folder continues ("grid step 200 lots
// 0.01 ... re-entry 0").
std::string IdentifyStrategy(const StrategyOptions& options);

// Lots as the broker takes them: whole hundredths, at least one.
double RoundToLots(double lots);

}  // namespace zt::sim
