// The host: drives the guard through its exports in the order a terminal's expert advisor does,
// over figures from a market (the account model or a recorded history), and keeps a record of
// everything it saw for the log, the summary and the chart.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/dashboard.h"
#include "host/guard_api.h"
#include "host/ladder.h"
#include "market/account_model.h"

namespace zt::sim {

// The host's own e-mail thresholds; 0 turns one off. The guard only names them in the texts:
// deciding that an e-mail is due is the host's job.
struct EmailThresholds {
  double equityTarget = 0.0;   // equity - snapshot at or above this: kind 0
  double marginPercent = 0.0;  // 100 x margin / free margin at or above this: kind 1
  double drawdown = 0.0;       // snapshot - equity at or above this: kind 2
};

// What the host remembers between ticks beside what the guard stores in its own files: the cycle
// in hand (its lowest point so far, the e-mails it has sent) and how many increase targets the
// guard has passed, whose next one the e-mails name. A terminal restarted in the middle of a
// cycle picks these up where it left them, so that a resumed run records the cycle and mails as
// one that never stopped.
struct HostCarry {
  std::int64_t increasesPassed = 0;  // over every run of the guard, not only this one
  double cycleDrawdown = 0.0;        // lowest equity - snapshot in the cycle in hand, <= 0
  bool emailSent[3] = {};            // by kind, in the cycle in hand
};

struct HostEvent;
struct CycleRecord;

// Records a run keeps however many there are.
constexpr std::size_t kKeepAll = static_cast<std::size_t>(-1);

struct HostOptions {
  int chartHandle = 1001;
  std::string hostTag = "zt-sim";                                // up to 19 characters
  std::string frameTitle = "EURUSD,H1";                          // the chart frame's title
  std::string mainTitle = "123456: Demo Server - Demo Account";  // the terminal's main title
  double initialEquity = 0.0;  // > 0 overrides the initial equity the guard keeps
  TargetTexts targets;
  EmailThresholds email;
  // What the run keeps beyond the summary's figures, so that its memory stays flat however long
  // it runs: the latest eventsKept events and cyclesKept cycles (those before are counted, not
  // kept; their tally stays), and the guard's levels when keepLevels, thinned as the curves are.
  // eventSink, when set, is handed every event once it is complete, in order, kept or not: a log
  // streams through it; cycleSink likewise every cycle once it is closed.
  std::size_t eventsKept = kKeepAll;
  std::size_t cyclesKept = kKeepAll;
  bool keepLevels = true;
  std::function<void(const HostEvent&)> eventSink;
  std::function<void(const CycleRecord&)> cycleSink;
  HostCarry carry;  // where the last run of a resumed guard left the host
};

// Where the figures come from. start feeds InitZT; nextTick gives the following ticks until it
// returns nothing; closeAll closes every trade at the given figures and says what was left.
struct Market {
  AccountFigures start;
  std::function<std::optional<AccountFigures>()> nextTick;
  std::function<CloseOutcome(const AccountFigures&)> closeAll;
  // The equity the same account would have now without the guard; unset when there is no such
  // account to compare with.
  std::function<double()> unguardedEquity;
};

enum class EventKind {
  Start,            // InitZT settled the snapshot
  StopLossClose,    // a close-all on ZT_STOP_LOSS_HIT, with the kind-1 alert
  TakeProfitClose,  // a close-all on ZT_TAKE_PROFIT_HIT, with the kind-2 alert
  IncreaseReached,  // the snapshot roll passed an increase target, kind-3 alert
  DrawdownStep,     // ZT_DRAWDOWN_STEP, kind-4 alert
  Email,            // one of the host's thresholds was crossed
};

struct HostEvent {
  EventKind kind;
  std::int64_t tick;              // 0 is the start figures, then 1, 2, ... per SetEquity call
  AccountFigures figures;         // the figures of that tick
  double snapshot;                // the guard's snapshot after the event
  std::string text;               // the alert line, or the e-mail subject
  std::vector<std::string> body;  // e-mail body lines, without their line feeds
  int closeDurationMs = 0;        // close-all events
  double equityLeft = 0.0;        // close-all events
  int emailKind = -1;             // e-mail events
};

// The guard's levels from one tick on, until the next point.
struct LevelPoint {
  std::int64_t time;
  GuardLevels levels;
};

// One close cycle, as the host saw it: from a snapshot to the close-all that ended it.
struct CycleRecord {
  double snapshot;    // the cycle's snapshot
  double drawdown;    // lowest equity - snapshot over the cycle's ticks, <= 0
  double equityLeft;  // after the close-all, the next cycle's snapshot
  bool stopLoss;      // closed on the stop loss (else on the take profit)
  std::int64_t closeTime;
};

// What the summaries take from the closed cycles, over all of them, whether or not each cycle is
// kept: counts, sums in cycle order, the lowest drawdown, and how many cycles had each drawdown and
// each realised result in cents, for the medians. A run with a close every few ticks holds a few
// thousand distinct amounts however long it runs, where a list of its cycles would grow with it.
struct CycleTally {
  std::int64_t cycles = 0;
  double drawdownSum = 0.0;
  double lowestDrawdown = 0.0;                         // meaningful once cycles > 0
  double realisedSum = 0.0;                            // equity left - snapshot, summed
  std::map<std::int64_t, std::int64_t> drawdownCents;  // cents -> cycles
  std::map<std::int64_t, std::int64_t> realisedCents;  // cents -> cycles
  // Stop-loss closes one after another: the run in hand and the longest, which is what a trader
  // must sit through before a take profit comes.
  std::int64_t stopLossRun = 0;
  std::int64_t longestStopLossRun = 0;

  void Add(const CycleRecord& cycle);
};

// The middle two of the total amounts a tally counts, in ascending order: positions (total - 1) / 2
// and total / 2 (the same one when total is odd); {0, 0} for no amounts.
std::pair<std::int64_t, std::int64_t> FindMiddleCents(
    const std::map<std::int64_t, std::int64_t>& counts, std::int64_t total);

struct EquityPoint {
  std::int64_t time;
  double equity;
};

struct HostRun {
  double startSnapshot = 0.0;  // InitZT's result
  double initialEquity = 0.0;  // what InitZT wrote back into the host's variable
  std::int64_t ticks = 0;      // SetEquity calls in monitoring mode
  std::vector<HostEvent> events;
  std::vector<EquityPoint> equity;     // the start figures and every tick
  std::vector<EquityPoint> unguarded;  // the same without the guard, when the market knows it
  // At the start and after every event that moves a level; thinned as the curves are, the lowest
  // and highest by the snapshot.
  std::vector<LevelPoint> levels;
  std::vector<CycleRecord> cycles;  // closed cycles, in order (see HostOptions::cyclesKept)
  CycleTally tally;                 // every closed cycle, kept or not

  // Adds a closed cycle to the tally and the list, which keeps the latest kept of them.
  void AddCycle(const CycleRecord& cycle, std::size_t kept);
  std::int64_t increasesPassed = 0;  // in this run
  HostCarry carry;                   // where this run left the host, for the next one

  // Events before the first one kept (see HostOptions::eventsKept), by EventKind, and the cycles
  // before the first one kept.
  std::int64_t eventsLeftOut = 0;
  std::int64_t cyclesLeftOut = 0;
  std::int64_t leftOutByKind[6] = {};
  // Over every tick, whatever the curves keep; unset in a run put together by hand.
  std::optional<double> deepestDrawdown;
  std::optional<double> unguardedDeepestDrawdown;
  std::optional<double> finalSnapshot;  // the guard's snapshot at the end, when levels are not kept
  // 0 while the curves hold every tick (and levelSeconds while the levels hold every point). A long
  // run thins them as they grow: past kCurvePoints points they keep, per this many seconds, the
  // first, lowest, highest and last point in their order, which is all a chart can show of so many
  // ticks (its pixel columns are far wider) and keeps the first and last point and every spike.
  std::int64_t curveSeconds = 0;
  std::int64_t levelSeconds = 0;
};

// The events of kind a run saw: those its log keeps and those it left out.
std::int64_t CountEvents(const HostRun& run, EventKind kind);

// How many points a curve grows to before it is thinned.
constexpr std::size_t kCurvePoints = std::size_t{1} << 17;

// Runs the whole life of a host: SetWindowTitles and InitZT with the start figures, SetEmailProp
// when a threshold is set, then one monitoring SetEquity per tick; on a close-all result the
// market closes the trades, then SetTTC, GetAlert(1 or 2) and the snapshot SetEquity (GetAlert(3)
// on ZT_INCREASE_REACHED); GetAlert(4) on ZT_DRAWDOWN_STEP; each e-mail at most once per cycle.
// progress, when set, is called now and then with the number of ticks done. Throws
// std::runtime_error when InitZT does not start the guard.
HostRun RunHost(const Exports& api, const HostOptions& options, const Market& market,
                const std::function<void(std::int64_t)>& progress = {});

// The amounts of a list text as InitZT reads them: any character other than a digit or '.'
// separates numbers. The host keeps its own copy of the increase targets this way.
std::vector<double> ReadAmounts(const std::string& text);

}  // namespace zt::sim
