// The tick path: SetEquity's two modes and the close statistics they feed.
#pragma once

namespace zt::engine {

// SetEquity: a non-usable equity (not greater than 0, or not finite) changes nothing and gives
// NoAction. Otherwise the equity is stored and mode 1 or more rolls the snapshot (SnapshotRoll),
// 0 or less checks it (EquityCheck). Answers are core::UpdateResult values.
int UpdateEquity(double equity, double margin, double freeMargin, int mode);

// Monitoring mode: records the figures and the extremes, then decides. A close-all result writes
// the positions to the settings file and records the cycle (CloseStatistics); a drawdown step
// advances ddIndex (and tpIndex while a next take profit exists) and writes the positions.
int EquityCheck(double margin, double freeMargin);

// Snapshot mode, with guard.equity already stored: the equity becomes the snapshot (written to the
// settings file), both positions return to 0, a reached increase target advances the sets and the
// stop loss (IncreaseReached, positions written), and the next close cycle opens.
int SnapshotRoll();

// Records the closing cycle's margin and drawdown in its ring slot and recomputes the averages,
// the median and the lowest drawdown over the slots that count. Filling the last slot writes the
// statistics file and clears the rings; a file that cannot be created leaves them filled, to be
// tried again at the next close-all that fills the last slot.
void CloseStatistics();

}  // namespace zt::engine
