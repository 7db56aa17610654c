// The clock the library reads while the simulator drives it.
//
// The guard stamps its snapshots, drawdowns, dashboard title and statistics-file names with the
// time its platform layer takes from the C library: time() for "now" and localtime_r() to turn it
// into a calendar. A terminal would give it the wall clock, but a simulated history has its own
// clock: the simulator defines both functions in its own executable and exports them
// (clock_exports.list), so the library it loads with dlopen binds to them instead of the C
// library's. While a SimulatedClockScope lives they answer the simulated time, read as UTC like
// every time the simulator prints; otherwise they pass through to the real clock and time zone.
#pragma once

#include <cstdint>

namespace zt::sim {

// Moves the simulated clock to time (seconds since 1970, UTC). The host driver calls this before
// every call into the library; it has no effect while no scope is active.
void SetSimulatedTime(std::int64_t time);

// Hands the library the simulated clock, starting at start, for the scope's lifetime. One at a
// time: the library's state, and so its clock, is process-wide.
class SimulatedClockScope {
 public:
  explicit SimulatedClockScope(std::int64_t start);
  ~SimulatedClockScope();
  SimulatedClockScope(const SimulatedClockScope&) = delete;
  SimulatedClockScope& operator=(const SimulatedClockScope&) = delete;
};

}  // namespace zt::sim
