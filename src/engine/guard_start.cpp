#include "engine/guard_start.h"

#include <algorithm>
#include <cstring>

#include "core/amounts.h"
#include "core/guard_state.h"
#include "engine/target_parser.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace zt::engine {
namespace {

void CopyHostTag(std::string_view hostTag) {
  const std::size_t length = std::min(hostTag.size(), static_cast<std::size_t>(core::kHostTagSize - 1));
  if (length > 0) std::memcpy(core::guard.hostTag, hostTag.data(), length);
  core::guard.hostTag[length] = '\0';
}

// A position restored from the settings file (or written there by hand) brought into its table.
int ClampInto(int value, int size) { return std::clamp(value, 0, size - 1); }

// The stop losses the list holds: its positive amounts stand first, one after another.
int StopLossCount() {
  int count = 0;
  while (count < core::kListEntries && core::ListAt(core::guard.stopLosses, count) > 0.0) ++count;
  return count;
}

}  // namespace

double GuardStart(std::string_view hostTag, double* initialEquity, double equity, double margin,
                  double freeMargin, std::string_view takeProfits, std::string_view drawdownTargets,
                  std::string_view increaseTargets, std::string_view stopLosses) {
  CopyHostTag(hostTag);

  // A settings file that is there but cannot be read (another program holds it for longer than
  // the start waits, it is too large or UTF-16) gives the defaults, so the start begins from the
  // host's equity and the first entries, and takes nothing from later reads that might succeed
  // (a snapshot of its own beside stored positions would be neither history). That trouble stays
  // until the file can be read: nothing the start could not read is written over meanwhile.
  core::SettingsTrouble& startRead = core::guard.persistence.startRead;
  char storedSnapshotText[platform::kProfileValueCapacity];
  startRead = settings::ReadAmountText(settings::kEquitySnapKey, storedSnapshotText,
                                       platform::kStartReadWaitMs);
  const bool fileRead = startRead == core::SettingsTrouble::none;
  const double storedSnapshot = core::ParseAmount(storedSnapshotText);
  const bool resumed = core::IsUsableEquity(storedSnapshot);
  if (resumed) {
    core::guard.snapshot = storedSnapshot;
  } else if (core::IsUsableEquity(equity)) {
    core::guard.snapshot = equity;
  } else {
    return 0.0;
  }
  // A resumed snapshot is written back as read; one taken from the equity is stored as an amount,
  // so that a restart before the first roll resumes it rather than the equity of that moment.
  if (fileRead) {
    if (resumed) {
      settings::WriteAmountText(settings::kEquitySnapKey, storedSnapshotText);
    } else {
      settings::WriteAmount(settings::kEquitySnapKey, core::guard.snapshot);
    }
  }
  core::guard.previousSnapshot = core::guard.snapshot;

  const double hostInitialEquity = initialEquity != nullptr ? *initialEquity : 0.0;
  if (core::IsUsableEquity(hostInitialEquity)) {
    core::guard.initialEquity = hostInitialEquity;
    settings::WriteAmount(settings::kInitialEquityKey, core::guard.initialEquity);
  } else if (const double stored = fileRead ? settings::ReadAmount(settings::kInitialEquityKey) : 0.0;
             core::IsUsableEquity(stored)) {
    core::guard.initialEquity = stored;
  } else {
    core::guard.initialEquity = core::guard.snapshot;
    if (fileRead) settings::WriteAmount(settings::kInitialEquityKey, core::guard.initialEquity);
  }
  if (initialEquity != nullptr) *initialEquity = core::guard.initialEquity;

  // A non-finite equity is no equity: it is kept as "not known yet" until SetEquity passes one.
  core::guard.equity = std::isfinite(equity) ? equity : 0.0;
  core::guard.margin = margin;
  core::guard.freeMargin = freeMargin;
  core::guard.lowestFreeMargin = freeMargin;

  SetTableParser(takeProfits, core::guard.takeProfitTable);
  SetTableParser(drawdownTargets, core::guard.drawdownTable);
  PositiveListParser(increaseTargets, core::guard.increaseTargets);
  PositiveListParser(stopLosses, core::guard.stopLosses);

  // Each position is brought into its table, so no later read or step can leave it.
  const auto stored = [fileRead](std::string_view key) {
    return fileRead ? settings::ReadIndex(key) : 0;
  };
  core::guard.tpSet = ClampInto(stored(settings::kTakeProfitSetKey), core::kTargetSets);
  core::guard.tpIndex = ClampInto(stored(settings::kTakeProfitIndexKey), core::kSetPositions);
  core::guard.ddSet = ClampInto(stored(settings::kDrawdownSetKey), core::kTargetSets);
  core::guard.ddIndex = ClampInto(stored(settings::kDrawdownIndexKey), core::kSetPositions);
  core::guard.reachedDrawdownTarget = core::CurrentDrawdownTarget();
  // The increase targets already passed and the stop loss reached are resumed too (a file
  // without them starts both from their first entries). The stop loss never rests past the last
  // one the list holds: a list made shorter since would otherwise leave a stop loss of 0.
  core::guard.increaseIndex = std::clamp(stored(settings::kIncreaseIndexKey), 0, core::kListEntries);
  core::guard.stopLossIndex =
      ClampInto(stored(settings::kStopLossIndexKey), std::max(StopLossCount(), 1));

  core::guard.cycleIndex = 0;
  core::guard.lastCloseMargin = 0.0;
  core::guard.averageCloseMargin = 0.0;
  core::guard.averageDrawdown = 0.0;
  core::guard.medianDrawdown = 0.0;
  core::guard.lowestDrawdown = 0.0;

  const std::int64_t now = platform::Now();
  core::guard.snapshotTime = now;
  core::guard.periodDrawdownTime = now;
  core::guard.lowestVsInitialTime = now;
  core::guard.lowestFreeMarginTime = now;
  core::guard.previousSnapshotTime = 0;
  core::guard.previousPeriodDrawdownTime = 0;
  return core::guard.snapshot;
}

}  // namespace zt::engine
