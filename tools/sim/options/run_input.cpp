#include "options/run_input.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "market/price_history.h"
#include "number_text.h"
#include "options/sim_options.h"
#include "system/paths.h"
#include "trading/deal_history.h"
#include "trading/strategy_table.h"

namespace zt::sim {

std::string FileName(const std::string& path) {
  return system::Utf8Of(system::PathOf(path).filename());
}

const BarSizes& MeasuredBars(const PriceHistoryOptions& history) {
  static std::string measuredFor;  // what sizes are of: the file as it was and how it is read
  static BarSizes sizes;
  const std::filesystem::path file = system::PathOf(history.path);
  std::error_code unknownSize, unknownTime;
  const std::uintmax_t size = std::filesystem::file_size(file, unknownSize);
  const auto time = std::filesystem::last_write_time(file, unknownTime).time_since_epoch().count();
  std::string key = history.path;
  for (const long long part :
       {static_cast<long long>(size), static_cast<long long>(time),
        static_cast<long long>(history.format), static_cast<long long>(history.decimal),
        static_cast<long long>(history.walk.ticks), static_cast<long long>(history.digits)})
    key += "\n" + std::to_string(part);
  // A pipe or a file that cannot be looked at is measured each time.
  if (unknownSize || unknownTime || key != measuredFor) {
    measuredFor.clear();
    sizes = MeasureBars(history);
    if (!unknownSize && !unknownTime) measuredFor = key;
  }
  return sizes;
}

namespace {

// "the bar history FILE" or "the tick history FILE", as the file's first line tells (or --format
// says); bars the price model wrote say so.
std::string NamePriceHistory(const PriceHistoryOptions& history) {
  const std::string file = " " + FileName(history.path);
  try {
    const PriceHistoryReader reader(history);
    if (reader.madeByModel())
      return "the bar history" + file + ", made by the price model and no market's record";
    return std::string(reader.bars() ? "the bar history" : "the tick history") + file;
  } catch (const std::runtime_error&) {
    return "the price history" + file;  // gone since the run read it: its name is still right
  }
}

// The history's options as the run reads them: the prices' point and spread.
PriceHistoryOptions HistoryOf(const SimOptions& options) {
  PriceHistoryOptions history = options.positions.history;
  history.point = options.positions.prices.point;
  history.spreadPoints = options.positions.prices.spreadPoints;
  return history;
}

// Lots of the trades the run holds, for a typical bar's worth in money; 0 when unknown.
double TypicalLots(const SimOptions& options) {
  const PositionMarketOptions& m = options.positions;
  if (!m.dealsPath.empty()) {
    std::vector<double> lots;
    for (const Deal& deal : ReadDealHistory(m.dealsPath, m.history.decimal).deals)
      lots.push_back(deal.lots);
    const auto middle = lots.begin() + static_cast<std::ptrdiff_t>(lots.size() / 2);
    std::nth_element(lots.begin(), middle, lots.end());
    return *middle;
  }
  const StrategyRow* row = FindStrategy(m.strategy.name);
  if (row == nullptr) return 0.0;
  const auto found = m.strategy.values.numbers.find(row->prefix + "lots");
  return found == m.strategy.values.numbers.end() ? 0.0 : found->second;
}

// The smallest amount of the ladders' take profits, drawdown targets and stop losses (increase
// targets are equity levels, not amounts); 0 when they hold none.
double SmallestTarget(const SimOptions& options, const std::vector<NamedLadder>& ladders) {
  std::vector<TargetTexts> texts;
  for (const NamedLadder& ladder : ladders) texts.push_back(ladder.texts);
  if (texts.empty()) texts.push_back(options.host.targets);
  double smallest = 0.0;
  const auto take = [&](double amount) {
    if (amount > 0.0 && (smallest == 0.0 || amount < smallest)) smallest = amount;
  };
  for (const TargetTexts& text : texts) {
    const Ladder ladder = ReadLadder(text);
    for (const AmountSets* sets : {&ladder.takeProfits, &ladder.drawdownTargets}) {
      for (const std::vector<double>& set : *sets)
        for (const double amount : set) take(amount);
    }
    for (const double amount : ladder.stopLosses) take(amount);
  }
  return smallest;
}

}  // namespace

std::string NameModelling(const SimOptions& options) {
  if (!options.csvPath.empty() || options.market == MarketKind::Walk) return {};
  const PriceHistoryOptions history = HistoryOf(options);
  if (history.path.empty()) return "price model ticks";
  const BarSizes& sizes = MeasuredBars(history);
  if (sizes.bars == 0) return "recorded ticks";
  if (history.walk.path == BarPath::Worst) {
    return "bars in the worst order (against the positions open at each bar's open: a jump to the "
           "extreme against them, a point a tick back)";
  }
  const std::int64_t each = (sizes.ticks + sizes.bars / 2) / sizes.bars;
  return "bars walked with " + std::to_string(each) + " ticks a bar" +
         (history.walk.ticks > 0 ? "" : " on average (their tick volumes)");
}

std::string CautionOfBars(const SimOptions& options, const std::vector<NamedLadder>& ladders) {
  const PriceHistoryOptions history = HistoryOf(options);
  if (history.path.empty() || !options.csvPath.empty()) return {};
  const BarSizes& sizes = MeasuredBars(history);
  const double lots = TypicalLots(options), smallest = SmallestTarget(options, ladders);
  const double worth = sizes.typicalRange * options.positions.terms.contractSize * lots;
  if (sizes.bars == 0 || smallest <= 0.0 || worth <= smallest) return {};
  return "A typical bar's range (" + tools::Number(sizes.typicalRange) + ") moves " +
         tools::Number(lots) + " lot by " + tools::Fixed(worth, 2) +
         ", more than the smallest target " + tools::Number(smallest) +
         ": a target smaller than a typical bar's range cannot be judged on bars alone (try "
         "recorded ticks, or --bar-path worst for a bound).";
}

std::string NameRunInput(const SimOptions& options, std::int64_t ticks, bool resumed) {
  const std::string more = resumed ? ", resumed)" : ")";
  if (!options.csvPath.empty()) {
    return "the equity history " + FileName(options.csvPath) + " (" + std::to_string(ticks + 1) +
           " rows" + more;
  }
  const PositionMarketOptions& m = options.positions;
  if (!m.history.path.empty()) {
    const std::string prices = NamePriceHistory(m.history);
    const std::string what = m.dealsPath.empty()
                                 ? "a " + m.strategy.name + " strategy on " + prices
                                 : "the deal list " + FileName(m.dealsPath) + " over " + prices;
    // The start quote is a tick of the history too: a file of N quotes runs N ticks.
    return what + " (" + std::to_string(ticks + 1) + " ticks" + more;
  }
  return std::string(resumed ? "a resumed " : "a seeded ") + NameSeededMarket(options) + " (seed " +
         std::to_string(options.start.seed) + ", " + std::to_string(ticks) + " ticks)";
}

std::string DescribeHistories(const SimOptions& options) {
  // The words of state folders' identities: kept as they were, so that older folders continue.
  const PositionMarketOptions& m = options.positions;
  if (m.history.path.empty()) return {};
  const auto name = FileName;
  std::string text = "price history " + name(m.history.path);
  if (!m.dealsPath.empty()) text = "deal history " + name(m.dealsPath) + " over the " + text;
  return text;
}

}  // namespace zt::sim
