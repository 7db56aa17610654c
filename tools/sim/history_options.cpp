#include "history_options.h"

#include <filesystem>
#include <ostream>

#include "price_history.h"
#include "sim_options.h"
#include "text_helpers.h"

namespace zt::sim {

int WriteBars(const SimOptions& options, std::ostream& out, std::ostream& err) {
  try {
    const PositionMarketOptions market = PositionMarketFor(options);
    tools::WriteWholeFile(options.writeBarsPath, [&](std::ostream& file) {
      WriteModelBars(market.prices, options.ticks, options.barMinutes, file);
    });
  } catch (const std::exception& error) {
    err << "zt-sim: " << error.what() << "\n";
    return 1;
  }
  out << "bars of " << options.barMinutes << " minutes from " << options.ticks << " ticks of the price model (seed "
      << options.model.seed << ") written to " << options.writeBarsPath << "\n";
  return 0;
}

std::string HistoryDescription(const SimOptions& options) {
  const PositionMarketOptions& m = options.positions;
  if (m.history.path.empty()) return {};
  const auto name = [](const std::string& path) { return std::filesystem::path(path).filename().string(); };
  std::string text = "price history " + name(m.history.path);
  if (!m.dealsPath.empty()) text = "deal history " + name(m.dealsPath) + " over the " + text;
  return text;
}

}  // namespace zt::sim
