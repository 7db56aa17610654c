// --write-bars: the price model's prices written as a bar history instead of a run, the file
// tools/sim/make-bar-history.sh makes the bundled sample with.
#pragma once

#include <iosfwd>

namespace zt::sim {

struct SimOptions;

// The price model's bars into the file options.writeBarsPath, no guard run. Returns the exit code.
int WriteBars(const SimOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zt::sim
