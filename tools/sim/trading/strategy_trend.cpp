// The trend follower, on bars of --trend-bar-minutes built from the ticks (a bar's close is the
// last mid price quoted in it): when the average of the last --trend-fast closes crosses the
// average of the last --trend-slow, it closes what it holds the other way and opens --trend-lots
// in the direction of the cross. A position that loses --trend-stop points closes, and the
// follower stays out until the next cross.
#include <algorithm>
#include <vector>

#include "market/state_text.h"
#include "number_text.h"
#include "trading/strategy_basics.h"

namespace zt::sim::strategies {
namespace {

struct TrendOptions {
  int barMinutes, fastBars, slowBars;
  double lots, stopPoints;
};

TrendOptions ReadTrend(const OwnOptions& o) {
  return {static_cast<int>(o.Whole("bar-minutes")), static_cast<int>(o.Whole("fast")),
          static_cast<int>(o.Whole("slow")), o.Number("lots"), o.Number("stop")};
}

// "bars 15m 10/40 lots 0.1 stop 300".
std::string TrendIdentity(const OwnOptions& o) {
  const TrendOptions t = ReadTrend(o);
  return " bars " + std::to_string(t.barMinutes) + "m " + std::to_string(t.fastBars) + "/" +
         std::to_string(t.slowBars) + " lots " + tools::Number(t.lots) + " stop " +
         tools::Number(t.stopPoints);
}

// The slow average must reach back further than the fast one, or no cross can happen.
std::string TrendMistake(const OwnOptions& o) {
  const std::int64_t fast = o.Whole("fast"), slow = o.Whole("slow");
  if (slow > fast) return {};
  return "--trend-slow (" + std::to_string(slow) + ") must be more bars than --trend-fast (" +
         std::to_string(fast) + ")";
}

// What it remembers: the last slowBars bar closes and the bar in hand (the chart a restarted
// expert advisor would find), the trend the averages last showed, the side it means to hold (none
// after its stop, until the next cross), whether it holds it, and when it may trade after a
// guard's close-all. After that close it goes back into the standing trend once the delay is over.
class Trend final : public Strategy {
 public:
  Trend(const StrategyOptions& options, const OwnOptions& own)
      : options_(options), rule_(ReadTrend(own)) {}

  void OnTick(TradingAccount& account) override {
    const Quote& quote = account.quote;
    const std::int64_t bar = quote.time / (60 * static_cast<std::int64_t>(rule_.barMinutes));
    const bool crossed = bar_ >= 0 && bar != bar_ && CloseBar();
    bar_ = bar;
    barClose_ = (quote.bid + quote.ask) / 2.0;
    if (held_.StoppedOut(account)) want_ = 0;  // out until a cross
    if (crossed) {
      want_ = trend_;
      CloseAll(account);
    }
    if (held_.holding && CheckExit(account.positions.front(), quote, rule_.stopPoints, 0.0,
                                   options_.point) == Exit::Stop) {
      CloseAll(account);
      want_ = 0;
    }
    if (quote.time < held_.resumeAt || want_ == 0 || held_.holding) return;
    // A refused open is tried again on the next tick while the trend stands.
    held_.holding =
        OpenPosition(account, want_ > 0 ? Side::Buy : Side::Sell, RoundToLots(rule_.lots));
  }

  void OnGuardClose(std::int64_t time) override {
    want_ = trend_;
    held_.GuardClosed(time, options_.reentryDelay);
  }

  std::string Format(std::string_view prefix) const override {
    return FormatHolding(prefix, held_, Field("closes", closes_), Field("bar", bar_),
                         Field("barClose", barClose_), Field("trend", trend_),
                         Field("want", want_));
  }

  bool Parse(std::string_view text, std::string_view prefix) override {
    Trend read(*this);
    if (!ParseHolding(text, prefix, read.held_, Field("closes", read.closes_),
                      Field("bar", read.bar_), Field("barClose", read.barClose_),
                      Field("trend", read.trend_), Field("want", read.want_)) ||
        read.closes_.size() > static_cast<std::size_t>(rule_.slowBars)) {
      return false;
    }
    *this = read;
    return true;
  }

 private:
  // The bar in hand is over: its close joins the averages. True when the fast average has
  // crossed the slow one (the first trend they show is no cross: it was there before).
  bool CloseBar() {
    closes_.push_back(barClose_);
    const std::size_t slow = static_cast<std::size_t>(rule_.slowBars);
    const std::size_t fast = static_cast<std::size_t>(rule_.fastBars);
    if (closes_.size() > slow) closes_.erase(closes_.begin());
    if (closes_.size() < slow) return false;
    double fastSum = 0.0, slowSum = 0.0;
    for (std::size_t i = 0; i < slow; ++i) {
      slowSum += closes_[i];
      if (i >= slow - fast) fastSum += closes_[i];
    }
    const double gap = fastSum / static_cast<double>(fast) - slowSum / static_cast<double>(slow);
    const int sign = gap > 0.0 ? 1 : gap < 0.0 ? -1 : 0;
    if (sign == 0 || sign == trend_) return false;
    const bool crossed = trend_ != 0;
    trend_ = sign;
    return crossed;
  }

  void CloseAll(TradingAccount& account) {
    CloseAllPositions(account);
    held_.holding = false;
  }

  StrategyOptions options_;
  TrendOptions rule_;
  std::vector<double> closes_;  // the last slowBars bar closes, oldest first
  std::int64_t bar_ = -1;       // the bar in hand (time / bar length); -1 before the first tick
  double barClose_ = 0.0;       // the last mid price quoted in it
  int trend_ = 0;               // 1: the fast average above the slow, -1 below, 0 not known yet
  int want_ = 0;                // the side it means to hold: 1 buy, -1 sell, 0 none
  SinglePosition held_;
};

}  // namespace

extern const StrategyBehaviour kTrendBehaviour = {MakeOne<Trend>, TrendIdentity, TrendMistake};

}  // namespace zt::sim::strategies
