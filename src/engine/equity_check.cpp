#include "engine/equity_check.h"

#include "engine/amounts.h"
#include "engine/guard_state.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace zt::engine {

int UpdateEquity(double equity, double margin, double freeMargin, int mode) {
  if (!IsUsableEquity(equity)) return NoAction;
  guard.equity = equity;
  if (mode >= 1) return SnapshotRoll();
  return EquityCheck(margin, freeMargin);
}

int EquityCheck(double margin, double freeMargin) {
  GuardState& g = guard;
  g.margin = margin;
  g.freeMargin = freeMargin;

  // The clock is read only when an extreme moves, which keeps the ordinary tick cheap.
  const double vsInitial = g.equity - g.initialEquity;
  if (vsInitial < g.lowestVsInitial) {
    g.lowestVsInitial = vsInitial;
    g.lowestVsInitialTime = platform::Now();
  }
  if (freeMargin < g.lowestFreeMargin) {
    g.lowestFreeMargin = freeMargin;
    g.lowestFreeMarginTime = platform::Now();
  }
  const double vsSnapshot = g.equity - g.snapshot;
  if (vsSnapshot < g.periodDrawdown) {
    g.periodDrawdown = vsSnapshot;
    g.periodDrawdownTime = platform::Now();
  }

  const double stopLoss = CurrentStopLoss();
  const double takeProfit = CurrentTakeProfit();
  const double drawdownTarget = CurrentDrawdownTarget();

  // The stop loss is tested first: when both levels are crossed, the loss wins.
  int result = NoAction;
  if (g.equity <= g.snapshot - stopLoss) {
    result = StopLossHit;
  } else if (g.equity >= g.snapshot + takeProfit) {
    result = TakeProfitHit;
  }
  if (result != NoAction) {
    g.reachedDrawdownTarget = drawdownTarget;
    settings::WriteIndices();
    CloseStatistics();
    return result;
  }

  if (g.equity <= g.snapshot - drawdownTarget) {
    // At the set's last drawdown target there is nothing to step to: the guard waits for the
    // equity to recover, a close-all or a snapshot roll.
    if (!(TableAt(g.drawdownTable, g.ddSet, g.ddIndex + 1) > 0.0)) return NoAction;
    g.reachedDrawdownTarget = drawdownTarget;
    ++g.ddIndex;
    // The take profit moves on with the drawdown target while the set has a next one.
    if (TableAt(g.takeProfitTable, g.tpSet, g.tpIndex + 1) > 0.0) ++g.tpIndex;
    settings::WriteIndices();
    return DrawdownStep;
  }
  return NoAction;
}

int SnapshotRoll() {
  GuardState& g = guard;
  g.previousSnapshot = g.snapshot;
  g.snapshot = g.equity;
  settings::WriteAmount(settings::kEquitySnapKey, g.snapshot);
  const std::int64_t now = platform::Now();
  g.previousSnapshotTime = g.snapshotTime;
  g.snapshotTime = now;
  g.tpIndex = 0;
  g.ddIndex = 0;

  // One increase target at most per roll, even when the snapshot also passed the next one.
  int result = NoAction;
  const double increaseTarget = ListAt(g.increaseTargets, g.increaseIndex);
  if (increaseTarget > 0.0 && increaseTarget <= g.snapshot) {
    ++g.increaseIndex;
    result = IncreaseReached;
    if (TableAt(g.takeProfitTable, g.tpSet + 1, 0) > 0.0) ++g.tpSet;
    if (TableAt(g.drawdownTable, g.ddSet + 1, 0) > 0.0) ++g.ddSet;
    if (ListAt(g.stopLosses, g.stopLossIndex + 1) > 0.0) ++g.stopLossIndex;
    settings::WriteIndices();
  }

  g.previousPeriodDrawdown = g.periodDrawdown;
  g.periodDrawdown = 0.0;
  g.previousPeriodDrawdownTime = g.periodDrawdownTime;
  g.periodDrawdownTime = now;
  ++g.cycleIndex;
  if (g.cycleIndex >= kCycleSlots) g.cycleIndex = 0;
  return result;
}

}  // namespace zt::engine
