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

constexpr const char* kPrefix = "random-";

struct RandomOptions {
  double chancePerTick;
  double lots;
  double stopPoints;
  double takeProfitPoints;
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
         tools::Number(r.stopPoints) + " take-profit " + tools::Number(r.takeProfitPoints) + " most " +
         std::to_string(r.maxOpen);
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
  explicit RandomEntries(const StrategyOptions& options)
      : options_(options),
        rule_(ReadRandom(OwnOptions(options.values, kPrefix))),
        prng_(SeedPrng(options.seed ^ kEntryStream)) {}

  void OnTick(TradingAccount& account) override {
    // Drawn first and every tick, so the draws never depend on what the account holds.
    const double chance = NextUniform(prng_);
    const double coin = NextUniform(prng_);
    for (std::size_t i = account.positions.size(); i-- > 0;) {
      if (ExitReached(account.positions[i], account.quote, rule_.stopPoints, rule_.takeProfitPoints,
                      options_.point) != Exit::None) {
        ClosePosition(account, i);
      }
    }
    if (account.quote.time < resumeAt_ || chance >= rule_.chancePerTick ||
        account.positions.size() >= static_cast<std::size_t>(rule_.maxOpen)) {
      return;
    }
    // An entry the free margin cannot hold is missed, as a refused market order is.
    OpenPosition(account, coin < 0.5 ? Side::Buy : Side::Sell, BrokerLots(rule_.lots));
  }

  void OnGuardClose(std::int64_t time) override { resumeAt_ = ResumeAfterGuard(time, options_.reentryDelay); }

  std::string Format(std::string_view prefix) const override {
    std::string out;
    PutPrng(out, Key(prefix, "entries"), prng_);
    PutField(out, Key(prefix, "resumeAt"), resumeAt_);
    return out;
  }

  bool Parse(std::string_view text, std::string_view prefix) override {
    Prng prng{};
    std::int64_t resumeAt = 0;
    if (!TakePrng(text, Key(prefix, "entries"), prng) || !TakeField(text, Key(prefix, "resumeAt"), resumeAt)) {
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

std::unique_ptr<Strategy> MakeRandom(const StrategyOptions& options) {
  return std::make_unique<RandomEntries>(options);
}

}  // namespace
}  // namespace zt::sim::strategies

namespace zt::sim {

StrategyRow RandomRow() {
  using namespace strategies;
  return {"random",
          kPrefix,
          "seeded entries",
          "Random entries (--strategy random)",
          {NumberOption("chance", 0.002, 0.0, 1.0,
                        "Chance per tick of a new position, buy or sell at even odds (drawn from --seed)"),
           NumberOption("lots", 0.05, 0.01, 1e4, "Lots of each position"),
           NumberOption("stop", 200.0, 1.0, 1e9, "Points against a position at which it closes"),
           NumberOption("take-profit", 200.0, 1.0, 1e9, "Points in a position's favour at which it closes"),
           WholeOption("max-open", 5, 1, 1000, "Most positions open at once")},
          MakeRandom,
          RandomIdentity};
}

}  // namespace zt::sim
