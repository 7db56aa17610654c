#include "host/simulated_clock.h"

#include <dlfcn.h>

#include <atomic>
#include <ctime>
#include <stdexcept>

#include "clock_answer.h"

namespace zt::sim {
namespace {

std::atomic<bool> simulating{false};
std::atomic<std::int64_t> simulatedTime{0};

using LocalTimeFunction = struct tm* (*)(const time_t*, struct tm*);

// The C library's own localtime_r, the next definition after ours in the lookup order.
LocalTimeFunction RealLocalTime() {
  static const auto real = reinterpret_cast<LocalTimeFunction>(dlsym(RTLD_NEXT, "localtime_r"));
  return real;
}

}  // namespace

void SetSimulatedTime(std::int64_t time) { simulatedTime.store(time, std::memory_order_relaxed); }

SimulatedClockScope::SimulatedClockScope(std::int64_t start) {
  if (simulating.exchange(true)) throw std::logic_error("a simulated clock is already running");
  SetSimulatedTime(start);
}

SimulatedClockScope::~SimulatedClockScope() { simulating.store(false); }

}  // namespace zt::sim

// The C library's names, defined here so that they win over its own for every module of the
// process, the dlopened library included. Outside a scope they behave exactly as the C library's.
extern "C" {

time_t time(time_t* out) noexcept {
  return zt::tools::ClockAnswer(out, zt::sim::simulating.load(std::memory_order_relaxed),
                                zt::sim::simulatedTime.load(std::memory_order_relaxed));
}

struct tm* localtime_r(const time_t* time, struct tm* out) noexcept {
  // Simulated times are UTC, whatever the machine's time zone, so a run reads the same anywhere.
  if (zt::sim::simulating.load(std::memory_order_relaxed)) return gmtime_r(time, out);
  const zt::sim::LocalTimeFunction real = zt::sim::RealLocalTime();
  return real != nullptr ? real(time, out) : gmtime_r(time, out);
}

}  // extern "C"
