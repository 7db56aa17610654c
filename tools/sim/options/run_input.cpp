#include "options/run_input.h"

#include <filesystem>
#include <stdexcept>

#include "market/price_history.h"
#include "options/sim_options.h"
#include "system/paths.h"

namespace zt::sim {

std::string FileName(const std::string& path) {
  return system::Utf8Of(system::PathOf(path).filename());
}

namespace {

// "bar history" or "tick history", as the file's first line tells (or --format says).
std::string PriceHistoryKind(const PriceHistoryOptions& history) {
  try {
    const HistoryFormat format = PriceHistoryReader(history).format();
    return format == HistoryFormat::BarsCsv || format == HistoryFormat::BarsTab ? "bar history"
                                                                                : "tick history";
  } catch (const std::runtime_error&) {
    return "price history";  // gone since the run read it: its name is still right
  }
}

}  // namespace

std::string NameRunInput(const SimOptions& options, std::int64_t ticks, bool resumed) {
  const std::string more = resumed ? ", resumed)" : ")";
  if (!options.csvPath.empty()) {
    return "the equity history " + FileName(options.csvPath) + " (" + std::to_string(ticks + 1) +
           " rows" + more;
  }
  const PositionMarketOptions& m = options.positions;
  if (!m.history.path.empty()) {
    const std::string prices =
        "the " + PriceHistoryKind(m.history) + " " + FileName(m.history.path);
    const std::string what = m.dealsPath.empty()
                                 ? "a " + m.strategy.name + " strategy on " + prices
                                 : "the deal list " + FileName(m.dealsPath) + " over " + prices;
    return what + " (" + std::to_string(ticks) + " ticks" + more;
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
