// The report page of each kind of run, put together from the very document --json writes (so the
// page and the JSON cannot disagree) and from the runs' sampled curves: one ladder on one market,
// several ladders side by side, or every ladder on many seeded markets.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "figures/sampled_curves.h"
#include "host/host_driver.h"
#include "options/run_record.h"
#include "report/report_page.h"

namespace zt::sim {

// What was run, for the page's first section.
struct RunDescription {
  std::string title;               // the page's heading
  std::string input;               // "grid strategy on a price model (seed 1, ...)"
  std::string prices;              // how its prices were made: "bars walked with 60 ticks a bar"
  std::string history;             // what the price history file says it is, where it says so
  RunRecord record;                // every input and its value
  bool strategy = false;           // a strategy trades the account (not a recorded curve)
  std::vector<PageFact> ladders;   // each ladder's name and how the library reads it
  std::vector<std::string> notes;  // what the figures cannot say
};
// The facts of description: input, strategy and its options, account and costs, seeds, program.
std::vector<PageFact> ListRunFacts(const RunDescription& description);

// One ladder on one market: runJson is the run's JSON document (brief or whole), runChart the
// run's SVG chart.
ReportPage BuildSingleRunPage(const RunDescription& description, const std::string& runJson,
                              const HostRun& run, const std::string& runChart);

// Several ladders side by side: laddersJson is the comparison's JSON document, curves each
// ladder's run in the order of the document's ladders.
ReportPage BuildLaddersPage(const RunDescription& description, const std::string& laddersJson,
                            const std::vector<SampledCurves>& curves);

// Many runs: runsJson is the ranked document; order the names in their colours' order (no guard
// first); curves[name's index][run] its equity at times.
ReportPage BuildRunsPage(const RunDescription& description, const std::string& runsJson,
                         const std::vector<std::string>& order,
                         const std::vector<std::vector<std::vector<double>>>& curves,
                         const std::vector<std::int64_t>& times);

}  // namespace zt::sim
