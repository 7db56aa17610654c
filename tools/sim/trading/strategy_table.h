// The strategy table: a row per strategy --strategy can name, holding everything the rest of the
// lab knows of it: its name, the prefix of its options, what --help says of it, its options with
// their defaults and ranges, its maker, its words in a state folder's identity and the checks its
// ranges cannot make alone. The command line registers the options from the rows, the refusals
// come from their ranges, a run's record (the JSON's inputs, the report's "what was run") lists
// them by their prefix, and a state folder continues only the same row's same values.
//
// Adding a strategy is a file of its own, strategy_NAME.cpp (its Strategy, and its behaviour:
// maker, identity words, checks), and one row in strategy_table.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "trading/strategies.h"

namespace zt::sim {

// One option of a strategy, --PREFIX + name on the command line ("--grid-step").
struct StrategyOption {
  enum class Kind { Number, Whole, Word };
  Kind kind = Kind::Number;
  std::string name;       // "step"
  std::string help;       // --help's line
  double fallback = 0.0;  // the default of a number or a whole number
  // The values a number or a whole number may take, both ends included. A number's lowest may be
  // another of the strategy's options instead (lowestFrom: "lots" for the martingale's most lots).
  double lowest = 0.0, highest = 0.0;
  std::string lowestFrom;
  std::vector<std::string> words;  // a word's choices, the first its default
};

// A number option: name, default, range and --help's text.
StrategyOption NumberOption(std::string name, double fallback, double lowest, double highest,
                            std::string help);
// A number option whose lowest value is another option's.
StrategyOption NumberFromOption(std::string name, double fallback, std::string lowestFrom,
                                double highest, std::string help);
// A whole-number option.
StrategyOption WholeOption(std::string name, std::int64_t fallback, std::int64_t lowest,
                           std::int64_t highest, std::string help);
// A word among choices, the first the default.
StrategyOption WordOption(std::string name, std::vector<std::string> words, std::string help);

// What a strategy reads of its own options, by the names its row gives them. A name the row does
// not give throws std::out_of_range.
class OwnOptions {
 public:
  OwnOptions(const StrategyValues& values, std::string prefix)
      : values_(values), prefix_(std::move(prefix)) {}
  double Number(std::string_view name) const {
    return values_.numbers.at(prefix_ + std::string(name));
  }
  std::int64_t Whole(std::string_view name) const {
    return values_.wholes.at(prefix_ + std::string(name));
  }
  const std::string& Word(std::string_view name) const {
    return values_.words.at(prefix_ + std::string(name));
  }

 private:
  const StrategyValues& values_;
  std::string prefix_;
};

// What a strategy's own file gives its row: the code beside the row's data.
struct StrategyBehaviour {
  // The strategy, its own options read through own.
  std::unique_ptr<Strategy> (*make)(const StrategyOptions& options, const OwnOptions& own);
  // Its values as a state folder's identity words them, after the name: " step 200 lots 0.01 ...".
  std::string (*identity)(const OwnOptions& options);
  // What the options' ranges cannot check alone (one against another), as one line naming the
  // option, or empty; null when there is nothing such.
  std::string (*mistake)(const OwnOptions& options);
};

struct StrategyRow {
  std::string name;     // --strategy NAME
  std::string prefix;   // of its options' names: "grid-"
  std::string summary;  // what --strategy's help says it is
  std::string group;    // the --help group its options stand in
  std::vector<StrategyOption> options;
  StrategyBehaviour behaviour;
};

// Every strategy, in the order --help lists them; the first is the default.
const std::vector<StrategyRow>& StrategyTable();
// The row of the strategy name names; null when there is none.
const StrategyRow* FindStrategy(std::string_view name);

}  // namespace zt::sim
