// Test-only knob of the platform seam: lets tests pin the clock so that times in the state, the
// texts and the statistics file name are known in advance. The library itself never calls these.
#pragma once

#include <cstdint>

namespace zt::platform {

// From now on Now() returns time, until ReleaseClock().
void FixClock(std::int64_t time);
void ReleaseClock();

}  // namespace zt::platform
