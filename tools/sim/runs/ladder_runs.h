// Several ladders side by side on the same input. The library keeps its state for the whole
// process, so one process runs one guard: the simulator runs itself once per ladder, a few at a
// time, each writing its JSON into a temporary folder, and sets the results in one table.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "figures/risk_figures.h"
#include "host/host_driver.h"
#include "host/ladder.h"
#include "report/run_json.h"
#include "runs/run_pool.h"

namespace zt::sim {

struct SimOptions;

// arguments without the options named in valued (with their values, "--json F" or "--json=F")
// and the flags named in flags.
std::vector<std::string> DropOptions(const std::vector<std::string>& arguments,
                                     const std::set<std::string>& valued,
                                     const std::set<std::string>& flags);

// The command line of the run of one ladder: arguments (the program's own, without the program
// name) without the options of the side-by-side run and of outputs, with the ladder's four texts
// and a JSON output added.
std::vector<std::string> BuildLadderArguments(const std::vector<std::string>& arguments,
                                              const NamedLadder& ladder,
                                              const std::string& jsonPath);

// What one ladder's run came to, read back from its JSON; amounts in cents as there.
struct LadderFigures {
  std::string name;
  std::vector<std::string>
      ladderParts;  // the ladder as the library read it: "TP ...", "DD ", "INC ", "SL "
  long long ticks = 0;
  long long endEquity = 0, unguardedEndEquity = 0;
  long long deepestDrawdown = 0, unguardedDeepestDrawdown = 0;
  long long takeProfitCloses = 0, stopLossCloses = 0, drawdownSteps = 0, increasesPassed = 0;
  long long cycles = 0;
  // Realised result per closed cycle (equity left less the cycle's snapshot); unset without cycles.
  std::optional<long long> realisedAverage, realisedMedian, realisedLowest, realisedHighest;
  // With the guard and without it: positions the broker stopped out (unset where no broker
  // trades: the account model's walk, an equity history) and what trading cost, by kind.
  std::optional<long long> stopOuts, unguardedStopOuts;
  CostsPaid costs, unguardedCosts;
};
// Reads a run's brief JSON (--json-brief); throws std::runtime_error when it is not one. A JSON
// without risk figures leaves the stop-outs and costs unset.
LadderFigures ReadLadderFigures(const std::string& name, const std::string& json);

// The comparison as a table that fits 100 columns: the account without the guard once, then one
// row per ladder; then the broker's stop-outs and the costs by kind in the same rows; then the
// ladders themselves. The account model's market depends on the closes
// (their durations come from the walk's random numbers), so when the ladders' accounts without
// the guard differ, each ladder's own follows its row.
std::string FormatLadderTable(const std::vector<LadderFigures>& ladders);
// The same as a JSON document: the baseline and one entry per ladder. Each account ("withGuard",
// "withoutGuard") holds its end equity, deepest drawdown, "stopOuts" (null without a broker) and
// "costs" in cents: spread, commission, swap, closes (--close-cost; null where unknown) and total.
std::string FormatLadderJson(const std::vector<LadderFigures>& ladders, const Modelling& modelling,
                             const std::vector<NamedLadder>& named);

// Runs every ladder of options.ladders, at most options.jobs at a time, and prints the table (or
// writes the JSON). Returns the program's exit code: 1 when a ladder's run failed (its error is
// shown under the ladder's name), 130 after Ctrl-C.
int RunLadders(const SimOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zt::sim
