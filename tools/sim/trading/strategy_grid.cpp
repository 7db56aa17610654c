// The grid (GridOptions in strategies.h says its rule).
#include <algorithm>

#include "market/state_text.h"
#include "trading/strategy_basics.h"

namespace zt::sim::strategies {
namespace {

// The grid keeps its levels in the account: a direction's positions are its levels, the newest
// the last opened. Its own state is only when it may trade again after a guard's close-all, so a
// broker's stop-out or the guard's close leaves nothing to reconcile. An open the broker refuses
// is simply not there: the next tick tries again while the price still calls for it.
class Grid final : public Strategy {
 public:
  explicit Grid(const StrategyOptions& options) : options_(options), grid_(options.grid) {}

  void OnTick(TradingAccount& account) override {
    if (account.quote.time < resumeAt_) return;
    if (grid_.directions != GridDirections::Sells) Trade(account, Side::Buy);
    if (grid_.directions != GridDirections::Buys) Trade(account, Side::Sell);
  }

  void OnGuardClose(std::int64_t time) override { resumeAt_ = ResumeAfterGuard(time, options_.reentryDelay); }

  std::string Format(std::string_view prefix) const override {
    std::string out;
    PutField(out, Key(prefix, "resumeAt"), resumeAt_);
    return out;
  }

  bool Parse(std::string_view text, std::string_view prefix) override {
    return TakeField(text, Key(prefix, "resumeAt"), resumeAt_);
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
      OpenPosition(account, side, BrokerLots(grid_.baseLots));
      return;
    }
    const double average = weighted / lots;
    const double target = grid_.takeProfitPoints * options_.point;
    const bool basketDone = side == Side::Buy ? quote.bid >= average + target : quote.ask <= average - target;
    if (basketDone) {
      CloseSide(account, side);
      OpenPosition(account, side, BrokerLots(grid_.baseLots));
      return;
    }
    const int levels = static_cast<int>(std::count_if(account.positions.begin(), account.positions.end(),
                                                      [side](const Position& p) { return p.side == side; }));
    const bool against = side == Side::Buy ? quote.ask <= newest->openPrice - step : quote.bid >= newest->openPrice + step;
    if (against && levels < grid_.maxLevels) {
      OpenPosition(account, side, BrokerLots(newest->lots * grid_.lotMultiplier));
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

std::unique_ptr<Strategy> MakeGrid(const StrategyOptions& options) { return std::make_unique<Grid>(options); }

}  // namespace zt::sim::strategies
