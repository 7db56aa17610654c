// The grid: a base position in each direction it trades; whenever the price moves --grid-step
// points against the newest position of a direction it adds another, --grid-multiplier times as
// large, up to --grid-levels positions a direction. Its take profit is on the basket: when the
// price comes back --grid-take-profit points past the lot-weighted average open price of a
// direction, that direction's positions all close and it starts again from one base position at
// once.
#include <algorithm>

#include "market/state_text.h"
#include "number_text.h"
#include "trading/strategy_basics.h"

namespace zt::sim::strategies {
namespace {

enum class GridDirections { Both, Buys, Sells };  // "both", "buy", "sell"

struct GridOptions {
  double stepPoints, baseLots, lotMultiplier, takeProfitPoints;
  int maxLevels;
  GridDirections directions;
};

GridOptions ReadGrid(const OwnOptions& o) {
  const std::string& word = o.Word("directions");
  const GridDirections directions = word == "buy"    ? GridDirections::Buys
                                    : word == "sell" ? GridDirections::Sells
                                                     : GridDirections::Both;
  return {o.Number("step"),
          o.Number("lots"),
          o.Number("multiplier"),
          o.Number("take-profit"),
          static_cast<int>(o.Whole("levels")),
          directions};
}

// "step 200 lots 0.01 x1.5 levels 8 directions 0 take-profit 100", the directions by their place.
std::string GridIdentity(const OwnOptions& o) {
  const GridOptions g = ReadGrid(o);
  return " step " + tools::Number(g.stepPoints) + " lots " + tools::Number(g.baseLots) + " x" +
         tools::Number(g.lotMultiplier) + " levels " + std::to_string(g.maxLevels) +
         " directions " + std::to_string(static_cast<int>(g.directions)) + " take-profit " +
         tools::Number(g.takeProfitPoints);
}

// The grid keeps its levels in the account: a direction's positions are its levels, the newest
// the last opened. Its own state is only when it may trade again after a guard's close-all, so a
// broker's stop-out or the guard's close leaves nothing to reconcile. An open the broker refuses
// is simply not there: the next tick tries again while the price still calls for it.
class Grid final : public Strategy {
 public:
  Grid(const StrategyOptions& options, const OwnOptions& own)
      : options_(options), grid_(ReadGrid(own)) {}

  void OnTick(TradingAccount& account) override {
    if (account.quote.time < resumeAt_) return;
    if (grid_.directions != GridDirections::Sells) Trade(account, Side::Buy);
    if (grid_.directions != GridDirections::Buys) Trade(account, Side::Sell);
  }

  void OnGuardClose(std::int64_t time) override {
    resumeAt_ = ResumeAfterGuard(time, options_.reentryDelay);
  }

  std::string Format(std::string_view prefix) const override {
    std::string out;
    PutField(out, NameField(prefix, "resumeAt"), resumeAt_);
    return out;
  }

  bool Parse(std::string_view text, std::string_view prefix) override {
    return TakeField(text, NameField(prefix, "resumeAt"), resumeAt_);
  }

 private:
  // One direction's tick: the basket's take profit, else a new level when the price has moved a
  // step against the newest, else the base position when the direction holds none.
  void Trade(TradingAccount& account, Side side) {
    double lots = 0.0, weighted = 0.0;
    const Position* newest = nullptr;
    for (const Position& position : account.positions) {
      if (position.side != side) continue;
      lots += position.lots;
      weighted += position.lots * position.openPrice;
      newest = &position;
    }
    const Quote& quote = account.quote;
    const double step = grid_.stepPoints * options_.point;
    if (newest == nullptr) {
      OpenPosition(account, side, RoundToLots(grid_.baseLots));
      return;
    }
    const double average = weighted / lots;
    const double target = grid_.takeProfitPoints * options_.point;
    const bool basketDone =
        side == Side::Buy ? quote.bid >= average + target : quote.ask <= average - target;
    if (basketDone) {
      CloseSide(account, side);
      OpenPosition(account, side, RoundToLots(grid_.baseLots));
      return;
    }
    const int levels =
        static_cast<int>(std::count_if(account.positions.begin(), account.positions.end(),
                                       [side](const Position& p) { return p.side == side; }));
    const bool against = side == Side::Buy ? quote.ask <= newest->openPrice - step
                                           : quote.bid >= newest->openPrice + step;
    if (against && levels < grid_.maxLevels) {
      OpenPosition(account, side, RoundToLots(newest->lots * grid_.lotMultiplier));
    }
  }

  static void CloseSide(TradingAccount& account, Side side) {
    for (std::size_t i = account.positions.size(); i-- > 0;) {
      if (account.positions[i].side == side) ClosePosition(account, i);
    }
  }

  StrategyOptions options_;
  GridOptions grid_;
  std::int64_t resumeAt_ = 0;  // no trading before this time
};

}  // namespace

extern const StrategyBehaviour kGridBehaviour = {MakeOne<Grid>, GridIdentity, nullptr};

}  // namespace zt::sim::strategies
