// The clock override shared by both platform files: Now() asks FixedNow() first.
#include "platform/fixed_clock.h"

namespace zt::platform {
namespace {
bool fixed = false;
std::int64_t fixedTime = 0;
}  // namespace

void FixClock(std::int64_t time) {
  fixed = true;
  fixedTime = time;
}

void ReleaseClock() { fixed = false; }

bool FixedNow(std::int64_t* time) {
  if (fixed) *time = fixedTime;
  return fixed;
}

}  // namespace zt::platform
