// What the options that put recorded histories in place of the lab's models do beyond filling
// SimOptions: --write-bars writes the price model's prices as a bar history instead of a run, and
// a run's title names the histories it ran on. The options themselves are read and checked with
// the others in sim_options.cpp.
#pragma once

#include <iosfwd>
#include <string>

namespace zt::sim {

struct SimOptions;

// --write-bars: the price model's bars into the file, no guard run. Returns the exit code.
int WriteBars(const SimOptions& options, std::ostream& out, std::ostream& err);

// "price history FILE" with "and deals FILE", for titles; empty when the prices are the model's.
std::string HistoryDescription(const SimOptions& options);

}  // namespace zt::sim
