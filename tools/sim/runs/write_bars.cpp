#include "runs/write_bars.h"

#include <ostream>
#include <stdexcept>

#include "market/price_history.h"
#include "options/sim_options.h"
#include "system/output_files.h"

namespace zt::sim {

int WriteBars(const SimOptions& options, std::ostream& out, std::ostream& err) {
  try {
    system::WriteWholeFile(options.writeBarsPath, [&](std::ostream& file) {
      WriteModelBars(options.start, options.positions.prices, options.ticks, options.barMinutes,
                     file);
    });
  } catch (const std::exception& error) {
    err << "zt-sim: " << error.what() << "\n";
    return 1;
  }
  out << "bars of " << options.barMinutes << " minutes from " << options.ticks
      << " ticks of the price model (seed " << options.start.seed << ") written to "
      << options.writeBarsPath << "\n";
  return 0;
}

}  // namespace zt::sim
