// The figures a trader decides on, for one run and over many: how the account ended, how deep it
// fell, how long it stayed below its best, what trading cost, and whether the broker had to step
// in. A run measures them for the account with the guard and for the same account without it; many
// runs of a ladder are summed up by their median, their 5th and 95th percentiles and their worst.
#pragma once

#include <cstdint>
#include <limits>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/host_driver.h"

namespace zt::sim {

struct AccountModel;
class PositionMarket;

// Equity below the highest it has been, tick by tick: the deepest fall, and the time spent below
// the peak (a cent's rounding is no fall), the longest spell and all of them together, from the
// tick the equity fell under the peak to the tick it reached it again or the run ended.
class UnderWater {
 public:
  void Add(std::int64_t time, double equity);
  double deepest() const { return deepest_; }  // <= 0
  std::int64_t longestSeconds() const { return longest_; }
  std::int64_t totalSeconds() const { return total_; }

 private:
  double peak_ = -std::numeric_limits<double>::infinity();
  double deepest_ = 0.0;
  std::optional<std::int64_t> lastTime_;
  std::optional<std::int64_t> underSince_;
  std::int64_t longest_ = 0;
  std::int64_t total_ = 0;
};

// What trading cost an account, by kind; a kind the account does not know is unset. The account
// model's walk and a CSV history know only --close-cost per close-all; the account of positions
// knows the spread, the commissions and the swaps.
struct CostsPaid {
  std::optional<double> spread, commission, swap, closes;
  double Total() const {
    return spread.value_or(0.0) + commission.value_or(0.0) + swap.value_or(0.0) +
           closes.value_or(0.0);
  }
};

// One account over one run.
struct AccountRisk {
  double endResult = 0.0;        // end equity less start equity
  double deepestDrawdown = 0.0;  // lowest equity less the highest before it, <= 0
  double longestUnderWaterDays = 0.0;
  double totalUnderWaterDays = 0.0;
  std::int64_t takeProfitCloses = 0;  // the guard's close-alls
  std::int64_t stopLossCloses = 0;
  std::int64_t longestStopLossRun = 0;  // stop-loss closes in a row
  std::optional<std::int64_t>
      stopOutCloses;  // positions the broker stopped out; unset without a broker
  CostsPaid costs;
  std::optional<double> openResult;  // the open trades' result at the end, when the market knows it
};

// The account with the guard and the same account, on the same market, that no guard closes.
struct RunRisk {
  AccountRisk guarded, unguarded;
};

// Watches the equity of both accounts as a run goes (wrapping the market's ticks), then puts the
// figures together from the host's record and the market's accounts at the end.
class RiskWatch {
 public:
  // market's ticks pass through the watch from now on; the watch must outlive the run. opening,
  // when given, is what both accounts held before the start figures' trades (the deposit of a
  // price model whose strategy trades at the first tick): the end results are measured from it, so
  // that they hold every cost the costs count.
  void Watch(Market& market, std::optional<double> opening = std::nullopt);
  // The figures of a finished run. positions or walk is the seeded market the run had (neither for
  // a CSV history); walkUnguarded the walk's equity without the guard; closeCost what a close-all
  // cost the walk and a CSV history.
  RunRisk Figures(const HostRun& run, const PositionMarket* positions, const AccountModel* walk,
                  double walkUnguarded, double closeCost) const;

 private:
  double guardedStart_ = 0.0, unguardedStart_ = 0.0;
  double guardedEnd_ = 0.0, unguardedEnd_ = 0.0;
  UnderWater guarded_, unguarded_;
};

// One account's figures as JSON: amounts in whole cents, times in days, what the account does not
// know null.
nlohmann::ordered_json AccountRiskToJson(const AccountRisk& account);

// A run's figures as the "risk" member of its JSON (amounts in whole cents, times in days), and
// back from a run's whole JSON document; Read throws std::runtime_error when it holds none.
std::string RunRiskToJson(const RunRisk& risk);
RunRisk ReadRunRisk(const std::string& runJson);

// ---- Over many runs ----

// The value below which fraction (0 to 1) of the values lie, by straight lines between the sorted
// values at ranks 0 to n - 1 (rank fraction x (n - 1)); 0 for no values.
double Percentile(std::vector<double> values, double fraction);

// Median, 5th and 95th percentile, and the worst of one figure over the runs.
struct FigureSpread {
  double median = 0.0, p5 = 0.0, p95 = 0.0, worst = 0.0;
};
// worstIsLowest: the worst value is the lowest (an end result) or the highest (days under water).
FigureSpread MeasureSpread(const std::vector<double>& values, bool worstIsLowest);

// One ladder (or no guard) over all its runs.
struct LadderRisk {
  std::string name;
  bool noGuard = false;
  std::size_t runs = 0;
  FigureSpread endResult, deepestDrawdown, longestUnderWaterDays, totalUnderWaterDays;
  std::optional<FigureSpread> openResult;
  std::optional<double> stopOutShare;  // of the runs in which the broker stopped a position out
  std::optional<double> returnOverDrawdown;  // median end result over the median drawdown's depth
  std::int64_t longestStopLossRun = 0;       // the longest in any run
  std::int64_t takeProfitCloses = 0, stopLossCloses = 0;  // in all runs together
  std::optional<std::int64_t> stopOutCloses;
  CostsPaid costsPerRun;  // the average run's, by kind
};
LadderRisk SumUpRuns(const std::string& name, bool noGuard, const std::vector<AccountRisk>& runs);

}  // namespace zt::sim
