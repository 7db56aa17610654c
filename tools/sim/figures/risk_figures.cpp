#include "figures/risk_figures.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "market/account_model.h"
#include "trading/position_market.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;

constexpr double kHalfCent = 0.005;  // equity this close to its peak is at the peak
constexpr double kSecondsPerDay = 86400.0;

Json Cents(double amount) { return static_cast<std::int64_t>(std::llround(amount * 100.0)); }
Json Cents(const std::optional<double>& amount) { return amount ? Cents(*amount) : Json(nullptr); }
template <typename T>
Json Optional(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

double FromCents(const Json& cents) { return cents.get<double>() / 100.0; }
std::optional<double> OptionalFromCents(const Json& cents) {
  return cents.is_null() ? std::nullopt : std::optional<double>(FromCents(cents));
}

// The broker's side of an account of positions at the end of a run.
void TakeAccount(const TradingAccount& account, AccountRisk& risk) {
  risk.stopOutCloses = account.stopOuts;
  risk.costs.spread = account.costs.spread;
  risk.costs.commission = account.costs.commission;
  risk.costs.swap = account.costs.swap;
  risk.openResult = Floating(account);
}

}  // namespace

Json AccountRiskToJson(const AccountRisk& a) {
  return {{"endResult", Cents(a.endResult)},
          {"deepestDrawdown", Cents(a.deepestDrawdown)},
          {"underWater",
           {{"longestDays", a.longestUnderWaterDays}, {"totalDays", a.totalUnderWaterDays}}},
          {"closes",
           {{"takeProfit", a.takeProfitCloses},
            {"stopLoss", a.stopLossCloses},
            {"stopOut", Optional(a.stopOutCloses)}}},
          {"longestStopLossRun", a.longestStopLossRun},
          {"costs",
           {{"spread", Cents(a.costs.spread)},
            {"commission", Cents(a.costs.commission)},
            {"swap", Cents(a.costs.swap)},
            {"closes", Cents(a.costs.closes)},
            {"total", Cents(a.costs.Total())}}},
          {"openResult", Cents(a.openResult)}};
}

namespace {

AccountRisk ReadAccount(const Json& j) {
  AccountRisk a;
  a.endResult = FromCents(j.at("endResult"));
  a.deepestDrawdown = FromCents(j.at("deepestDrawdown"));
  a.longestUnderWaterDays = j.at("underWater").at("longestDays").get<double>();
  a.totalUnderWaterDays = j.at("underWater").at("totalDays").get<double>();
  const Json& closes = j.at("closes");
  a.takeProfitCloses = closes.at("takeProfit").get<std::int64_t>();
  a.stopLossCloses = closes.at("stopLoss").get<std::int64_t>();
  if (!closes.at("stopOut").is_null()) a.stopOutCloses = closes.at("stopOut").get<std::int64_t>();
  a.longestStopLossRun = j.at("longestStopLossRun").get<std::int64_t>();
  const Json& costs = j.at("costs");
  a.costs = {OptionalFromCents(costs.at("spread")), OptionalFromCents(costs.at("commission")),
             OptionalFromCents(costs.at("swap")), OptionalFromCents(costs.at("closes"))};
  a.openResult = OptionalFromCents(j.at("openResult"));
  return a;
}

}  // namespace

void UnderWater::Add(std::int64_t time, double equity) {
  // The time since the last tick was spent under water when the equity stood below its peak then.
  if (lastTime_ && underSince_) total_ += time - *lastTime_;
  if (equity >= peak_ - kHalfCent) {
    if (underSince_)
      longest_ = std::max(longest_, time - *underSince_);  // the spell ends at this tick
    underSince_.reset();
    peak_ = std::max(peak_, equity);
  } else if (!underSince_) {
    underSince_ = time;
  }
  deepest_ = std::min(deepest_, equity - peak_);
  if (underSince_) longest_ = std::max(longest_, time - *underSince_);
  lastTime_ = time;
}

void RiskWatch::Watch(Market& market, std::optional<double> opening) {
  guardedStart_ = guardedEnd_ = market.start.equity;
  guarded_.Add(market.start.time, market.start.equity);
  const std::function<double()> without = market.unguardedEquity;
  if (without) {
    unguardedStart_ = unguardedEnd_ = without();
    unguarded_.Add(market.start.time, unguardedStart_);
  }
  if (opening) guardedStart_ = unguardedStart_ = *opening;
  market.nextTick = [this, inner = std::move(market.nextTick),
                     without]() -> std::optional<AccountFigures> {
    std::optional<AccountFigures> figures = inner();
    if (!figures) return figures;
    guardedEnd_ = figures->equity;
    guarded_.Add(figures->time, figures->equity);
    if (without) {
      unguardedEnd_ = without();
      unguarded_.Add(figures->time, unguardedEnd_);
    }
    return figures;
  };
  // The host asks for the same equity after each tick: the one just read serves it.
  if (without) market.unguardedEquity = [this] { return unguardedEnd_; };
}

RunRisk RiskWatch::Figures(const HostRun& run, const PositionMarket* positions,
                           const AccountModel* walk, double walkUnguarded, double closeCost) const {
  RunRisk risk;
  const auto curve = [](AccountRisk& a, double start, double end, const UnderWater& water) {
    a.endResult = end - start;
    a.deepestDrawdown = water.deepest();
    a.longestUnderWaterDays = static_cast<double>(water.longestSeconds()) / kSecondsPerDay;
    a.totalUnderWaterDays = static_cast<double>(water.totalSeconds()) / kSecondsPerDay;
  };
  AccountRisk& g = risk.guarded;
  AccountRisk& u = risk.unguarded;
  curve(g, guardedStart_, guardedEnd_, guarded_);
  curve(u, unguardedStart_, unguardedEnd_, unguarded_);
  g.takeProfitCloses = CountEvents(run, EventKind::TakeProfitClose);
  g.stopLossCloses = CountEvents(run, EventKind::StopLossClose);
  g.longestStopLossRun = run.tally.longestStopLossRun;
  if (positions != nullptr) {
    TakeAccount(positions->guarded(), g);
    TakeAccount(positions->unguarded(), u);
    return risk;
  }
  // The walk and a history: what a close-all costs is all the costs they know.
  g.costs.closes = static_cast<double>(run.tally.cycles) * closeCost;
  u.costs.closes = 0.0;
  if (walk != nullptr) {
    g.openResult = walk->floating;
    // The account without the guard never closes: its balance is still the starting one.
    u.openResult = walkUnguarded - RoundToCents(walk->start.balance);
  }
  return risk;
}

std::string RunRiskToJson(const RunRisk& risk) {
  return Json{{"withGuard", AccountRiskToJson(risk.guarded)},
              {"withoutGuard", AccountRiskToJson(risk.unguarded)}}
      .dump();
}

RunRisk ReadRunRisk(const std::string& runJson) {
  try {
    const Json risk = Json::parse(runJson).at("risk");
    return RunRisk{ReadAccount(risk.at("withGuard")), ReadAccount(risk.at("withoutGuard"))};
  } catch (const Json::exception& error) {
    throw std::runtime_error("its JSON holds no risk figures (" + std::string(error.what()) + ")");
  }
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double rank = std::clamp(fraction, 0.0, 1.0) * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(rank));
  const std::size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (rank - static_cast<double>(below)) * (values[above] - values[below]);
}

FigureSpread MeasureSpread(const std::vector<double>& values, bool worstIsLowest) {
  if (values.empty()) return {};
  const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
  return {Percentile(values, 0.5), Percentile(values, 0.05), Percentile(values, 0.95),
          worstIsLowest ? *lowest : *highest};
}

namespace {

// The average run's cost of one kind: unset when no run knows it.
std::optional<double> AverageCost(const std::vector<AccountRisk>& runs,
                                  std::optional<double> CostsPaid::*kind) {
  double sum = 0.0;
  bool known = false;
  for (const AccountRisk& run : runs) {
    if (!(run.costs.*kind)) continue;
    known = true;
    sum += *(run.costs.*kind);
  }
  return known ? std::optional<double>(sum / static_cast<double>(runs.size())) : std::nullopt;
}

}  // namespace

LadderRisk SumUpRuns(const std::string& name, bool noGuard, const std::vector<AccountRisk>& runs) {
  LadderRisk l;
  l.name = name;
  l.noGuard = noGuard;
  l.runs = runs.size();
  std::vector<double> ends, drawdowns, longest, total, open;
  std::size_t stoppedOut = 0, withBroker = 0;
  for (const AccountRisk& run : runs) {
    ends.push_back(run.endResult);
    drawdowns.push_back(run.deepestDrawdown);
    longest.push_back(run.longestUnderWaterDays);
    total.push_back(run.totalUnderWaterDays);
    if (run.openResult) open.push_back(*run.openResult);
    l.longestStopLossRun = std::max(l.longestStopLossRun, run.longestStopLossRun);
    l.takeProfitCloses += run.takeProfitCloses;
    l.stopLossCloses += run.stopLossCloses;
    if (run.stopOutCloses) {
      ++withBroker;
      l.stopOutCloses = l.stopOutCloses.value_or(0) + *run.stopOutCloses;
      if (*run.stopOutCloses > 0) ++stoppedOut;
    }
  }
  l.endResult = MeasureSpread(ends, true);
  l.deepestDrawdown = MeasureSpread(drawdowns, true);
  l.longestUnderWaterDays = MeasureSpread(longest, false);
  l.totalUnderWaterDays = MeasureSpread(total, false);
  if (!runs.empty() && open.size() == runs.size()) l.openResult = MeasureSpread(open, true);
  if (!runs.empty() && withBroker == runs.size()) {
    l.stopOutShare = static_cast<double>(stoppedOut) / static_cast<double>(runs.size());
  }
  if (const double depth = -l.deepestDrawdown.median; depth > kHalfCent)
    l.returnOverDrawdown = l.endResult.median / depth;
  l.costsPerRun = {AverageCost(runs, &CostsPaid::spread), AverageCost(runs, &CostsPaid::commission),
                   AverageCost(runs, &CostsPaid::swap), AverageCost(runs, &CostsPaid::closes)};
  return l;
}

}  // namespace zt::sim
