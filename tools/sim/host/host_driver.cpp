#include "host/host_driver.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/amount_tokens.h"
#include "core/limits.h"
#include "host/simulated_clock.h"
#include "system/chart_windows.h"

namespace zt::sim {
namespace {

// The increase targets the guard keeps, the host's copy no more.
constexpr auto kIncreaseTargetSlots = static_cast<std::size_t>(core::kListEntries);
constexpr int kEmailKinds = 3;                 // equity target, margin, drawdown
constexpr int kEmailBodyParts = 6;             // reason, snapshot, drawdown, increase, margin, pair
constexpr std::int64_t kProgressEvery = 4096;  // ticks between progress reports
constexpr double kSmallestFreeMargin = 0.001;  // as the guard's margin line divides
constexpr std::size_t kEventSlack = 256;       // events kept beyond the wanted ones between trims
constexpr std::int64_t kCurveBuckets =
    kCurvePoints / 8;  // 4 points each: a thinned curve is half full

// Lowest equity less the highest before it, kept tick by tick.
struct Drawdown {
  double peak = -std::numeric_limits<double>::infinity();
  double deepest = 0.0;
  void Add(double equity) {
    peak = std::max(peak, equity);
    deepest = std::min(deepest, equity - peak);
  }
};

// Keeps, per bucket of seconds from the first point, the first, lowest, highest and last point
// in their order, as value measures them.
template <typename Point, typename Value>
void Thin(std::vector<Point>& points, std::int64_t seconds, const Value& value) {
  if (points.empty()) return;
  const std::int64_t origin = points.front().time;
  std::size_t out = 0;
  std::size_t i = 0;
  while (i < points.size()) {
    const std::int64_t bucket = (points[i].time - origin) / seconds;
    std::size_t low = i, high = i, j = i;
    for (; j < points.size() && (points[j].time - origin) / seconds == bucket; ++j) {
      if (value(points[j]) < value(points[low])) low = j;
      if (value(points[j]) > value(points[high])) high = j;
    }
    std::size_t keep[4] = {i, std::min(low, high), std::max(low, high), j - 1};
    std::size_t last = points.size();
    for (const std::size_t k : keep) {
      if (k == last) continue;
      points[out++] = points[k];
      last = k;
    }
    i = j;
  }
  points.resize(out);
}

// Thins points that reached kCurvePoints to buckets of seconds (doubled at least, so that a
// curve is thinned a few times over a run, not at every point).
template <typename Point, typename Value>
bool ThinWhenFull(std::vector<Point>& points, std::int64_t& seconds, const Value& value) {
  if (points.size() < kCurvePoints) return false;
  const std::int64_t span = points.back().time - points.front().time;
  seconds = std::max({seconds * 2, (span + kCurveBuckets - 1) / kCurveBuckets, std::int64_t{1}});
  Thin(points, seconds, value);
  return true;
}

double EquityOf(const EquityPoint& point) { return point.equity; }
double SnapshotOf(const LevelPoint& point) { return point.levels.snapshot; }

std::string Alert(const Exports& api, int kind) {
  return ReadText([&](char* out) { api.GetAlert(kind, out); });
}

std::string WithoutLineFeed(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// Everything one host run keeps between ticks.
struct Host {
  const Exports& api;
  const HostOptions& options;
  HostRun run;
  std::vector<double> increaseTargets;  // the host's own copy, for the e-mail body
  double snapshot = 0.0;                // GetEquitySnap after the start and every roll
  HostCarry carry;                      // the cycle in hand and the increase targets passed
  bool pending = false;                 // the last event is not handed to the sink yet

  void Record(EventKind kind, std::int64_t tick, const AccountFigures& figures, std::string text) {
    // The event before is complete once the next one comes: callers fill in the one just recorded.
    HandOn();
    if (options.eventsKept != kKeepAll &&
        run.events.size() >= 2 * options.eventsKept + kEventSlack) {
      LeaveOut(run.events.size() - options.eventsKept);
    }
    run.events.push_back(HostEvent{kind, tick, figures, snapshot, std::move(text), {}, 0, 0.0, -1});
    pending = true;
  }

  // The last event recorded, complete, to the event sink.
  void HandOn() {
    if (pending && options.eventSink) options.eventSink(run.events.back());
    pending = false;
  }

  // The earliest count events go; the summary still counts them.
  void LeaveOut(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
      ++run.leftOutByKind[static_cast<int>(run.events[i].kind)];
    run.eventsLeftOut += static_cast<std::int64_t>(count);
    run.events.erase(run.events.begin(), run.events.begin() + static_cast<std::ptrdiff_t>(count));
  }

  void RecordLevels(std::int64_t time) {
    if (!options.keepLevels) {
      run.finalSnapshot = snapshot;
      return;
    }
    run.levels.push_back(LevelPoint{time, ReadLevels(api)});
    ThinWhenFull(run.levels, run.levelSeconds, SnapshotOf);
  }

  double CurrentIncreaseTarget() const {
    const auto passed = static_cast<std::size_t>(carry.increasesPassed);
    return passed < increaseTargets.size() ? increaseTargets[passed] : 0.0;
  }

  bool EmailDue(int kind, const AccountFigures& figures) const {
    const EmailThresholds& email = options.email;
    switch (kind) {
      case 0: return email.equityTarget > 0.0 && figures.equity - snapshot >= email.equityTarget;
      case 1: {
        const double divisor =
            figures.freeMargin >= kSmallestFreeMargin ? figures.freeMargin : kSmallestFreeMargin;
        return email.marginPercent > 0.0 && 100.0 * figures.margin / divisor >= email.marginPercent;
      }
      default: return email.drawdown > 0.0 && snapshot - figures.equity >= email.drawdown;
    }
  }

  void SendEmails(std::int64_t tick, const AccountFigures& figures) {
    for (int kind = 0; kind < kEmailKinds; ++kind) {
      if (carry.emailSent[kind] || !EmailDue(kind, figures)) continue;
      carry.emailSent[kind] = true;
      Record(EventKind::Email, tick, figures,
             ReadText([&](char* out) { api.GetEmailSubject(kind, out); }));
      HostEvent& event = run.events.back();
      event.emailKind = kind;
      const double increaseTarget = CurrentIncreaseTarget();
      for (int part = 0; part < kEmailBodyParts; ++part) {
        event.body.push_back(WithoutLineFeed(
            ReadText([&](char* out) { api.GetEmailText(part, kind, increaseTarget, out); })));
      }
    }
  }

  void CloseAll(int result, std::int64_t tick, const AccountFigures& figures,
                const Market& market) {
    const CloseOutcome outcome = market.closeAll(figures);
    const bool stopLoss = result == ZT_STOP_LOSS_HIT;
    const CycleRecord cycle{snapshot, carry.cycleDrawdown, outcome.equityLeft, stopLoss,
                            figures.time};
    run.AddCycle(cycle, options.cyclesKept);
    if (options.cycleSink) options.cycleSink(cycle);

    api.SetTTC(outcome.durationMs, outcome.equityLeft);
    Record(stopLoss ? EventKind::StopLossClose : EventKind::TakeProfitClose, tick, figures,
           Alert(api, stopLoss ? 1 : 2));
    run.events.back().closeDurationMs = outcome.durationMs;
    run.events.back().equityLeft = outcome.equityLeft;

    const int rolled = api.SetEquity(outcome.equityLeft, 0.0, 0.0, 1);
    snapshot = api.GetEquitySnap();
    run.events.back().snapshot = snapshot;
    carry.cycleDrawdown = 0.0;
    for (bool& sent : carry.emailSent) sent = false;
    if (rolled == ZT_INCREASE_REACHED) {
      ++run.increasesPassed;
      ++carry.increasesPassed;
      Record(EventKind::IncreaseReached, tick, figures, Alert(api, 3));
    }
    RecordLevels(figures.time);
  }
};

}  // namespace

void CycleTally::Add(const CycleRecord& cycle) {
  lowestDrawdown = cycles == 0 ? cycle.drawdown : std::min(lowestDrawdown, cycle.drawdown);
  ++cycles;
  drawdownSum += cycle.drawdown;
  realisedSum += cycle.equityLeft - cycle.snapshot;
  ++drawdownCents[std::llround(cycle.drawdown * 100.0)];
  ++realisedCents[std::llround(cycle.equityLeft * 100.0) - std::llround(cycle.snapshot * 100.0)];
  stopLossRun = cycle.stopLoss ? stopLossRun + 1 : 0;
  longestStopLossRun = std::max(longestStopLossRun, stopLossRun);
}

void HostRun::AddCycle(const CycleRecord& cycle, std::size_t kept) {
  tally.Add(cycle);
  if (kept == 0) {
    ++cyclesLeftOut;
    return;
  }
  // Trimmed now and then, not at every cycle, so that the list is not moved at every close.
  if (kept != kKeepAll && cycles.size() >= 2 * kept + kEventSlack) {
    const std::size_t count = cycles.size() - kept + 1;
    cyclesLeftOut += static_cast<std::int64_t>(count);
    cycles.erase(cycles.begin(), cycles.begin() + static_cast<std::ptrdiff_t>(count));
  }
  cycles.push_back(cycle);
}

std::pair<std::int64_t, std::int64_t> FindMiddleCents(
    const std::map<std::int64_t, std::int64_t>& counts, std::int64_t total) {
  // The amounts at positions (total - 1) / 2 and total / 2 in ascending order.
  const std::int64_t lowerAt = (total - 1) / 2, upperAt = total / 2;
  std::int64_t passed = 0;
  std::optional<std::int64_t> lower;
  for (const auto& [cents, count] : counts) {
    passed += count;
    if (!lower && passed > lowerAt) lower = cents;
    if (passed > upperAt) return {*lower, cents};
  }
  return {0, 0};
}

std::int64_t CountEvents(const HostRun& run, EventKind kind) {
  const auto kept = std::count_if(run.events.begin(), run.events.end(),
                                  [kind](const HostEvent& event) { return event.kind == kind; });
  return run.leftOutByKind[static_cast<int>(kind)] + static_cast<std::int64_t>(kept);
}

std::vector<double> ReadAmounts(const std::string& text) {
  std::vector<double> amounts;
  core::ForEachAmount(text, [&](double amount, bool) {
    if (amount > 0.0 && amounts.size() < kIncreaseTargetSlots) amounts.push_back(amount);
  });
  return amounts;
}

namespace {

// What an expert advisor does when it starts: the window titles, InitZT with the ladder and the
// e-mail thresholds. Throws when the guard does not start.
void StartGuard(Host& host, const AccountFigures& start) {
  const Exports& api = host.api;
  const HostOptions& options = host.options;
  // Every call into the library happens at the time of the figures it is given.
  SetSimulatedTime(start.time);
  const int chart =
      system::NameChartWindows(api, options.chartHandle, options.frameTitle, options.mainTitle);
  double initialEquity = options.initialEquity;
  const TargetTexts& t = options.targets;
  host.run.startSnapshot =
      api.InitZT(chart, options.hostTag.c_str(), &initialEquity, start.equity, start.margin,
                 start.freeMargin, t.takeProfits.c_str(), t.drawdownTargets.c_str(),
                 t.increaseTargets.c_str(), t.stopLosses.c_str());
  if (!(host.run.startSnapshot > 0.0)) {
    throw std::runtime_error("InitZT did not start the guard: no usable equity (start equity " +
                             std::to_string(start.equity) + ", no stored snapshot)");
  }
  host.run.initialEquity = initialEquity;
  host.snapshot = api.GetEquitySnap();
  const EmailThresholds& email = options.email;
  if (email.equityTarget > 0.0 || email.marginPercent > 0.0 || email.drawdown > 0.0) {
    api.SetEmailProp(email.equityTarget, email.marginPercent, email.drawdown);
  }
  host.Record(EventKind::Start, 0, start, {});
}

// One tick's figures to the guard at their time, and what the host does on its answer.
void HandTick(Host& host, std::int64_t tick, const AccountFigures& figures, const Market& market) {
  SetSimulatedTime(figures.time);
  const int result = host.api.SetEquity(figures.equity, figures.margin, figures.freeMargin, 0);
  // The guard ignores figures it cannot use; so does the host's own drawdown.
  if (figures.equity > 0.0 && figures.equity - host.snapshot < host.carry.cycleDrawdown) {
    host.carry.cycleDrawdown = figures.equity - host.snapshot;
  }
  if (result == ZT_STOP_LOSS_HIT || result == ZT_TAKE_PROFIT_HIT) {
    host.CloseAll(result, tick, figures, market);
  } else {
    if (result == ZT_DRAWDOWN_STEP) {
      host.Record(EventKind::DrawdownStep, tick, figures, Alert(host.api, 4));
      host.RecordLevels(figures.time);
    }
    host.SendEmails(tick, figures);
  }
}

}  // namespace

HostRun RunHost(const Exports& api, const HostOptions& options, const Market& market,
                const std::function<void(std::int64_t)>& progress) {
  Host host{api, options, {}, ReadAmounts(options.targets.increaseTargets), 0.0, options.carry};
  const AccountFigures& start = market.start;
  StartGuard(host, start);
  Drawdown guarded, unguarded;
  const auto addPoint = [&](std::int64_t time, double equity) {
    HostRun& run = host.run;
    run.equity.push_back({time, equity});
    guarded.Add(equity);
    if (market.unguardedEquity) {
      const double without = market.unguardedEquity();
      run.unguarded.push_back({time, without});
      unguarded.Add(without);
    }
    // The curve without the guard has its points at the same times: thinned in the same buckets.
    if (ThinWhenFull(run.equity, run.curveSeconds, EquityOf))
      Thin(run.unguarded, run.curveSeconds, EquityOf);
  };
  addPoint(start.time, start.equity);
  host.RecordLevels(start.time);

  std::int64_t tick = 0;
  while (const std::optional<AccountFigures> next = market.nextTick()) {
    const AccountFigures& figures = *next;
    ++tick;
    addPoint(figures.time, figures.equity);
    HandTick(host, tick, figures, market);
    if (progress && tick % kProgressEvery == 0) progress(tick);
  }
  host.run.ticks = tick;
  host.run.carry = host.carry;
  host.run.deepestDrawdown = guarded.deepest;
  if (market.unguardedEquity) host.run.unguardedDeepestDrawdown = unguarded.deepest;
  host.HandOn();
  if (host.run.events.size() > options.eventsKept) {
    host.LeaveOut(host.run.events.size() - options.eventsKept);
  }
  if (host.run.cycles.size() > options.cyclesKept) {
    const std::size_t count = host.run.cycles.size() - options.cyclesKept;
    host.run.cyclesLeftOut += static_cast<std::int64_t>(count);
    host.run.cycles.erase(host.run.cycles.begin(),
                          host.run.cycles.begin() + static_cast<std::ptrdiff_t>(count));
  }
  if (progress) progress(tick);
  return std::move(host.run);
}

}  // namespace zt::sim
