// What the figures say in words: the one to three sentences a report opens with, and the rules
// behind them that the tables share (when a difference between ladders matters, how the recovery
// factor ranks a loss). A trader reads the verdict first and the tables to check it, so every
// claim in it is a comparison the tables show, and none is made where the runs' own spread is
// larger than the difference.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zt::sim {

// One ladder's (or no guard's) end result: over many runs the median, 5th and 95th percentile of
// the runs; on one market the one end result in all three.
struct Outcome {
  std::string name;
  bool noGuard = false;
  double median = 0.0, p5 = 0.0, p95 = 0.0;  // end equity less start equity
  double worst = 0.0;
  std::size_t runs = 1;
  // Of the runs, the share in which the broker stopped a position out (on one market 0 or 1);
  // unset where the market has no broker.
  std::optional<double> stopOutShare;
};

// A difference in money smaller than this is no difference: 1 % of the deposit.
double SmallestMatteringAmount(double deposit);

// How far apart two end results must be before one is called better: 1 % of the deposit, or,
// over many runs, the runs' spread of either median ((95th - 5th percentile) / sqrt(runs), about
// two standard errors of a median), whichever is larger.
double MatteringDifference(const Outcome& a, const Outcome& b, double deposit);

// The recovery factor as traders know it, net profit over the deepest drawdown, for a run that
// gained; a loss has none (a ratio of two losses would rank the larger loser better).
std::optional<double> RecoveryFactor(double endResult, double deepestDrawdown);
// Its order, higher first: every gain above every loss, a gain by its recovery factor (no fall at
// all first), a loss by its size (the smaller loss first).
double RankRecovery(double endResult, double deepestDrawdown);

// The verdict: which ladder ended best (or that the runs do not tell the ladders apart), whether
// any made money, and how often the broker stopped out the account without a guard and with the
// ladders. deposit is the starting balance; amounts are in the account's currency.
std::string WriteVerdict(const std::vector<Outcome>& outcomes, double deposit);

}  // namespace zt::sim
