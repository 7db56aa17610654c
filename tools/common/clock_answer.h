// What a program answers when it replaces the C library's time() for a guard library it loads
// (the simulator, the panel pictures' terminal): the simulated second while there is one, else the
// real clock's, stored through out as time() does. The library stamps its titles, snapshots and
// statistics with time(), so a run on a simulated clock reads the same wherever and whenever it
// runs.
#pragma once

#include <cstdint>
#include <ctime>

namespace zt::tools {

inline time_t ClockAnswer(time_t* out, bool simulating, std::int64_t simulatedSecond) noexcept {
  time_t now = 0;
  if (simulating) {
    now = static_cast<time_t>(simulatedSecond);
  } else {
    timespec real{};
    clock_gettime(CLOCK_REALTIME, &real);
    now = real.tv_sec;
  }
  if (out != nullptr) *out = now;
  return now;
}

}  // namespace zt::tools
