#include "trading/strategy_table.h"

#include <stdexcept>
#include <utility>

namespace zt::sim {

// Each row is made in its strategy's own file, strategy_NAME.cpp.
StrategyRow GridRow(), MartingaleRow(), TrendRow(), RandomRow();

const std::vector<StrategyRow>& StrategyTable() {
  static const std::vector<StrategyRow> rows = {
      GridRow(),
      MartingaleRow(),
      TrendRow(),
      RandomRow(),
  };
  return rows;
}

const StrategyRow* FindStrategy(std::string_view name) {
  for (const StrategyRow& row : StrategyTable()) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

StrategyOption NumberOption(std::string name, double fallback, double lowest, double highest, std::string help) {
  StrategyOption option;
  option.name = std::move(name);
  option.help = std::move(help);
  option.fallback = fallback;
  option.lowest = lowest;
  option.highest = highest;
  return option;
}

StrategyOption WholeOption(std::string name, std::int64_t fallback, std::int64_t lowest, std::int64_t highest,
                           std::string help) {
  StrategyOption option = NumberOption(std::move(name), static_cast<double>(fallback), static_cast<double>(lowest),
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

StrategyValues DefaultStrategyValues() {
  StrategyValues values;
  for (const StrategyRow& row : StrategyTable()) {
    for (const StrategyOption& option : row.options) {
      const std::string name = row.prefix + option.name;
      switch (option.kind) {
        case StrategyOption::Kind::Number:
          values.numbers[name] = option.fallback;
          break;
        case StrategyOption::Kind::Whole:
          values.wholes[name] = static_cast<std::int64_t>(option.fallback);
          break;
        case StrategyOption::Kind::Word:
          values.words[name] = option.words.front();
          break;
      }
    }
  }
  return values;
}

std::unique_ptr<Strategy> MakeStrategy(const StrategyOptions& options) {
  const StrategyRow* row = FindStrategy(options.name);
  if (row == nullptr) throw std::invalid_argument("no strategy " + options.name);
  return row->make(options);
}

std::string StrategyIdentity(const StrategyOptions& options) {
  const StrategyRow* row = FindStrategy(options.name);
  if (row == nullptr) throw std::invalid_argument("no strategy " + options.name);
  return row->name + row->identity(OwnOptions(options.values, row->prefix)) + " re-entry " +
         std::to_string(options.reentryDelay);
}

}  // namespace zt::sim
