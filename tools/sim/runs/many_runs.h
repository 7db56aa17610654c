// Every ladder on many seeded markets: one market is a story, and a ladder that looks good on one
// seed may be the one that loses most on the next. --runs N runs each ladder on the markets of
// seeds seed, seed + 1, ..., all ladders meeting the same N markets, and sets out per ladder what
// a trader decides on: the spread of end results and drawdowns, how often the broker stopped the
// account out, time under water, runs of stop losses, closes and costs. "No guard" is the same
// strategy on the same markets with nothing closing it: the twin account every run trades beside
// the guarded one (on the walk, the same walk never closed), exact because no close of the guard
// ever reaches it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "figures/risk_ranking.h"

namespace zt::sim {

struct SimOptions;

// What the runs were made on, for the heading.
struct RunsInput {
  std::string market;  // "grid strategy on a price model"
  bool walk = false;   // the account model's walk: a guard changes nothing but costs there
  std::uint64_t firstSeed = 0;
  std::size_t runs = 0;
  std::int64_t ticks = 0;
  std::string rankBy;
  std::string prices;  // how the prices were made (NameModelling); empty for the walk
  bool bars = false;   // one bar history, its bars walked another way for each seed
};

// The ranked ladders as two tables that fit 100 columns (results and drawdowns; stop-outs, time
// under water, closes and costs), with the heading and the walk's note.
std::string FormatRunsTable(const RunsInput& input, const std::vector<LadderRisk>& ranked);
// Every figure as JSON, with each ladder's runs seed by seed.
std::string FormatRunsJson(const RunsInput& input, const std::vector<LadderRisk>& ranked,
                           const std::vector<std::vector<AccountRisk>>& perRun,
                           const std::vector<std::string>& perRunNames);

// Runs every ladder (options.ladders, or the one ladder the target options give) on options.runs
// seeded markets, options.jobs processes at a time, and prints the tables (or writes the JSON).
// Returns the program's exit code: 1 when a run failed, 130 after Ctrl-C.
int RunMany(const SimOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zt::sim
