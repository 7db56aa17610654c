// Random entries: each tick, with the chance --random-chance, a position of random direction (even
// odds) with its own stop and take profit in points, while fewer than --random-max-open are open.
// The draws come from the run's seed on a stream of their own, so every strategy meets the same
// prices; two are drawn every tick whatever happens, so the account without the guard draws the
// same entries.
#include "market/state_text.h"
#include "number_text.h"
#include "trading/strategy_basics.h"

namespace zt::sim::strategies {
namespace {

struct RandomOptions {
  double chancePerTick, lots, stopPoints, takeProfitPoints;
  int maxOpen;
};

RandomOptions ReadRandom(const OwnOptions& o) {
  return {o.Number("chance"), o.Number("lots"), o.Number("stop"), o.Number("take-profit"),
          static_cast<int>(o.Whole("max-open"))};
}

// "chance 0.002 lots 0.05 stop 200 take-profit 200 most 5".
std::string RandomIdentity(const OwnOptions& o) {
  const RandomOptions r = ReadRandom(o);
  return " chance " + tools::Number(r.chancePerTick) + " lots " + tools::Number(r.lots) + " stop " +
         tools::Number(r.stopPoints) + " take-profit " + tools::Number(r.takeProfitPoints) +
         " most " + std::to_string(r.maxOpen);
}

// A stream of its own: the prices' generator is seeded from the seed itself, and the close
// durations from the seed and the tick under another constant.
constexpr std::uint64_t kEntryStream = 0x6A09E667F3BCC909ULL;

// What it remembers: where its generator stands and when it may trade after a guard's close-all.
// The open positions are the account's. Its base state is no position: the guard's close gives
// it that, and the draws go on, so it keeps drawing the entries the account without the guard
// draws.
class RandomEntries final : public Strategy {
 public:
  RandomEntries(const StrategyOptions& options, const OwnOptions& own)
      : options_(options), rule_(ReadRandom(own)), prng_(SeedPrng(options.seed ^ kEntryStream)) {}

  void OnTick(TradingAccount& account) override {
    // Drawn first and every tick, so the draws never depend on what the account holds.
    const double chance = NextUniform(prng_);
    const double coin = NextUniform(prng_);
    for (std::size_t i = account.positions.size(); i-- > 0;) {
      if (CheckExit(account.positions[i], account.quote, rule_.stopPoints, rule_.takeProfitPoints,
                    options_.point) != Exit::None) {
        ClosePosition(account, i);
      }
    }
    if (account.quote.time < resumeAt_ || chance >= rule_.chancePerTick ||
        account.positions.size() >= static_cast<std::size_t>(rule_.maxOpen)) {
      return;
    }
    // An entry the free margin cannot hold is missed, as a refused market order is.
    OpenPosition(account, coin < 0.5 ? Side::Buy : Side::Sell, RoundToLots(rule_.lots));
  }

  void OnGuardClose(std::int64_t time) override {
    resumeAt_ = ResumeAfterGuard(time, options_.reentryDelay);
  }

  std::string Format(std::string_view prefix) const override {
    std::string out;
    PutPrng(out, NameField(prefix, "entries"), prng_);
    PutField(out, NameField(prefix, "resumeAt"), resumeAt_);
    return out;
  }

  bool Parse(std::string_view text, std::string_view prefix) override {
    Prng prng{};
    std::int64_t resumeAt = 0;
    if (!TakePrng(text, NameField(prefix, "entries"), prng) ||
        !TakeField(text, NameField(prefix, "resumeAt"), resumeAt)) {
      return false;
    }
    prng_ = prng;
    resumeAt_ = resumeAt;
    return true;
  }

 private:
  StrategyOptions options_;
  RandomOptions rule_;
  Prng prng_;
  std::int64_t resumeAt_ = 0;
};

}  // namespace

extern const StrategyBehaviour kRandomBehaviour = {MakeOne<RandomEntries>, RandomIdentity, nullptr};

}  // namespace zt::sim::strategies
