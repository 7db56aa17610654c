#include "figures/run_summary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zt::sim {

Summary Summarise(const HostRun& run) {
  Summary s{};
  s.ticks = run.ticks;
  s.takeProfitCloses = CountEvents(run, EventKind::TakeProfitClose);
  s.stopLossCloses = CountEvents(run, EventKind::StopLossClose);
  s.drawdownSteps = CountEvents(run, EventKind::DrawdownStep);
  s.increasesPassed = CountEvents(run, EventKind::IncreaseReached);
  s.emails = CountEvents(run, EventKind::Email);
  const CycleTally& tally = run.tally;
  s.cycles = tally.cycles;
  if (tally.cycles > 0) {
    s.averageDrawdown = tally.drawdownSum / static_cast<double>(tally.cycles);
    s.lowestDrawdown = tally.lowestDrawdown;
    const auto [lower, upper] = FindMiddleCents(tally.drawdownCents, tally.cycles);
    s.medianDrawdown = static_cast<double>(lower + upper) / 200.0;
  }
  s.startEquity = run.equity.empty() ? 0.0 : run.equity.front().equity;
  s.finalEquity = run.equity.empty() ? 0.0 : run.equity.back().equity;
  s.finalSnapshot = run.finalSnapshot    ? *run.finalSnapshot
                    : run.levels.empty() ? run.startSnapshot
                                         : run.levels.back().levels.snapshot;
  s.deepestDrawdown = run.deepestDrawdown ? *run.deepestDrawdown : FindDeepestDrawdown(run.equity);
  s.compared = !run.unguarded.empty();
  if (s.compared) {
    s.unguardedFinalEquity = run.unguarded.back().equity;
    s.unguardedDeepestDrawdown = run.unguardedDeepestDrawdown ? *run.unguardedDeepestDrawdown
                                                              : FindDeepestDrawdown(run.unguarded);
  }
  s.realisedPerCycle =
      tally.cycles == 0 ? 0.0 : tally.realisedSum / static_cast<double>(tally.cycles);
  return s;
}

double FindDeepestDrawdown(const std::vector<EquityPoint>& curve) {
  double peak = -std::numeric_limits<double>::infinity(), deepest = 0.0;
  for (const EquityPoint& point : curve) {
    peak = std::max(peak, point.equity);
    deepest = std::min(deepest, point.equity - peak);
  }
  return deepest;
}

std::optional<GuardStatistics> ParseGuardStatistics(const std::string& text) {
  // "%d / %0.2f / %0.2f / %0.2f", or "0 / - / - / -" before the first full cycle.
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(" / ", start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 3;
  }
  if (parts.size() != 4) return std::nullopt;
  GuardStatistics statistics{};
  const auto whole = [](const std::string& part, auto& value) {
    const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
    return result.ec == std::errc() && result.ptr == part.data() + part.size();
  };
  if (!whole(parts[0], statistics.snaps)) return std::nullopt;
  std::optional<double>* fields[] = {&statistics.averageDrawdown, &statistics.medianDrawdown,
                                     &statistics.lowestDrawdown};
  for (std::size_t i = 0; i < 3; ++i) {
    if (parts[i + 1] == "-") continue;
    double value = 0.0;
    if (!whole(parts[i + 1], value)) return std::nullopt;
    *fields[i] = value;
  }
  return statistics;
}

}  // namespace zt::sim
