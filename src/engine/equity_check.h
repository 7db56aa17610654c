// The tick path: SetEquity's two modes.
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
// stop loss (IncreaseReached), the positions are written, and the next close cycle opens.
int SnapshotRoll();

}  // namespace zt::engine
