#include "engine/guard_start.h"

#include <algorithm>
#include <cstring>

#include "engine/amounts.h"
#include "engine/guard_state.h"
#include "engine/target_parser.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace zt::engine {
namespace {

void CopyHostTag(std::string_view hostTag) {
  const std::size_t length = std::min(hostTag.size(), static_cast<std::size_t>(kHostTagSize - 1));
  if (length > 0) std::memcpy(guard.hostTag, hostTag.data(), length);
  guard.hostTag[length] = '\0';
}

// A position restored from the settings file (or written there by hand) is brought into its
// table, so no later read or step can leave it.
int ClampInto(int value, int size) { return std::clamp(value, 0, size - 1); }

}  // namespace

double GuardStart(std::string_view hostTag, double* initialEquity, double equity, double margin,
                  double freeMargin, std::string_view takeProfits, std::string_view drawdownTargets,
                  std::string_view increaseTargets, std::string_view stopLosses) {
  CopyHostTag(hostTag);

  char storedSnapshotText[platform::kProfileValueCapacity];
  settings::ReadAmountText(settings::kEquitySnapKey, storedSnapshotText);
  const double storedSnapshot = ParseAmount(storedSnapshotText);
  if (IsUsableEquity(storedSnapshot)) {
    guard.snapshot = storedSnapshot;
  } else if (IsUsableEquity(equity)) {
    guard.snapshot = equity;
  } else {
    return 0.0;
  }
  // Written back as read, so that the key exists from now on ("0" when it was missing).
  settings::WriteAmountText(settings::kEquitySnapKey, storedSnapshotText);
  guard.previousSnapshot = guard.snapshot;

  const double hostInitialEquity = initialEquity != nullptr ? *initialEquity : 0.0;
  if (IsUsableEquity(hostInitialEquity)) {
    guard.initialEquity = hostInitialEquity;
    settings::WriteAmount(settings::kInitialEquityKey, guard.initialEquity);
  } else if (const double stored = settings::ReadAmount(settings::kInitialEquityKey);
             IsUsableEquity(stored)) {
    guard.initialEquity = stored;
  } else {
    guard.initialEquity = guard.snapshot;
    settings::WriteAmount(settings::kInitialEquityKey, guard.initialEquity);
  }
  if (initialEquity != nullptr) *initialEquity = guard.initialEquity;

  // A non-finite equity is no equity: it is kept as "not known yet" until SetEquity passes one.
  guard.equity = std::isfinite(equity) ? equity : 0.0;
  guard.margin = margin;
  guard.freeMargin = freeMargin;
  guard.lowestFreeMargin = freeMargin;

  SetTableParser(takeProfits, guard.takeProfitTable);
  SetTableParser(drawdownTargets, guard.drawdownTable);
  PositiveListParser(increaseTargets, guard.increaseTargets);
  PositiveListParser(stopLosses, guard.stopLosses);

  guard.tpSet = ClampInto(settings::ReadIndex(settings::kTakeProfitSetKey), kTargetSets);
  guard.tpIndex = ClampInto(settings::ReadIndex(settings::kTakeProfitIndexKey), kSetPositions);
  guard.ddSet = ClampInto(settings::ReadIndex(settings::kDrawdownSetKey), kTargetSets);
  guard.ddIndex = ClampInto(settings::ReadIndex(settings::kDrawdownIndexKey), kSetPositions);
  guard.reachedDrawdownTarget = CurrentDrawdownTarget();

  guard.cycleIndex = 0;
  guard.increaseIndex = 0;
  guard.stopLossIndex = 0;
  guard.lastCloseMargin = 0.0;
  guard.averageCloseMargin = 0.0;
  guard.averageDrawdown = 0.0;
  guard.medianDrawdown = 0.0;
  guard.lowestDrawdown = 0.0;

  const std::int64_t now = platform::Now();
  guard.snapshotTime = now;
  guard.periodDrawdownTime = now;
  guard.lowestVsInitialTime = now;
  guard.lowestFreeMarginTime = now;
  guard.previousSnapshotTime = 0;
  guard.previousPeriodDrawdownTime = 0;
  return guard.snapshot;
}

}  // namespace zt::engine
