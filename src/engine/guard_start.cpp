#include "engine/guard_start.h"

#include <algorithm>
#include <cstring>

#include "core/amounts.h"
#include "core/guard_state.h"
#include "engine/target_parser.h"
#include "platform/platform.h"
#include "settings/settings_store.h"
#include "texts/time_text.h"

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

// What the last start was given and kept, for FinishHeldStart to take the stored history as the
// start would have.
struct StartArguments {
  double equity;             // the host's equity at the start
  double hostInitialEquity;  // the host's initial-equity variable as passed (0: none)
  double periodDrawdown;     // the extremes the start kept from the history before
  double lowestVsInitial;
};
StartArguments lastStart{};

// The snapshot, the initial equity and the six positions, from the settings file when fileRead
// (storedSnapshotText: its "Equity Snap") and otherwise from the start's arguments and the first
// entries. Either the stored snapshot or the start's equity is usable. The tables are parsed.
void TakeStoredHistory(const char* storedSnapshotText, bool fileRead) {
  core::GuardState& g = core::guard;
  const double storedSnapshot = core::ParseAmount(storedSnapshotText);
  const bool resumed = core::IsUsableEquity(storedSnapshot);
  g.snapshot = resumed ? storedSnapshot : lastStart.equity;
  // A resumed snapshot is written back as read; one taken from the equity is stored as an amount,
  // so that a restart before the first roll resumes it rather than the equity of that moment.
  if (fileRead) {
    if (resumed) {
      settings::WriteAmountText(settings::kEquitySnapKey, storedSnapshotText);
    } else {
      settings::WriteAmount(settings::kEquitySnapKey, g.snapshot);
    }
  }
  g.previousSnapshot = g.snapshot;

  if (core::IsUsableEquity(lastStart.hostInitialEquity)) {
    g.initialEquity = lastStart.hostInitialEquity;
    settings::WriteAmount(settings::kInitialEquityKey, g.initialEquity);
  } else if (const double stored = fileRead ? settings::ReadAmount(settings::kInitialEquityKey) : 0.0;
             core::IsUsableEquity(stored)) {
    g.initialEquity = stored;
  } else {
    g.initialEquity = g.snapshot;
    if (fileRead) settings::WriteAmount(settings::kInitialEquityKey, g.initialEquity);
  }

  // Each position is brought into its table, so no later read or step can leave it.
  const auto stored = [fileRead](std::string_view key) {
    return fileRead ? settings::ReadIndex(key) : 0;
  };
  g.tpSet = ClampInto(stored(settings::kTakeProfitSetKey), core::kTargetSets);
  g.tpIndex = ClampInto(stored(settings::kTakeProfitIndexKey), core::kSetPositions);
  g.ddSet = ClampInto(stored(settings::kDrawdownSetKey), core::kTargetSets);
  g.ddIndex = ClampInto(stored(settings::kDrawdownIndexKey), core::kSetPositions);
  g.reachedDrawdownTarget = core::CurrentDrawdownTarget();
  // The increase targets already passed and the stop loss reached are resumed too (a file
  // without them starts both from their first entries). The stop loss never rests past the last
  // one the list holds: a list made shorter since would otherwise leave a stop loss of 0.
  g.increaseIndex = std::clamp(stored(settings::kIncreaseIndexKey), 0, core::kListEntries);
  g.stopLossIndex = ClampInto(stored(settings::kStopLossIndexKey), std::max(StopLossCount(), 1));
}

// The guard decided from its own start before the file could be read: the file's values are kept
// beside it, named for this moment, and the guard's writes go over it.
void KeepUnreadFile() {
  char now[texts::kTimeTextSize];
  settings::KeepUnreadFile(texts::TimeText(platform::Now(), now, texts::kTimeTextSize));
  core::guard.persistence.lateRead = core::LateRead::setAside;
}

}  // namespace

double StartGuard(std::string_view hostTag, double* initialEquity, double equity, double margin,
                  double freeMargin, std::string_view takeProfits, std::string_view drawdownTargets,
                  std::string_view increaseTargets, std::string_view stopLosses) {
  CopyHostTag(hostTag);

  // A settings file that is there but cannot be read (another program holds it for longer than
  // the start waits, it is too large or UTF-16) gives the defaults, so the start begins from the
  // host's equity and the first entries, and takes nothing from later reads of single keys that
  // might succeed (a snapshot of its own beside stored positions would be neither history):
  // FinishHeldStart takes the stored history whole once the file can be read.
  char storedSnapshotText[settings::kProfileValueCapacity];
  const core::SettingsTrouble read = settings::ReadAmountText(
      settings::kEquitySnapKey, storedSnapshotText, platform::kStartReadWaitMs);
  if (!core::IsUsableEquity(core::ParseAmount(storedSnapshotText)) && !core::IsUsableEquity(equity)) {
    return 0.0;
  }
  // Writes held from a history that decided without ever reading the file must not go over it
  // unseen, whatever this start reads.
  core::Persistence& persistence = core::guard.persistence;
  const bool carriedUnread =
      persistence.startRead != core::SettingsTrouble::none && persistence.decidedUnread;
  const bool fileRead = read == core::SettingsTrouble::none;
  persistence.startRead = read;
  persistence.decidedUnread = carriedUnread && !fileRead;
  persistence.lateRead = core::LateRead::none;
  persistence.unreadCopy[0] = '\0';
  if (carriedUnread && fileRead) KeepUnreadFile();

  SetTableParser(takeProfits, core::guard.takeProfitTable);
  SetTableParser(drawdownTargets, core::guard.drawdownTable);
  PositiveListParser(increaseTargets, core::guard.increaseTargets);
  PositiveListParser(stopLosses, core::guard.stopLosses);

  lastStart = StartArguments{equity, initialEquity != nullptr ? *initialEquity : 0.0,
                             core::guard.periodDrawdown, core::guard.lowestVsInitial};
  TakeStoredHistory(storedSnapshotText, fileRead);
  if (initialEquity != nullptr) *initialEquity = core::guard.initialEquity;

  // A non-finite equity is no equity: it is kept as "not known yet" until SetEquity passes one.
  core::guard.equity = std::isfinite(equity) ? equity : 0.0;
  core::guard.margin = margin;
  core::guard.freeMargin = freeMargin;
  core::guard.lowestFreeMargin = freeMargin;

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

void FinishHeldStart() {
  core::GuardState& g = core::guard;
  core::Persistence& persistence = g.persistence;
  if (!settings::StoredFileReadable()) return;
  if (persistence.decidedUnread) {
    persistence.startRead = core::SettingsTrouble::none;
    persistence.decidedUnread = false;
    KeepUnreadFile();
    return;
  }
  char storedSnapshotText[settings::kProfileValueCapacity];
  const core::SettingsTrouble read =
      settings::ReadAmountText(settings::kEquitySnapKey, storedSnapshotText, 0);
  if (read != core::SettingsTrouble::none) return;  // held again since the look
  persistence.startRead = core::SettingsTrouble::none;
  TakeStoredHistory(storedSnapshotText, true);
  // The extremes measured since the start were measured from references the start did not have.
  g.periodDrawdown = lastStart.periodDrawdown;
  g.lowestVsInitial = lastStart.lowestVsInitial;
  g.periodDrawdownTime = g.snapshotTime;
  g.lowestVsInitialTime = g.snapshotTime;
  persistence.lateRead = core::LateRead::resumed;
}

}  // namespace zt::engine
