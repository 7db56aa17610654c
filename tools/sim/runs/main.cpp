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
  if (parsed.options->runs > 0) return zt::sim::RunMany(*parsed.options, std::cout, std::cerr);
  if (!parsed.options->ladders.empty())
    return zt::sim::RunLadders(*parsed.options, std::cout, std::cerr);
  return zt::sim::RunSimulator(*parsed.options, std::cout, std::cerr);
}
