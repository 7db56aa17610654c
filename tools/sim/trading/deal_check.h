// A deal list held to the prices it replays over. A deal's open and close happened at prices the
// market had: a buy opens at the ask and closes at the bid, a sell the other way round, so each
// lies between the bid's low and the ask's high of the bar that holds its time. A list that is not
// the history's symbol, reaches outside its dates or trades at prices its bars never had would
// replay jumps that never happened: it is refused before the run, with the deal's line.
#pragma once

#include <string>

#include "market/price_history.h"
#include "trading/deal_history.h"

namespace zt::sim {

struct DealTerms {
  std::string symbol;            // the history's symbol; empty: any (the list's own one)
  double tolerancePoints = 0.0;  // how far past its bar's range a price may lie, in points
};

// Throws std::runtime_error naming the file, the first deal's line that fails and why: another
// symbol, a time before the history's first bar or after its last one ends, a time no bar holds
// (a gap in the history), or a price outside its bar's range by more than the tolerance. The
// history is read as history says (shape, decimal mark, server offset, point and spread).
void CheckDealsAgainstPrices(const DealHistory& deals, const PriceHistoryOptions& history,
                             const DealTerms& terms);

}  // namespace zt::sim
