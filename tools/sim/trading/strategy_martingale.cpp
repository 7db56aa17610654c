// The martingale (MartingaleOptions in strategies.h says its rule).
#include <algorithm>

#include "market/state_text.h"
#include "trading/strategy_basics.h"

namespace zt::sim::strategies {
namespace {

// Its one position is the account's only one. What it remembers: the side and lots of the next
// (or the open) trade, the losses in a row behind those lots, whether it holds a position (so that
// one the broker stopped out is known for a loss) and when it may trade after a guard's close-all.
class Martingale final : public Strategy {
 public:
  explicit Martingale(const StrategyOptions& options) : options_(options), rule_(options.martingale) {
    StartAgain();
  }

  void OnTick(TradingAccount& account) override {
    if (held_.StoppedOut(account)) Lost();
    if (held_.holding) {
      const Exit exit = ExitReached(account.positions.front(), account.quote, rule_.stopPoints,
                                    rule_.takeProfitPoints, options_.point);
      if (exit == Exit::None) return;
      ClosePosition(account, 0);
      held_.holding = false;
      if (exit == Exit::Stop) Lost();
      else Won();
    }
    if (account.quote.time < held_.resumeAt) return;
    // A lot the free margin cannot hold ends the series: it starts over from the base lot, and
    // when even that is refused it tries again on the next tick.
    if (!OpenPosition(account, side_, lots_)) {
      lots_ = BrokerLots(rule_.baseLots);
      losses_ = 0;
      if (!OpenPosition(account, side_, lots_)) return;
    }
    held_.holding = true;
  }

  void OnGuardClose(std::int64_t time) override {
    StartAgain();
    held_.GuardClosed(time, options_.reentryDelay);
  }

  std::string Format(std::string_view prefix) const override {
    return FormatHolding(prefix, held_, Field("side", side_), Field("lots", lots_), Field("losses", losses_));
  }

  bool Parse(std::string_view text, std::string_view prefix) override {
    Martingale read(*this);
    if (!ParseHolding(text, prefix, read.held_, Field("side", read.side_), Field("lots", read.lots_),
                      Field("losses", read.losses_))) {
      return false;
    }
    *this = read;
    return true;
  }

 private:
  // The base state: a buy of the base lot next, nothing held.
  void StartAgain() {
    side_ = Side::Buy;
    lots_ = BrokerLots(rule_.baseLots);
    losses_ = 0;
    held_.holding = false;
  }

  // The next trade goes the other way (the way this one would have won), multiplied, until the
  // doublings run out and the series starts over.
  void Lost() {
    side_ = Opposite(side_);
    if (losses_ < rule_.maxDoublings) {
      ++losses_;
      lots_ = std::min(BrokerLots(lots_ * rule_.lotMultiplier), BrokerLots(rule_.maxLots));
    } else {
      losses_ = 0;
      lots_ = BrokerLots(rule_.baseLots);
    }
  }

  void Won() {
    if (rule_.direction == MartingaleDirection::Alternate) side_ = Opposite(side_);
    losses_ = 0;
    lots_ = BrokerLots(rule_.baseLots);
  }

  StrategyOptions options_;
  MartingaleOptions rule_;
  Side side_ = Side::Buy;
  double lots_ = 0.0;
  int losses_ = 0;         // losses in a row behind lots_
  SinglePosition held_;
};

}  // namespace

std::unique_ptr<Strategy> MakeMartingale(const StrategyOptions& options) {
  return std::make_unique<Martingale>(options);
}

}  // namespace zt::sim::strategies
