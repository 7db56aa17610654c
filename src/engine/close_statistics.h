// Close statistics: one ring slot per close cycle, summaries over the slots that count, and the
// statistics file once the last of the 512 slots is filled.
#pragma once

namespace zt::engine {

// Records the closing cycle's margin and drawdown in its ring slot and recomputes the averages,
// the median and the lowest drawdown over the slots that count. Filling the last slot writes the
// statistics file and clears the rings; a file that cannot be created leaves them filled, to be
// tried again at the next close-all that fills the last slot.
void CloseStatistics();

}  // namespace zt::engine
