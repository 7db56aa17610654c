// The simulated clock on Windows. There is no replacing the C runtime's clock for every module of
// a process as the Linux build does: each DLL binds msvcrt's _time64 through its own import
// table. The engine linked into zt-sim.exe, though, takes its "now" from the platform layer's
// clock, which can be pinned (platform/fixed_clock.h), and its calendar from _localtime64_s, which
// follows the TZ variable: pinned to the simulated second and read as UTC, a run reads as the same
// run on Linux does. A zentravo.dll loaded with --library would read the machine's clock, so the
// simulator refuses it there (system::LoadedLibraryReadsSimulatedClock).
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>

#include "host/simulated_clock.h"
#include "platform/fixed_clock.h"

namespace zt::sim {
namespace {

std::atomic<bool> simulating{false};
std::string zoneBefore;  // TZ as it was when the scope began ("" when it was not set)
bool zoneWasSet = false;

}  // namespace

void SetSimulatedTime(std::int64_t time) {
  if (simulating.load(std::memory_order_relaxed)) platform::FixClock(time);
}

SimulatedClockScope::SimulatedClockScope(std::int64_t start) {
  if (simulating.exchange(true)) throw std::logic_error("a simulated clock is already running");
  const char* zone = std::getenv("TZ");
  zoneWasSet = zone != nullptr;
  zoneBefore = zone != nullptr ? zone : "";
  // Simulated times are UTC, whatever the machine's time zone, so a run reads the same anywhere.
  _putenv_s("TZ", "UTC0");
  _tzset();
  platform::FixClock(start);
}

SimulatedClockScope::~SimulatedClockScope() {
  platform::ReleaseClock();
  _putenv_s("TZ", zoneWasSet ? zoneBefore.c_str() : "");
  _tzset();
  simulating.store(false);
}

}  // namespace zt::sim
