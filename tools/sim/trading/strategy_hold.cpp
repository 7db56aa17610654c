// Holding: one position of --hold-lots the way --hold-side says, opened at the first tick and kept;
// after the guard's close-all, or the broker's stop-out, it opens again once the re-entry delay is
// over. The plainest strategy: the guard's ladder on a position that never trades on its own.
#include "market/state_text.h"
#include "number_text.h"
#include "trading/strategy_basics.h"

namespace zt::sim::strategies {
namespace {

constexpr const char* kPrefix = "hold-";

// What it remembers beyond the account: whether it holds its position, and when it may open
// again after the guard's close-all.
class Hold final : public Strategy {
 public:
  explicit Hold(const StrategyOptions& options) : options_(options) {
    const OwnOptions own(options.values, kPrefix);
    lots_ = BrokerLots(own.Number("lots"));
    side_ = own.Word("side") == "sell" ? Side::Sell : Side::Buy;
  }

  void OnTick(TradingAccount& account) override {
    held_.StoppedOut(account);
    if (held_.holding || account.quote.time < held_.resumeAt) return;
    // A position the free margin cannot hold is tried again on the next tick.
    held_.holding = OpenPosition(account, side_, lots_);
  }

  void OnGuardClose(std::int64_t time) override { held_.GuardClosed(time, options_.reentryDelay); }

  std::string Format(std::string_view prefix) const override { return FormatHolding(prefix, held_); }

  bool Parse(std::string_view text, std::string_view prefix) override { return ParseHolding(text, prefix, held_); }

 private:
  StrategyOptions options_;
  double lots_ = 0.0;
  Side side_ = Side::Buy;
  SinglePosition held_;
};

std::unique_ptr<Strategy> MakeHold(const StrategyOptions& options) { return std::make_unique<Hold>(options); }

// "lots 0.1 buy".
std::string HoldIdentity(const OwnOptions& o) { return " lots " + tools::Number(o.Number("lots")) + " " + o.Word("side"); }

}  // namespace
}  // namespace zt::sim::strategies

namespace zt::sim {

StrategyRow HoldRow() {
  using namespace strategies;
  return {"hold",
          kPrefix,
          "one position held until the guard closes it",
          "Holding (--strategy hold)",
          {NumberOption("lots", 0.1, 0.01, 1e4, "Lots of the position"),
           WordOption("side", {"buy", "sell"}, "buy or sell")},
          MakeHold,
          HoldIdentity};
}

}  // namespace zt::sim
