// zt-sim: a trading terminal's host, on the command line. See --help.
#include <iostream>
#include <string>
#include <vector>

#include "runs/ladder_runs.h"
#include "runs/many_runs.h"
#include "runs/single_run.h"
#include "runs/write_bars.h"
#include "system/console.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = zt::sim::system::ProgramArguments(argc, argv);
  const zt::sim::ParsedCommandLine parsed =
      zt::sim::ParseCommandLine(arguments, std::cout, std::cerr);
  if (!parsed.options) return parsed.exitCode;
  if (!parsed.options->writeBarsPath.empty())
    return zt::sim::WriteBars(*parsed.options, std::cout, std::cerr);
  const zt::sim::SimOptions& options = *parsed.options;
  const int code = options.runs > 0 ? zt::sim::RunMany(options, std::cout, std::cerr)
                   : !options.ladders.empty()
                       ? zt::sim::RunLadders(options, std::cout, std::cerr)
                       : zt::sim::RunSimulator(options, std::cout, std::cerr);
  // The page of a run that ended, or was stopped and still wrote it.
  if (options.openReport && !options.reportPath.empty() && (code == 0 || code == 130)) {
    if (const std::string problem = zt::sim::system::OpenWithDefaultProgram(options.reportPath);
        !problem.empty())
      std::cerr << "zt-sim: --open: " << problem << "\n";
  }
  return code;
}
