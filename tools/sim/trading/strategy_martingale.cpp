// The martingale: one position at a time, opened at once when none is open (the first a buy),
// with its own stop and take profit in points from its open price. After a losing trade the next
// is --martingale-multiplier times as large (never above --martingale-max-lots), at most
// --martingale-doublings times in a row; after a win, or a loss past those doublings, it goes back
// to --martingale-lots. A broker's stop-out is a loss. Which way the next trade goes: follow,
// after a win the same way again and after a loss the other way, so it always trades the way the
// last trade would have won; alternate, buy, sell, buy, whatever happened.
#include <algorithm>

#include "market/state_text.h"
#include "number_text.h"
#include "trading/strategy_basics.h"

namespace zt::sim::strategies {
namespace {

struct MartingaleOptions {
  double stopPoints, takeProfitPoints, baseLots, lotMultiplier, maxLots;
  int maxDoublings;
  bool alternate;  // buy, sell, buy; else follow the way the last trade would have won
};

MartingaleOptions ReadMartingale(const OwnOptions& o) {
  return {o.Number("stop"),
          o.Number("take-profit"),
          o.Number("lots"),
          o.Number("multiplier"),
          o.Number("max-lots"),
          static_cast<int>(o.Whole("doublings")),
          o.Word("direction") == "alternate"};
}

// "stop 200 take-profit 200 lots 0.01 x2 most 1 doublings 6 follow".
std::string MartingaleIdentity(const OwnOptions& o) {
  const MartingaleOptions m = ReadMartingale(o);
  return " stop " + tools::Number(m.stopPoints) + " take-profit " +
         tools::Number(m.takeProfitPoints) + " lots " + tools::Number(m.baseLots) + " x" +
         tools::Number(m.lotMultiplier) + " most " + tools::Number(m.maxLots) + " doublings " +
         std::to_string(m.maxDoublings) + (m.alternate ? " alternate" : " follow");
}

// Its one position is the account's only one. What it remembers: the side and lots of the next
// (or the open) trade, the losses in a row behind those lots, whether it holds a position (so that
// one the broker stopped out is known for a loss) and when it may trade after a guard's close-all.
class Martingale final : public Strategy {
 public:
  Martingale(const StrategyOptions& options, const OwnOptions& own)
      : options_(options), rule_(ReadMartingale(own)) {
    StartAgain();
  }

  void OnTick(TradingAccount& account) override {
    if (held_.StoppedOut(account)) Lost();
    if (held_.holding) {
      const Exit exit = CheckExit(account.positions.front(), account.quote, rule_.stopPoints,
                                  rule_.takeProfitPoints, options_.point);
      if (exit == Exit::None) return;
      ClosePosition(account, 0);
      held_.holding = false;
      if (exit == Exit::Stop)
        Lost();
      else
        Won();
    }
    if (account.quote.time < held_.resumeAt) return;
    // A lot the free margin cannot hold ends the series: it starts over from the base lot, and
    // when even that is refused it tries again on the next tick.
    if (!OpenPosition(account, side_, lots_)) {
      lots_ = RoundToLots(rule_.baseLots);
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
    return FormatHolding(prefix, held_, Field("side", side_), Field("lots", lots_),
                         Field("losses", losses_));
  }

  bool Parse(std::string_view text, std::string_view prefix) override {
    Martingale read(*this);
    if (!ParseHolding(text, prefix, read.held_, Field("side", read.side_),
                      Field("lots", read.lots_), Field("losses", read.losses_))) {
      return false;
    }
    *this = read;
    return true;
  }

 private:
  // The base state: a buy of the base lot next, nothing held.
  void StartAgain() {
    side_ = Side::Buy;
    lots_ = RoundToLots(rule_.baseLots);
    losses_ = 0;
    held_.holding = false;
  }

  // The next trade goes the other way (the way this one would have won), multiplied, until the
  // doublings run out and the series starts over.
  void Lost() {
    side_ = Opposite(side_);
    if (losses_ < rule_.maxDoublings) {
      ++losses_;
      lots_ = std::min(RoundToLots(lots_ * rule_.lotMultiplier), RoundToLots(rule_.maxLots));
    } else {
      losses_ = 0;
      lots_ = RoundToLots(rule_.baseLots);
    }
  }

  void Won() {
    if (rule_.alternate) side_ = Opposite(side_);
    losses_ = 0;
    lots_ = RoundToLots(rule_.baseLots);
  }

  StrategyOptions options_;
  MartingaleOptions rule_;
  Side side_ = Side::Buy;
  double lots_ = 0.0;
  int losses_ = 0;  // losses in a row behind lots_
  SinglePosition held_;
};

}  // namespace

extern const StrategyBehaviour kMartingaleBehaviour = {MakeOne<Martingale>, MartingaleIdentity,
                                                       nullptr};

}  // namespace zt::sim::strategies
