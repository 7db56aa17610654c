#include "report/figure_definitions.h"

#include <algorithm>

namespace zt::sim {
namespace {

// Every term a column's group or heading may be, with its meaning. Amounts are in the account's
// currency; "the deposit" is the starting balance.
const std::vector<Definition>& Terms() {
  static const std::vector<Definition> terms = {
      {"end equity", "balance plus the open trades' result when the run ended."},
      {"end result", "end equity less the starting equity: a gain, or a loss when negative."},
      {"deepest drawdown",
       "the largest fall of equity from the highest it had been before, at any tick of the run "
       "(0 or negative)."},
      {"median",
       "over the runs: half the runs ended above the median, half below; 5th % and 95th %: 5 % "
       "of the runs ended below the 5th percentile and 5 % above the 95th; worst: the single "
       "worst run."},
      {"closes",
       "TP and SL: the guard's close-alls at a take-profit target and at a stop loss; stop-out: "
       "positions the broker closed because the margin level fell to its stop-out level."},
      {"closes in all runs",
       "the same closes counted over every run together: TP and SL the guard's close-alls, "
       "stop-out the positions the broker closed."},
      {"cycles",
       "closed cycles: each runs from one snapshot of equity to the guard's next close-all, "
       "after which the equity left becomes the next snapshot."},
      {"realised per cycle",
       "equity left after a cycle's close-all less the snapshot the cycle began from: what a "
       "cycle banked (average, median, lowest and highest over the cycles)."},
      {"days under water",
       "time the equity spent below the highest it had been: the longest spell, and all spells "
       "together. Shown as a share of the run's length where every row was under water nearly "
       "throughout (90 % or more), since then the days only repeat the run's length."},
      {"longest SL run", "the most stop-loss close-alls in a row."},
      {"costs",
       "what trading cost the account: spread, commissions and swaps where the market has them, "
       "or the given cost of each close-all."},
      {"costs per run", "the costs of the average run (spread, commission, swap, close-alls)."},
      {"spread", "what buying at the ask and selling at the bid cost."},
      {"commission", "the broker's commission, per lot and side (opening and closing)."},
      {"swap", "overnight financing per lot and night, charged or paid (Wednesday books three)."},
      {"stop-outs",
       "positions the broker closed because the margin level fell to its stop-out "
       "level."},
      {"open at end",
       "the result of the trades still open when the run ended, not yet realised (the end "
       "equity includes it)."},
      {"stopped out", "the share of runs in which the broker stopped out at least one position."},
      {"recovery factor",
       "the median end result over the median deepest drawdown's depth, for a ladder whose "
       "median run gained: 2 means it gained twice its deepest fall. A median loss shows "
       "\"loss\" and ranks below every gain, the larger loss lower."},
  };
  return terms;
}

const Definition* Find(const std::string& term) {
  const std::vector<Definition>& terms = Terms();
  const auto at = std::find_if(terms.begin(), terms.end(),
                               [&term](const Definition& d) { return d.term == term; });
  return at == terms.end() ? nullptr : &*at;
}

}  // namespace

std::vector<Definition> DefineColumns(const std::vector<FigureColumn>& columns) {
  std::vector<Definition> out;
  const auto add = [&out](const std::string& term) {
    const Definition* d = Find(term);
    if (d == nullptr) return;
    for (const Definition& had : out) {
      if (had.term == d->term) return;
    }
    out.push_back(*d);
  };
  for (const FigureColumn& column : columns) {
    add(column.group);
    // A cycle's median, lowest and highest are said in the group's own definition.
    if (column.group != "realised per cycle")
      add(column.heading == "median total" ? "days under water" : column.heading);
  }
  return out;
}

std::vector<Definition> DefineLadderTerms() {
  return {
      {"TP",
       "take-profit sets: the gain over the snapshot at which the guard closes every trade; "
       "a set's next amount applies after each drawdown target passed."},
      {"DD",
       "drawdown-target sets: falls below the snapshot at which the guard steps to the "
       "set's next take profit (so one more take profit than drawdown targets)."},
      {"INC",
       "equity-increase targets: equity levels; a new snapshot at or past one moves the "
       "guard to the next set and stop loss; past the last the last set stays."},
      {"SL",
       "stop losses: the fall below the snapshot at which the guard closes every trade, "
       "one per set."},
  };
}

std::vector<Definition> DefineAlertTexts() {
  return {
      {"$", "the library's sign for an amount, whatever the account's currency."},
      {"SL: -$9900.00",
       "in a stop-loss alert: the equity level of the stop loss (the snapshot "
       "less the stop-loss amount), not a loss of that size."},
      {"DD, DDT", "drawdown, drawdown target: a fall below the snapshot."},
      {"EIT",
       "equity-increase target: the next equity level that moves the guard to its next "
       "set."},
      {"TTC", "time to close: how long closing every trade took."},
  };
}

}  // namespace zt::sim
