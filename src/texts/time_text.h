// TimeText: the one way the guard shows a time, as local "YYYY.MM.DD hh:mm".
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace zt::texts {

constexpr int kTimeTextSize = 17;  // 16 characters and the NUL

// Writes time as local "%04d.%02d.%02d %02d:%02d" into out (capacity bytes, cut to fit, always
// terminated; kTimeTextSize holds it whole) and returns out. A time the platform cannot convert
// (negative, or beyond its calendar) writes "----.--.-- --:--".
char* TimeText(std::int64_t time, char* out, int capacity);

// Local calendar time of a time, converting each second once: a dashboard redraw shows the same
// few times in many cells, so the last conversions are kept. Returns false when not convertible.
bool CachedLocalTime(std::int64_t time, platform::CalendarTime* out);

// Drops the kept conversions (after the time zone changed, or when a test starts over).
void ForgetCachedTimes();

}  // namespace zt::texts
