#include "trading/strategy_table.h"

#include <stdexcept>
#include <utility>

namespace zt::sim {

// Each strategy's behaviour is in its own file, strategy_NAME.cpp.
namespace strategies {
extern const StrategyBehaviour kGridBehaviour, kMartingaleBehaviour, kTrendBehaviour,
    kRandomBehaviour;
}  // namespace strategies

const std::vector<StrategyRow>& StrategyTable() {
  static const std::vector<StrategyRow> rows = {
      {"grid",
       "grid-",
       "levels against the price, basket take profit",
       "Strategy (--market model)",
       {NumberOption("step", 200.0, 1.0, 1e9, "Points against the newest level before the next"),
        NumberOption("lots", 0.01, 0.01, 1e4, "Lots of the first level"),
        NumberOption("multiplier", 1.5, 1.0, 10.0, "Each level's lots over the one before"),
        WholeOption("levels", 8, 1, 100, "Most levels a direction holds"),
        WordOption("directions", {"both", "buy", "sell"}, "both, buy or sell"),
        NumberOption("take-profit", 100.0, 1.0, 1e9,
                     "Points past a direction's average open price at which its basket closes")},
       strategies::kGridBehaviour},
      {"martingale",
       "martingale-",
       "one trade at a time, lots multiplied after a loss",
       "Martingale (--strategy martingale)",
       {NumberOption("stop", 200.0, 1.0, 1e9,
                     "Points against its trade at which it closes at a loss"),
        NumberOption("take-profit", 200.0, 1.0, 1e9,
                     "Points in its favour at which it closes at a gain"),
        NumberOption("lots", 0.01, 0.01, 1e4, "Lots of the first trade and of the one after a win"),
        NumberOption("multiplier", 2.0, 1.0, 10.0, "The next trade's lots over a lost one's"),
        NumberFromOption("max-lots", 1.0, "lots", 1e4, "Most lots a trade takes"),
        WholeOption("doublings", 6, 0, 100,
                    "Most multiplications in a row; a loss past them goes back to the first lots"),
        WordOption("direction", {"follow", "alternate"},
                   "follow: after a win the same way, after a loss the other way; alternate: buy, "
                   "sell, buy (the first trade is a buy)")},
       strategies::kMartingaleBehaviour},
      {"trend",
       "trend-",
       "moving-average crosses",
       "Trend follower (--strategy trend)",
       {WholeOption("bar-minutes", 15, 1, 7 * 1440,
                    "Minutes of a bar; a bar's close is the last mid price in it"),
        WholeOption("fast", 10, 1, 999, "Bars of the fast average of closes"),
        WholeOption(
            "slow", 40, 2, 1000,
            "Bars of the slow average; when the fast one crosses it the position turns that way"),
        NumberOption("lots", 0.1, 0.01, 1e4, "Lots of each position"),
        NumberOption("stop", 300.0, 1.0, 1e9,
                     "Points against the position at which it closes (out until the next cross)")},
       strategies::kTrendBehaviour},
      {"random",
       "random-",
       "seeded entries",
       "Random entries (--strategy random)",
       {NumberOption(
            "chance", 0.002, 0.0, 1.0,
            "Chance per tick of a new position, buy or sell at even odds (drawn from --seed)"),
        NumberOption("lots", 0.05, 0.01, 1e4, "Lots of each position"),
        NumberOption("stop", 200.0, 1.0, 1e9, "Points against a position at which it closes"),
        NumberOption("take-profit", 200.0, 1.0, 1e9,
                     "Points in a position's favour at which it closes"),
        WholeOption("max-open", 5, 1, 1000, "Most positions open at once")},
       strategies::kRandomBehaviour},
  };
  return rows;
}

const StrategyRow* FindStrategy(std::string_view name) {
  for (const StrategyRow& row : StrategyTable()) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

StrategyOption NumberOption(std::string name, double fallback, double lowest, double highest,
                            std::string help) {
  StrategyOption option;
  option.name = std::move(name);
  option.help = std::move(help);
  option.fallback = fallback;
  option.lowest = lowest;
  option.highest = highest;
  return option;
}

StrategyOption NumberFromOption(std::string name, double fallback, std::string lowestFrom,
                                double highest, std::string help) {
  StrategyOption option = NumberOption(std::move(name), fallback, 0.0, highest, std::move(help));
  option.lowestFrom = std::move(lowestFrom);
  return option;
}

StrategyOption WholeOption(std::string name, std::int64_t fallback, std::int64_t lowest,
                           std::int64_t highest, std::string help) {
  StrategyOption option =
      NumberOption(std::move(name), static_cast<double>(fallback), static_cast<double>(lowest),
                   static_cast<double>(highest), std::move(help));
  option.kind = StrategyOption::Kind::Whole;
  return option;
}

StrategyOption WordOption(std::string name, std::vector<std::string> words, std::string help) {
  StrategyOption option;
  option.kind = StrategyOption::Kind::Word;
  option.name = std::move(name);
  option.help = std::move(help);
  option.words = std::move(words);
  return option;
}

StrategyValues FillDefaultStrategyValues() {
  StrategyValues values;
  for (const StrategyRow& row : StrategyTable()) {
    for (const StrategyOption& option : row.options) {
      const std::string name = row.prefix + option.name;
      switch (option.kind) {
        case StrategyOption::Kind::Number: values.numbers[name] = option.fallback; break;
        case StrategyOption::Kind::Whole:
          values.wholes[name] = static_cast<std::int64_t>(option.fallback);
          break;
        case StrategyOption::Kind::Word: values.words[name] = option.words.front(); break;
      }
    }
  }
  return values;
}

std::unique_ptr<Strategy> MakeStrategy(const StrategyOptions& options) {
  const StrategyRow* row = FindStrategy(options.name);
  if (row == nullptr) throw std::invalid_argument("no strategy " + options.name);
  return row->behaviour.make(options, OwnOptions(options.values, row->prefix));
}

std::string IdentifyStrategy(const StrategyOptions& options) {
  const StrategyRow* row = FindStrategy(options.name);
  if (row == nullptr) throw std::invalid_argument("no strategy " + options.name);
  return row->name + row->behaviour.identity(OwnOptions(options.values, row->prefix)) +
         " re-entry " + std::to_string(options.reentryDelay);
}

}  // namespace zt::sim
