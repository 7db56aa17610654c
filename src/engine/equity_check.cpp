#include "engine/equity_check.h"

#include "core/amounts.h"
#include "core/guard_state.h"
#include "core/limits.h"
#include "engine/close_statistics.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace zt::engine {
namespace {

// Stores the positions a decision (a close-all, a drawdown step, a roll) set. While the start's
// settings file is unread, such a decision means the guard now runs its own history: the file's
// values can no longer be taken when it can be read, only kept (FinishHeldStart).
void StorePositions() {
  core::Persistence& persistence = core::guard.persistence;
  if (persistence.startRead != core::SettingsTrouble::none) persistence.decidedUnread = true;
  settings::WriteIndices();
}

}  // namespace

int UpdateEquity(double equity, double margin, double freeMargin, int mode) {
  if (!core::IsUsableEquity(equity)) return core::NoAction;
  core::guard.equity = equity;
  if (mode >= core::kSnapshotMode) return SnapshotRoll();
  return EquityCheck(margin, freeMargin);
}

int EquityCheck(double margin, double freeMargin) {
  core::GuardState& g = core::guard;
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

  const double stopLoss = core::CurrentStopLoss();
  const double takeProfit = core::CurrentTakeProfit();
  const double drawdownTarget = core::CurrentDrawdownTarget();

  // The stop loss is tested first: when both levels are crossed, the loss wins.
  int result = core::NoAction;
  if (g.equity <= g.snapshot - stopLoss) {
    result = core::StopLossHit;
  } else if (g.equity >= g.snapshot + takeProfit) {
    result = core::TakeProfitHit;
  }
  if (result != core::NoAction) {
    g.reachedDrawdownTarget = drawdownTarget;
    StorePositions();
    CloseStatistics();
    return result;
  }

  if (g.equity <= g.snapshot - drawdownTarget) {
    // At the set's last drawdown target there is nothing to step to: the guard waits for the
    // equity to recover, a close-all or a snapshot roll.
    if (!(core::TableAt(g.drawdownTable, g.ddSet, g.ddIndex + 1) > 0.0)) return core::NoAction;
    g.reachedDrawdownTarget = drawdownTarget;
    ++g.ddIndex;
    // The take profit moves on with the drawdown target while the set has a next one.
    if (core::TableAt(g.takeProfitTable, g.tpSet, g.tpIndex + 1) > 0.0) ++g.tpIndex;
    StorePositions();
    return core::DrawdownStep;
  }
  return core::NoAction;
}

int SnapshotRoll() {
  core::GuardState& g = core::guard;
  g.previousSnapshot = g.snapshot;
  g.snapshot = g.equity;
  settings::WriteAmount(settings::kEquitySnapKey, g.snapshot);
  const std::int64_t now = platform::Now();
  g.previousSnapshotTime = g.snapshotTime;
  g.snapshotTime = now;
  g.tpIndex = 0;
  g.ddIndex = 0;

  // One increase target at most per roll, even when the snapshot also passed the next one.
  int result = core::NoAction;
  const double increaseTarget = core::ListAt(g.increaseTargets, g.increaseIndex);
  if (increaseTarget > 0.0 && increaseTarget <= g.snapshot) {
    ++g.increaseIndex;
    result = core::IncreaseReached;
    if (core::TableAt(g.takeProfitTable, g.tpSet + 1, 0) > 0.0) ++g.tpSet;
    if (core::TableAt(g.drawdownTable, g.ddSet + 1, 0) > 0.0) ++g.ddSet;
    if (core::ListAt(g.stopLosses, g.stopLossIndex + 1) > 0.0) ++g.stopLossIndex;
  }
  // Every roll stores the positions it set, so a restart resumes the new cycle's, not the last.
  StorePositions();

  g.previousPeriodDrawdown = g.periodDrawdown;
  g.periodDrawdown = 0.0;
  g.previousPeriodDrawdownTime = g.periodDrawdownTime;
  g.periodDrawdownTime = now;
  ++g.cycleIndex;
  if (g.cycleIndex >= core::kCycleSlots) g.cycleIndex = 0;
  return result;
}

}  // namespace zt::engine
