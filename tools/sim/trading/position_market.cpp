#include "trading/position_market.h"

#include <algorithm>

#include "trading/deal_check.h"

namespace zt::sim {
namespace {

constexpr std::string_view kGuarded = "g.";
constexpr std::string_view kUnguarded = "u.";

// A history's spreads are in the symbol's points; a deal history's profits hold the commission
// and swap the trades paid, so its account adds none. The strategy counts its steps in the
// symbol's points and draws from the run's seed.
PositionMarketOptions Settled(const MarketStart& start, PositionMarketOptions options) {
  options.strategy.point = options.prices.point;
  options.strategy.seed = start.seed;
  options.history.point = options.prices.point;
  options.history.spreadPoints = options.prices.spreadPoints;
  options.history.walk.seed = start.seed;
  if (!options.dealsPath.empty()) {
    options.terms.commissionPerLot = options.terms.swapLongPerLot = options.terms.swapShortPerLot =
        0.0;
  }
  return options;
}

// The deal list, held to the prices it replays over before any of it is booked.
std::shared_ptr<const DealHistory> DealsOf(const PositionMarketOptions& options) {
  if (options.dealsPath.empty()) return nullptr;
  auto deals = std::make_shared<const DealHistory>(
      ReadDealHistory(options.dealsPath, options.history.decimal, options.history.serverOffset));
  CheckDealsAgainstPrices(*deals, options.history,
                          DealTerms{options.symbol, options.dealTolerancePoints});
  return deals;
}

}  // namespace

PositionMarket::PositionMarket(const MarketStart& start, const PositionMarketOptions& options)
    : start_(start),
      options_(Settled(start, options)),
      prices_(MakePriceSource(start_, options_.prices, options_.history)),
      deals_(DealsOf(options_)),
      guarded_{NewTradingAccount(options_.terms, start.balance, prices_->quote()), NewStrategy()},
      unguarded_{NewTradingAccount(options_.terms, start.balance, prices_->quote()),
                 NewStrategy()} {
  guarded_.strategy->OnTick(guarded_.account);
  unguarded_.strategy->OnTick(unguarded_.account);
}

std::unique_ptr<Strategy> PositionMarket::NewStrategy() const {
  return deals_ ? MakeDealReplay(deals_) : MakeStrategy(options_.strategy);
}

AccountFigures PositionMarket::Figures() const { return zt::sim::Figures(guarded_.account); }

// The broker books the tick (swaps, stop-out), then the strategy trades on it.
void PositionMarket::Step(Trader& trader, const Quote& quote) {
  MoveAccount(trader.account, quote);
  trader.strategy->OnTick(trader.account);
}

AccountFigures PositionMarket::NextTick() {
  if (options_.history.walk.path == BarPath::Worst) {
    double netLots = 0.0;
    for (const Position& position : guarded_.account.positions)
      netLots += position.side == Side::Buy ? position.lots : -position.lots;
    prices_->SetNetLots(netLots);
  }
  if (!prices_->Next()) ended_ = true;  // at a history's end the last quote stays
  const Quote& quote = prices_->quote();
  Step(guarded_, quote);
  Step(unguarded_, quote);
  return Figures();
}

CloseOutcome PositionMarket::CloseAll() {
  // As the account model's: numbers of their own for the duration, so closes never touch the
  // prices' generator and every ladder on a seed meets the same market.
  constexpr std::uint64_t kCloseStream = 0xD1B54A32D192ED03ULL;
  Prng closing = SeedPrng(start_.seed ^ kCloseStream ^
                          (static_cast<std::uint64_t>(prices_->tick()) * 0x9E3779B97F4A7C15ULL));
  const int closed = CloseAllPositions(guarded_.account);
  const int durationMs = CloseDurationMs(closing, std::max(closed, 1));
  guarded_.strategy->OnGuardClose(prices_->quote().time);
  return CloseOutcome{guarded_.account.balance, durationMs};
}

double PositionMarket::UnguardedEquity() const { return Equity(unguarded_.account); }

std::string PositionMarket::Format() const {
  std::string out = prices_->Format();
  out += FormatTradingAccount(guarded_.account, kGuarded);
  out += guarded_.strategy->Format(kGuarded);
  out += FormatTradingAccount(unguarded_.account, kUnguarded);
  out += unguarded_.strategy->Format(kUnguarded);
  return out;
}

bool PositionMarket::Parse(std::string_view text) {
  std::unique_ptr<PriceSource> prices = MakePriceSource(start_, options_.prices, options_.history);
  TradingAccount guarded = guarded_.account, unguarded = unguarded_.account;
  std::unique_ptr<Strategy> guardedStrategy = NewStrategy();
  std::unique_ptr<Strategy> unguardedStrategy = NewStrategy();
  if (!prices->Parse(text) || !ParseTradingAccount(text, kGuarded, guarded) ||
      !ParseTradingAccount(text, kUnguarded, unguarded) ||
      !guardedStrategy->Parse(text, kGuarded) || !unguardedStrategy->Parse(text, kUnguarded)) {
    return false;
  }
  guarded.quote = unguarded.quote = prices->quote();
  prices_ = std::move(prices);
  guarded_ = Trader{guarded, std::move(guardedStrategy)};
  unguarded_ = Trader{unguarded, std::move(unguardedStrategy)};
  return true;
}

}  // namespace zt::sim
