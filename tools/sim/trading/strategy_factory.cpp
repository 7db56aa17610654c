// MakeStrategy: the kind --strategy names, made by the maker in that kind's own file. The kinds'
// files are built from what they share (strategy_basics.h) and the common part of every strategy
// (strategies.h), which so need to know none of the kinds.
#include "trading/strategies.h"
#include "trading/strategy_basics.h"

namespace zt::sim {

std::unique_ptr<Strategy> MakeStrategy(const StrategyOptions& options) {
  switch (options.kind) {
    case StrategyKind::Martingale:
      return strategies::MakeMartingale(options);
    case StrategyKind::Trend:
      return strategies::MakeTrend(options);
    case StrategyKind::Random:
      return strategies::MakeRandom(options);
    case StrategyKind::Grid:
      break;
  }
  return strategies::MakeGrid(options);
}

}  // namespace zt::sim
