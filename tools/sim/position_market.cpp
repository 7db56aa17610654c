#include "position_market.h"

#include <algorithm>

namespace zt::sim {
namespace {

constexpr std::string_view kGuarded = "g.";
constexpr std::string_view kUnguarded = "u.";

}  // namespace

PositionMarket::PositionMarket(const PositionMarketOptions& options)
    : options_(options),
      prices_(NewPriceModel(options.prices)),
      guarded_{NewTradingAccount(options.terms, options.balance, prices_.quote), MakeStrategy(options.strategy)},
      unguarded_{NewTradingAccount(options.terms, options.balance, prices_.quote), MakeStrategy(options.strategy)} {
  guarded_.strategy->OnTick(guarded_.account);
  unguarded_.strategy->OnTick(unguarded_.account);
}

AccountFigures PositionMarket::Figures() const { return zt::sim::Figures(guarded_.account); }

// The broker books the tick (swaps, stop-out), then the strategy trades on it.
void PositionMarket::Step(Trader& trader, const Quote& quote) {
  MoveAccount(trader.account, quote);
  trader.strategy->OnTick(trader.account);
}

AccountFigures PositionMarket::NextTick() {
  const Quote& quote = NextQuote(prices_);
  Step(guarded_, quote);
  Step(unguarded_, quote);
  return Figures();
}

CloseOutcome PositionMarket::CloseAll() {
  // As the account model's: numbers of their own for the duration, so closes never touch the
  // prices' generator and every ladder on a seed meets the same market.
  constexpr std::uint64_t kCloseStream = 0xD1B54A32D192ED03ULL;
  Prng closing = SeedPrng(options_.prices.seed ^ kCloseStream ^
                          (static_cast<std::uint64_t>(prices_.tick) * 0x9E3779B97F4A7C15ULL));
  const int closed = CloseAllPositions(guarded_.account);
  const int durationMs = CloseDurationMs(closing, std::max(closed, 1));
  guarded_.strategy->OnGuardClose(prices_.quote.time);
  return CloseOutcome{guarded_.account.balance, durationMs};
}

double PositionMarket::UnguardedEquity() const { return Equity(unguarded_.account); }

std::string PositionMarket::Format() const {
  std::string out = FormatPriceState(prices_);
  out += FormatTradingAccount(guarded_.account, kGuarded);
  out += guarded_.strategy->Format(kGuarded);
  out += FormatTradingAccount(unguarded_.account, kUnguarded);
  out += unguarded_.strategy->Format(kUnguarded);
  return out;
}

bool PositionMarket::Parse(std::string_view text) {
  PriceModel prices = prices_;
  TradingAccount guarded = guarded_.account, unguarded = unguarded_.account;
  std::unique_ptr<Strategy> guardedStrategy = MakeStrategy(options_.strategy);
  std::unique_ptr<Strategy> unguardedStrategy = MakeStrategy(options_.strategy);
  if (!ParsePriceState(text, prices) || !ParseTradingAccount(text, kGuarded, guarded) ||
      !ParseTradingAccount(text, kUnguarded, unguarded) || !guardedStrategy->Parse(text, kGuarded) ||
      !unguardedStrategy->Parse(text, kUnguarded)) {
    return false;
  }
  guarded.quote = unguarded.quote = prices.quote;
  prices_ = prices;
  guarded_ = Trader{guarded, std::move(guardedStrategy)};
  unguarded_ = Trader{unguarded, std::move(unguardedStrategy)};
  return true;
}

}  // namespace zt::sim
