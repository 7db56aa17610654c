#include "engine/close_statistics.h"

#include <algorithm>
#include <cstring>

#include "core/guard_state.h"
#include "platform/platform.h"
#include "settings/statistics_file.h"
#include "texts/time_text.h"

namespace zt::engine {
namespace {

// The summaries of the last close, carried on to the next: a close adds its own slot (and those of
// cycles that rolled without one, as they stand) instead of walking all the counted slots again
// and ordering them anew, which at a close on every few ticks was most of the guard's work. It is
// carried on only while the slots it counted still hold, bit for bit, what it counted: a restart
// or a wrap of the ring, a second close in one cycle, or the rings cleared after the statistics
// file all start the count afresh. The sums add the slots in ring order, as a walk from slot 0
// would, so the averages come out the same to the last bit.
struct CountedSlots {
  int slots;                  // ring slots 0..slots-1 are counted
  core::CycleRing margins;    // marginAtClose as counted
  core::CycleRing drawdowns;  // drawdownAtClose as counted
  core::CycleRing ascending;  // the same drawdowns in ascending order
  double marginSum;
  double drawdownSum;
};

CountedSlots counted{};

bool SameBits(const core::CycleRing& a, const core::CycleRing& b, int slots) {
  return std::memcmp(a.data(), b.data(), sizeof(double) * static_cast<std::size_t>(slots)) == 0;
}

// Brings counted up to slots 0..slots-1 of the rings.
void CountSlots(int slots) {
  const core::GuardState& g = core::guard;
  if (counted.slots > slots || !SameBits(counted.margins, g.marginAtClose, counted.slots) ||
      !SameBits(counted.drawdowns, g.drawdownAtClose, counted.slots)) {
    counted.slots = 0;
    counted.marginSum = 0.0;
    counted.drawdownSum = 0.0;
  }
  for (int i = counted.slots; i < slots; ++i) {
    const auto slot = static_cast<unsigned>(i);
    const double margin = g.marginAtClose[slot];
    const double drawdown = g.drawdownAtClose[slot];
    counted.margins[slot] = margin;
    counted.drawdowns[slot] = drawdown;
    counted.marginSum += margin;
    counted.drawdownSum += drawdown;
    double* const first = counted.ascending.data();
    double* const end = first + i;
    double* const place = std::upper_bound(first, end, drawdown);
    std::copy_backward(place, end, end + 1);
    *place = drawdown;
  }
  counted.slots = slots;
}

// Writes the 512 cycles to a new statistics file and clears the rings; a file that cannot be
// created leaves them filled, to be tried at the next close that fills the last slot.
void WriteFullRings() {
  core::GuardState& g = core::guard;
  char now[texts::kTimeTextSize];
  texts::TimeText(platform::Now(), now, texts::kTimeTextSize);
  const bool written = settings::WriteStatisticsFile(g.drawdownAtClose, g.marginAtClose, now);
  g.persistence.statisticsUnwritten = !written;
  if (!written) return;
  g.marginAtClose = {};
  g.drawdownAtClose = {};
}

}  // namespace

void CloseStatistics() {
  core::GuardState& g = core::guard;
  const int slots = g.cycleIndex + 1;
  const auto slot = static_cast<unsigned>(g.cycleIndex);

  g.marginAtClose[slot] = g.margin;
  g.lastCloseMargin = g.margin;
  g.drawdownAtClose[slot] = g.periodDrawdown;
  CountSlots(slots);
  g.averageCloseMargin = counted.marginSum / slots;
  g.averageDrawdown = counted.drawdownSum / slots;

  // The median is the middle slot in ascending order, or the mean of the two middle ones.
  const auto middle = static_cast<unsigned>((slots + 1) / 2);  // n x 0.5 rounded up
  const double lower = counted.ascending[middle - 1];
  g.medianDrawdown = slots % 2 == 0 ? (lower + counted.ascending[middle]) * 0.5 : lower;
  g.lowestDrawdown = counted.ascending[0];

  if (slots >= core::kCycleSlots) WriteFullRings();
}

}  // namespace zt::engine
