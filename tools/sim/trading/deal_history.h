// A trader's closed trades as the lab's strategy: the deal list a terminal's account history
// exports, replayed over the same symbol's price history (price_history.h), so that each trade
// open at a moment floats with the price as it did, and the guard beside it sees the equity the
// account had.
//
// The file: a header line, then one trade a line, separated by commas (or tabs):
//   open time,close time,symbol,type,lots,open price,close price,profit
//   2024.01.03 09:00,2024.01.04 15:30,EURUSD,buy,0.10,1.09412,1.09655,24.30
// Times as 2024.01.03 09:00 or 09:00:00, UTC unless a server offset says otherwise; type buy or
// sell; profit in the account's currency, what the trade booked in all (commission and swap
// included). One symbol a file.
//
// Before the replay the list is held to the prices (deal_check.h): a deal of another symbol,
// outside the history's dates or at a price its bar never had is refused with its line.
//
// The replay: a trade opens at the first quote at or after its open time, at its recorded open
// price, and floats with the quotes; at the first quote at or after its close time it closes and
// books its recorded profit. The account charges no commission or swap of its own. A guard's
// close-all closes every trade open at that moment at that moment's price; those trades are over
// (they are not reopened, and their recorded closes no longer happen), and the trades opened after
// it happen as they did. An approximation: the trader, after such a close, might have traded
// otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "market/csv_input.h"
#include "market/server_time.h"
#include "trading/strategies.h"

namespace zt::sim {

struct Deal {
  std::int64_t openTime;
  std::int64_t closeTime;
  Side side;
  double lots;
  double openPrice;
  double closePrice;
  double profit;
  int line;  // of the file
};

struct DealHistory {
  std::string path;
  std::string symbol;
  std::vector<Deal> deals;  // by open time (then by line)
};

// Reads the whole file (a deal list is short); throws std::runtime_error naming the line and what
// was expected there.
// The times are the broker's server's, offset from UTC (as the price history's).
DealHistory ReadDealHistory(const std::string& path, DecimalMark decimal,
                            const ServerOffset& offset = {});

// The replay of deals on an account, as a Strategy. MakeStrategy's strategies otherwise.
std::unique_ptr<Strategy> MakeDealReplay(std::shared_ptr<const DealHistory> deals);

}  // namespace zt::sim
