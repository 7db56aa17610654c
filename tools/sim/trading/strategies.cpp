#include "trading/strategies.h"

#include <algorithm>
#include <cmath>

#include "text_helpers.h"
#include "number_text.h"

namespace zt::sim {

double BrokerLots(double lots) {
  constexpr double kLotStep = 0.01;
  return std::max(1.0, std::round(lots / kLotStep)) * kLotStep;
}

std::string_view StrategyName(StrategyKind kind) {
  switch (kind) {
    case StrategyKind::Martingale:
      return "martingale";
    case StrategyKind::Trend:
      return "trend";
    case StrategyKind::Random:
      return "random";
    case StrategyKind::Grid:
      break;
  }
  return "grid";
}

std::string StrategyIdentity(const StrategyOptions& o) {
  using tools::Number;
  std::string text(StrategyName(o.kind));
  switch (o.kind) {
    case StrategyKind::Grid: {
      const GridOptions& g = o.grid;
      text += " step " + Number(g.stepPoints) + " lots " + Number(g.baseLots) + " x" + Number(g.lotMultiplier) +
              " levels " + std::to_string(g.maxLevels) + " directions " +
              std::to_string(static_cast<int>(g.directions)) + " take-profit " + Number(g.takeProfitPoints);
      break;
    }
    case StrategyKind::Martingale: {
      const MartingaleOptions& m = o.martingale;
      text += " stop " + Number(m.stopPoints) + " take-profit " + Number(m.takeProfitPoints) + " lots " +
              Number(m.baseLots) + " x" + Number(m.lotMultiplier) + " most " + Number(m.maxLots) + " doublings " +
              std::to_string(m.maxDoublings) +
              (m.direction == MartingaleDirection::Follow ? " follow" : " alternate");
      break;
    }
    case StrategyKind::Trend: {
      const TrendOptions& t = o.trend;
      text += " bars " + std::to_string(t.barMinutes) + "m " + std::to_string(t.fastBars) + "/" +
              std::to_string(t.slowBars) + " lots " + Number(t.lots) + " stop " + Number(t.stopPoints);
      break;
    }
    case StrategyKind::Random: {
      const RandomOptions& r = o.random;
      text += " chance " + Number(r.chancePerTick) + " lots " + Number(r.lots) + " stop " + Number(r.stopPoints) +
              " take-profit " + Number(r.takeProfitPoints) + " most " + std::to_string(r.maxOpen);
      break;
    }
  }
  return text + " re-entry " + std::to_string(o.reentryDelay);
}

}  // namespace zt::sim
