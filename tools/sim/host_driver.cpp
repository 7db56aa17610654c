#include "host_driver.h"

#include <charconv>
#include <stdexcept>

#include "sim_clock.h"

namespace zt::sim {
namespace {

constexpr std::size_t kIncreaseTargetSlots = 8;  // the guard keeps up to 8 increase targets
constexpr int kEmailKinds = 3;                   // equity target, margin, drawdown
constexpr int kEmailBodyParts = 6;               // reason, snapshot, drawdown, increase, margin, pair
constexpr std::int64_t kProgressEvery = 4096;    // ticks between progress reports
constexpr double kSmallestFreeMargin = 0.001;    // as the guard's margin line divides

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
  std::vector<double> increaseTargets;   // the host's own copy, for the e-mail body
  double snapshot = 0.0;                 // GetEquitySnap after the start and every roll
  double cycleDrawdown = 0.0;            // lowest equity - snapshot in this cycle
  bool emailSent[kEmailKinds] = {};      // this cycle

  void Record(EventKind kind, std::int64_t tick, const AccountFigures& figures, std::string text) {
    run.events.push_back(HostEvent{kind, tick, figures, snapshot, std::move(text), {}, 0, 0.0, -1});
  }

  void RecordLevels(std::int64_t time) { run.levels.push_back(LevelPoint{time, ReadLevels(api)}); }

  double CurrentIncreaseTarget() const {
    const auto passed = static_cast<std::size_t>(run.increasesPassed);
    return passed < increaseTargets.size() ? increaseTargets[passed] : 0.0;
  }

  bool EmailDue(int kind, const AccountFigures& figures) const {
    const EmailThresholds& email = options.email;
    switch (kind) {
      case 0:
        return email.equityTarget > 0.0 && figures.equity - snapshot >= email.equityTarget;
      case 1: {
        const double divisor = figures.freeMargin >= kSmallestFreeMargin ? figures.freeMargin
                                                                          : kSmallestFreeMargin;
        return email.marginPercent > 0.0 && 100.0 * figures.margin / divisor >= email.marginPercent;
      }
      default:
        return email.drawdown > 0.0 && snapshot - figures.equity >= email.drawdown;
    }
  }

  void SendEmails(std::int64_t tick, const AccountFigures& figures) {
    for (int kind = 0; kind < kEmailKinds; ++kind) {
      if (emailSent[kind] || !EmailDue(kind, figures)) continue;
      emailSent[kind] = true;
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

  void CloseAll(int result, std::int64_t tick, const AccountFigures& figures, const Market& market) {
    const CloseOutcome outcome = market.closeAll(figures);
    const bool stopLoss = result == ZT_STOP_LOSS_HIT;
    run.cycles.push_back(CycleRecord{snapshot, cycleDrawdown, outcome.equityLeft, stopLoss, figures.time});

    api.SetTTC(outcome.durationMs, outcome.equityLeft);
    Record(stopLoss ? EventKind::StopLossClose : EventKind::TakeProfitClose, tick, figures,
           Alert(api, stopLoss ? 1 : 2));
    run.events.back().closeDurationMs = outcome.durationMs;
    run.events.back().equityLeft = outcome.equityLeft;

    const int rolled = api.SetEquity(outcome.equityLeft, 0.0, 0.0, 1);
    snapshot = api.GetEquitySnap();
    run.events.back().snapshot = snapshot;
    cycleDrawdown = 0.0;
    for (bool& sent : emailSent) sent = false;
    if (rolled == ZT_INCREASE_REACHED) {
      ++run.increasesPassed;
      Record(EventKind::IncreaseReached, tick, figures, Alert(api, 3));
    }
    RecordLevels(figures.time);
  }
};

}  // namespace

std::vector<double> AmountsIn(const std::string& text) {
  std::vector<double> amounts;
  std::size_t at = 0;
  while (at < text.size() && amounts.size() < kIncreaseTargetSlots) {
    const auto numeric = [&](std::size_t i) { return (text[i] >= '0' && text[i] <= '9') || text[i] == '.'; };
    if (!numeric(at)) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && numeric(end)) ++end;
    double value = 0.0;
    std::from_chars(text.data() + at, text.data() + end, value);
    if (value > 0.0) amounts.push_back(value);
    at = end;
  }
  return amounts;
}

HostRun RunHost(const Exports& api, const HostOptions& options, const Market& market,
                const std::function<void(std::int64_t)>& progress) {
  Host host{api, options, {}, AmountsIn(options.targets.increaseTargets)};
  const AccountFigures& start = market.start;

  // Every call into the library happens at the time of the figures it is given.
  SetSimulatedTime(start.time);
  api.SetWindowTitles(options.chartHandle, options.frameTitle.c_str(), options.mainTitle.c_str());
  double initialEquity = options.initialEquity;
  const TargetTexts& t = options.targets;
  host.run.startSnapshot = api.InitZT(options.chartHandle, options.hostTag.c_str(), &initialEquity,
                                      start.equity, start.margin, start.freeMargin,
                                      t.takeProfits.c_str(), t.drawdownTargets.c_str(),
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
  host.run.equity.push_back({start.time, start.equity});
  if (market.unguardedEquity) host.run.unguarded.push_back({start.time, market.unguardedEquity()});
  host.RecordLevels(start.time);

  std::int64_t tick = 0;
  while (const std::optional<AccountFigures> next = market.nextTick()) {
    const AccountFigures& figures = *next;
    ++tick;
    host.run.equity.push_back({figures.time, figures.equity});
    if (market.unguardedEquity) host.run.unguarded.push_back({figures.time, market.unguardedEquity()});
    SetSimulatedTime(figures.time);
    const int result = api.SetEquity(figures.equity, figures.margin, figures.freeMargin, 0);
    // The guard ignores figures it cannot use; so does the host's own drawdown.
    if (figures.equity > 0.0 && figures.equity - host.snapshot < host.cycleDrawdown) {
      host.cycleDrawdown = figures.equity - host.snapshot;
    }
    if (result == ZT_STOP_LOSS_HIT || result == ZT_TAKE_PROFIT_HIT) {
      host.CloseAll(result, tick, figures, market);
    } else {
      if (result == ZT_DRAWDOWN_STEP) {
        host.Record(EventKind::DrawdownStep, tick, figures, Alert(api, 4));
        host.RecordLevels(figures.time);
      }
      host.SendEmails(tick, figures);
    }
    if (progress && tick % kProgressEvery == 0) progress(tick);
  }
  host.run.ticks = tick;
  if (progress) progress(tick);
  return std::move(host.run);
}

}  // namespace zt::sim
