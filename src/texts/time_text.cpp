#include "texts/time_text.h"

#include <array>

#include "core/text_builder.h"

namespace zt::texts {
namespace {

// A redraw shows up to six distinct times in its cells (snapshot, previous snapshot, the two
// drawdowns, the two extremes) and the title's current second.
constexpr int kCachedTimes = 8;

struct CachedConversion {
  std::int64_t time;
  std::uint64_t lastUse;  // useCount when the slot was last asked for; 0: empty slot
  bool convertible;       // the platform could convert time
  platform::CalendarTime calendar;
};

std::array<CachedConversion, kCachedTimes> cache{};
std::uint64_t useCount = 0;

}  // namespace

bool CachedLocalTime(std::int64_t time, platform::CalendarTime* out) {
  ++useCount;
  // The least recently asked-for slot gives way: when the title's second moves on, the second it
  // replaces is the one dropped, not a cell's time that the same redraw asks for again.
  CachedConversion* oldest = &cache[0];
  for (CachedConversion& slot : cache) {
    if (slot.lastUse != 0 && slot.time == time) {
      slot.lastUse = useCount;
      *out = slot.calendar;
      return slot.convertible;
    }
    if (slot.lastUse < oldest->lastUse) oldest = &slot;
  }
  oldest->time = time;
  oldest->lastUse = useCount;
  oldest->convertible = platform::LocalTime(time, &oldest->calendar);
  *out = oldest->calendar;
  return oldest->convertible;
}

void ForgetCachedTimes() {
  cache = {};
  useCount = 0;
}

char* TimeText(std::int64_t time, char* out, int capacity) {
  core::TextBuilder text = core::StartText(out, capacity);
  platform::CalendarTime local{};
  if (!CachedLocalTime(time, &local) || local.year < 0 || local.year > 9999) {
    core::Append(text, "----.--.-- --:--");
    return out;
  }
  core::AppendPadded(text, local.year, 4);
  core::AppendChar(text, '.');
  core::AppendPadded(text, local.month, 2);
  core::AppendChar(text, '.');
  core::AppendPadded(text, local.day, 2);
  core::AppendChar(text, ' ');
  core::AppendPadded(text, local.hour, 2);
  core::AppendChar(text, ':');
  core::AppendPadded(text, local.minute, 2);
  return out;
}

}  // namespace zt::texts
