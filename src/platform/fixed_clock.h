// Internal to the platform files: the pinned time, if a test pinned one.
#pragma once

#include <cstdint>

namespace zt::platform {

// Returns true and sets *time when the clock is pinned (see test_clock.h).
bool FixedNow(std::int64_t* time);

}  // namespace zt::platform
