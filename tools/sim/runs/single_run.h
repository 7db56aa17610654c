// The simulator as a program: one run from its options to the printed report, shared by main and
// the end-to-end tests.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "figures/risk_figures.h"
#include "host/dashboard.h"
#include "host/host_driver.h"
#include "market/csv_input.h"
#include "options/sim_options.h"
#include "report/run_text.h"
#include "runs/streamed_log.h"

namespace zt::sim {

// Everything one run produced.
struct SimResult {
  HostRun run;
  Summary summary;
  Dashboard dashboard;
  std::string stateFolder;
  std::string libraryCopy;  // the library file that was loaded
  std::vector<CsvProblem> csvProblems;
  bool resumed = false;      // the input continued where a run in the state folder stopped
  bool interrupted = false;  // Ctrl-C stopped the run; the state folder holds where
  RunRisk risk;              // the figures a trader decides on, with and without the guard
};

// Loads the library into the state folder, runs the host over the input and reads the panel.
// sinks, when set, are handed every event and cycle as the run goes (a log and a whole JSON's lists
// streamed as they grow): the run then keeps no more events than the tail, the chart and the JSON
// show. Throws std::exception subclasses with a user-readable message.
SimResult Simulate(const SimOptions& options, const RunSinks& sinks = {});
// Simulate, then prints the report (or JSON) to out and notes to err, writes the files the
// options name. Returns the program's exit code.
int RunSimulator(const SimOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zt::sim
