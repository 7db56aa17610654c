// The lab's market of prices and positions: the price model quotes each tick, a strategy trades an
// account on it, and the guard watches that account's figures. A guard's close-all closes the
// account's positions at the tick's prices and the strategy starts again, so the path after it is
// the strategy's, not a copy of the one without the guard. Beside it the same strategy trades a
// twin account on the same prices that no guard ever closes: the account without the guard.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "market/account_model.h"
#include "market/price_model.h"
#include "market/price_source.h"
#include "trading/deal_history.h"
#include "trading/strategies.h"
#include "trading/trading_account.h"

namespace zt::sim {

struct PositionMarketOptions {
  PriceModelOptions prices;
  AccountTerms terms;
  StrategyOptions strategy;
  // A recorded price history in place of the price model (history.path empty: the model); its
  // point and default spread are the prices' own.
  PriceHistoryOptions history;
  // A recorded deal list in place of the strategy (empty: the strategy), replayed over history.
  std::string dealsPath;
  std::string symbol;                // the symbol traded, when known ("USDJPY"): the deals' too
  double dealTolerancePoints = 0.0;  // how far past its bar's prices a deal's price may lie
};

class PositionMarket {
 public:
  // Tick 0: the strategy opens its first positions at the first quote. start gives the prices'
  // seed and clock, the strategies' seed and both accounts' balance.
  PositionMarket(const MarketStart& start, const PositionMarketOptions& options);

  // The guarded account's figures now.
  AccountFigures Figures() const;
  // The market moves a tick; both accounts are booked and traded. Returns the guarded figures.
  AccountFigures NextTick();
  // The guard's close-all: every guarded position closes at the current quote, the strategy
  // starts again. The duration is drawn from the seed and the tick alone, for as many positions.
  CloseOutcome CloseAll();
  double UnguardedEquity() const;
  // The price history has no quote left (the last one stayed for the tick just taken).
  bool Ended() const { return ended_; }

  const PriceSource& prices() const { return *prices_; }
  const TradingAccount& guarded() const { return guarded_.account; }
  const TradingAccount& unguarded() const { return unguarded_.account; }

  // The whole moving state (prices, both accounts, both strategies) on one line, and back.
  // Parse leaves the market alone and returns false when text holds no such state.
  std::string Format() const;
  bool Parse(std::string_view text);

 private:
  struct Trader {
    TradingAccount account;
    std::unique_ptr<Strategy> strategy;
  };
  static void Step(Trader& trader, const Quote& quote);
  std::unique_ptr<Strategy> NewStrategy() const;

  MarketStart start_;
  PositionMarketOptions options_;
  std::unique_ptr<PriceSource> prices_;
  std::shared_ptr<const DealHistory> deals_;  // null without a deal history
  Trader guarded_;
  Trader unguarded_;
  bool ended_ = false;
};

}  // namespace zt::sim
