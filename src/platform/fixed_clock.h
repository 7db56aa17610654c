// A clock that tests can pin, shared by both platform files: Now() asks FixedNow() first. Only
// the test hooks (boundary/test_hooks.h) pin it; the library itself never does.
#pragma once

#include <cstdint>

namespace zt::platform {

// Returns true and sets *time when the clock is pinned.
bool FixedNow(std::int64_t* time);

// From now on Now() returns time, until ReleaseClock().
void FixClock(std::int64_t time);
void ReleaseClock();

}  // namespace zt::platform
