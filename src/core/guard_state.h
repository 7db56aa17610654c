// GuardState: everything the guard knows between two host calls, in one process-wide record.
//
// Invariants:
// - Zero (empty texts) when the library is loaded; InitZT establishes a guard history.
// - Every table or list position the engine stores lies inside its table: sets 0-7, positions
//   0-31, list positions 0-8 (8 is "past the last target", read as a missing entry).
// - Reads of a table or list go through TableAt/ListAt, which give 0.0 (a missing target) for any
//   position outside the table, so a position one past the last behaves as a missing entry.
// - Amounts are doubles in the account currency; drawdowns are <= 0 (equity - reference);
//   targets and stop losses are positive amounts, 0.0 marking a missing one.
// - Times are seconds since 1970-01-01 UTC; 0 means "never".
//
// A second InitZT (the host starting over without unloading the library) establishes a new
// history in the same record. It resets: the account figures, the reference equities and their
// times, the tables and all six positions (each restored from the settings file, 0 where it holds
// none), reachedDrawdownTarget, every extreme's time,
// lowestFreeMargin (to the free margin passed), cycleIndex and the cycle summaries, the host tag
// and the terminal identity. It keeps: periodDrawdown, previousPeriodDrawdown and lowestVsInitial
// (the extremes of the history before), the two cycle rings (cleared only once the statistics
// file is written), the host's close duration and e-mail thresholds, settingsPath and
// persistence.settings and .statisticsUnwritten (the rest of persistence tells of its own read of
// the settings file). An InitZT that refuses to start (no usable equity) changes nothing but the
// host tag.
#pragma once

#include <array>
#include <cstdint>

#include "core/limits.h"

namespace zt::core {

using TargetTable = std::array<std::array<double, kSetPositions>, kTargetSets>;
using TargetList = std::array<double, kListEntries>;
using CycleRing = std::array<double, kCycleSlots>;

// What keeps the guard's files from being saved, as the dashboard's notice line names it.
enum class SettingsTrouble : unsigned char {
  none,         // the last write landed (or none was needed yet)
  noLocation,   // the library could not learn where it lies: nothing is persisted
  locked,       // another program holds the settings file
  readOnly,     // the settings file or its folder may not be written
  noPermission, // the settings file's permissions refuse us its replacement
  tooLarge,     // the settings file is over the store's size limit: left untouched
  foreignText,  // the settings file is in an encoding the store does not rewrite: left untouched
  failed,       // any other failure: no such folder, a full disk
};

// What became of a settings file the start could not read, once a later call could read it.
enum class LateRead : unsigned char {
  none,      // the start read it (or found none), or it is still unread
  resumed,   // read before the guard had decided anything: its values taken as the start would
  setAside,  // the guard had decided first: the file kept whole beside it (unreadCopy) before
             // the guard's writes went over it
};

struct Persistence {
  SettingsTrouble settings;  // after the settings store's most recent write
  SettingsTrouble startRead; // why the last start could not read the settings file it found
                             // (none: it read it, there was none, or a later call has read
                             // it); the guard runs from the host's equity and the first
                             // entries meanwhile, and writes are held until the file is read
  bool decidedUnread;        // a close-all, a drawdown step, a roll or the host's SetLastValues
                             // came while startRead was not none: the file's values can no
                             // longer be taken, only kept
  LateRead lateRead;         // what the later read did, until the next start
  bool statisticsUnwritten;  // the last statistics file due could not be created
  char unreadCopy[kSideFilePathSize];  // the file the unread settings were copied into
                                       // (lateRead setAside); empty until it is written
};

struct GuardState {
  // Account figures the host last passed.
  double equity;      // latest equity (InitZT, SetEquity both modes, SetTTC)
  double margin;      // margin in use (InitZT, monitoring SetEquity)
  double freeMargin;  // free margin (InitZT, monitoring SetEquity)

  // Reference equities.
  double snapshot;                    // equity all targets are measured from
  double previousSnapshot;            // snapshot before the most recent roll
  double initialEquity;               // equity at the start of the guard's history
  std::int64_t snapshotTime;          // when snapshot was taken
  std::int64_t previousSnapshotTime;  // when previousSnapshot was taken; 0 until the first roll

  // Targets and the positions in them (parsed by InitZT).
  TargetTable takeProfitTable;    // take-profit amounts above the snapshot, [set][position]
  TargetTable drawdownTable;      // drawdown-target amounts below the snapshot, [set][position]
  TargetList increaseTargets;     // equity levels that advance the sets when a snapshot reaches them
  TargetList stopLosses;          // stop-loss amounts below the snapshot
  int tpSet;                      // current take-profit set, 0-7
  int tpIndex;                    // current take-profit position, 0-31
  int ddSet;                      // current drawdown set, 0-7
  int ddIndex;                    // current drawdown position, 0-31
  int increaseIndex;              // position of the next increase target, 0-8
  int stopLossIndex;              // position of the current stop loss, 0-7
  double reachedDrawdownTarget;   // drawdown target most recently passed (the alert of kind 4)

  // Running extremes.
  double periodDrawdown;                    // lowest equity - snapshot since the last roll; <= 0
  std::int64_t periodDrawdownTime;          // when periodDrawdown was last lowered
  double previousPeriodDrawdown;            // periodDrawdown of the cycle before
  std::int64_t previousPeriodDrawdownTime;  // its time; 0 until the first roll
  double lowestVsInitial;                   // lowest equity - initialEquity ever seen; <= 0
  std::int64_t lowestVsInitialTime;         // when it was last lowered
  double lowestFreeMargin;                  // lowest free margin seen since InitZT
  std::int64_t lowestFreeMarginTime;        // its time

  // Close-cycle statistics.
  int cycleIndex;             // ring slot of the current close cycle, 0-511
  CycleRing marginAtClose;    // margin in use at each cycle's close-all
  CycleRing drawdownAtClose;  // periodDrawdown at each cycle's close-all
  double lastCloseMargin;     // margin at the most recent close-all
  double averageCloseMargin;  // mean of marginAtClose[0..cycleIndex]
  double averageDrawdown;     // mean of drawdownAtClose[0..cycleIndex]
  double medianDrawdown;      // median of the same
  double lowestDrawdown;      // smallest (most negative) of the same

  // Values the host hands in for the texts.
  int closeDurationMs;        // how long the host's last close-all took (SetTTC)
  double emailEquityTarget;   // equity target named in e-mails (SetEmailProp)
  double emailMarginPercent;  // margin percentage named in e-mails (SetEmailProp)
  double emailDrawdown;       // drawdown amount named in e-mails (SetEmailProp)

  // Identity and paths.
  char settingsPath[kSettingsPathSize];  // the INI file beside the library; empty: persist nothing
  // Whether the files are being saved: zero (all saved) when the library is loaded; the settings
  // store sets .settings at every write it attempts, the statistics writer .statisticsUnwritten
  // whenever a file falls due, the start and its late read the rest; the dashboard's notice line
  // reads them all.
  Persistence persistence;
  char hostTag[kHostTagSize];            // the caller's short text for the dashboard title
  char symbol[kSymbolSize];              // chart symbol, from the chart frame's title
  char serverName[kServerNameSize];      // trading-server text, from the terminal's title
  int accountNumber;                     // account number, from the terminal's title
};

// The one instance, zero when the library is loaded.
extern GuardState guard;

// The amount at [set][position], or 0.0 (a missing target) outside the table.
inline double TableAt(const TargetTable& table, int set, int position) {
  if (set < 0 || set >= kTargetSets || position < 0 || position >= kSetPositions) return 0.0;
  return table[static_cast<unsigned>(set)][static_cast<unsigned>(position)];
}

// The amount at position, or 0.0 (a missing entry) outside the list.
inline double ListAt(const TargetList& list, int position) {
  if (position < 0 || position >= kListEntries) return 0.0;
  return list[static_cast<unsigned>(position)];
}

// The amount the engine and the texts mean by TP, DDT and SL: the current entries.
inline double CurrentTakeProfit() { return TableAt(guard.takeProfitTable, guard.tpSet, guard.tpIndex); }
inline double CurrentDrawdownTarget() { return TableAt(guard.drawdownTable, guard.ddSet, guard.ddIndex); }
inline double CurrentStopLoss() { return ListAt(guard.stopLosses, guard.stopLossIndex); }

}  // namespace zt::core
