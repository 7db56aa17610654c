// A broker's account that holds positions in one symbol: the balance, each open position's
// direction, lots and open price, and from the current quote the floating result, the margin the
// positions hold, equity and free margin. The broker books commission on every open and close and
// swap at every rollover, and closes positions itself (a stop-out) when equity falls too far
// below the margin they hold. A price difference times lots times the contract size is a result in
// the symbol's profit currency (USD of EURUSD, JPY of USDJPY), which the terms' conversion makes
// the account's money; margin is the position's value in that currency, converted the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "market/account_model.h"
#include "market/price_model.h"
#include "market/symbol_kinds.h"

namespace zt::sim {

enum class Side { Buy, Sell };

struct Position {
  Side side;
  double lots;
  double openPrice;  // ask for a buy, bid for a sell
  std::int64_t openTime;
  double swap;  // booked at the rollovers since it opened
};

struct AccountTerms {
  double contractSize = 100000.0;  // units of the symbol in one lot
  double leverage = 100.0;         // margin is the position's value at its open price over this
  double commissionPerLot = 3.5;   // per lot and side: charged at the open and again at the close
  double swapLongPerLot = -7.0;    // per lot and night, a buy's (usually a charge)
  double swapShortPerLot = 2.0;    // per lot and night, a sell's
  double stopOutLevel = 50.0;      // equity as a percentage of margin at which the broker closes
  ProfitConversion profit;         // a result in the profit currency into the account's money
};

// What trading has cost the account since it opened: the spread (a position opens at the far side
// of the quote, so it starts behind by ask - bid times its size), the commissions and the swaps the
// rollovers booked (a credit counts as a negative cost). Kept for the reports; a resumed run counts
// from where it resumed.
struct TradingCosts {
  double spread = 0.0;
  double commission = 0.0;
  double swap = 0.0;
};

struct TradingAccount {
  AccountTerms terms;
  double balance;                   // in whole cents, as the broker books it
  std::vector<Position> positions;  // in the order they opened
  Quote quote;                      // the broker's current prices
  std::int64_t stopOuts = 0;        // positions the broker closed by stop-out, ever
  TradingCosts costs;
};

TradingAccount NewTradingAccount(const AccountTerms& terms, double balance, const Quote& quote);

// What closing the position at the current quote would realise before the closing commission:
// the price difference times lots times the contract size in the account's money (at the closing
// price where the conversion needs one), plus its swap.
double PositionResult(const TradingAccount& account, const Position& position);
double Floating(const TradingAccount& account);
double UsedMargin(const TradingAccount& account);
double Equity(const TradingAccount& account);
// What a terminal shows now: time, equity, margin and free margin.
AccountFigures Figures(const TradingAccount& account);

// Opens a position at the current quote, paying its commission. The broker refuses (false) when
// the free margin cannot hold it.
bool OpenPosition(TradingAccount& account, Side side, double lots);
// Closes one position at the current quote into the balance, less its closing commission.
void ClosePosition(TradingAccount& account, std::size_t index);
// Closes every position; returns how many there were.
int CloseAllPositions(TradingAccount& account);

// The broker's next tick: books the swap of the rollovers since the last quote, takes the new
// quote and stops out while the margin level is at or below the stop-out level, largest loss
// first. Returns the positions it stopped out.
int MoveAccount(TradingAccount& account, const Quote& quote);

// The account's balance, stop-out count and positions as " name=value" fields whose names start
// with prefix ("g." for the guarded account), and back; the quote and the terms come from the run.
// ParseTradingAccount leaves account alone and returns false when text holds no such account.
std::string FormatTradingAccount(const TradingAccount& account, std::string_view prefix);
bool ParseTradingAccount(std::string_view text, std::string_view prefix, TradingAccount& account);

}  // namespace zt::sim
