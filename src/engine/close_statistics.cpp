// Close statistics: one ring slot per close cycle, summaries over the slots that count, and the
// statistics file once the last of the 512 slots is filled.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "engine/equity_check.h"
#include "core/guard_state.h"
#include "core/text_builder.h"
#include "platform/platform.h"
#include "texts/time_text.h"

namespace zt::engine {
namespace {

// A data line is "%d,%0.2f,%0.2f": up to 3 digits and two amounts of at most 312 characters.
constexpr int kStatisticsLineSize = 640;
constexpr int kStatisticsFileSize = kStatisticsLineSize * (core::kCycleSlots + 1);
// A statistics file is never replaced: a second file in the same minute gets "-2", "-3", ...
constexpr int kStatisticsNameAttempts = 100;
// settingsPath, "-stat-", the 16-character time, a "-NN" suffix and ".csv".
constexpr int kStatisticsPathSize = core::kSettingsPathSize + 40;

char fileText[kStatisticsFileSize];  // the file's contents, built before writing

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

void BuildStatisticsText(core::TextBuilder& text) {
  core::Append(text, "#,DD,Margin\n");
  for (int slot = 0; slot < core::kCycleSlots; ++slot) {
    core::AppendInt(text, slot + 1);
    core::AppendChar(text, ',');
    core::AppendFixed(text, core::guard.drawdownAtClose[static_cast<unsigned>(slot)], 2);
    core::AppendChar(text, ',');
    core::AppendFixed(text, core::guard.marginAtClose[static_cast<unsigned>(slot)], 2);
    core::AppendChar(text, '\n');
  }
}

// "<settings path without its final .ini>-stat-YYYY.MM.DD hh-mm[-N].csv"
void BuildStatisticsPath(char* out, std::string_view stamp, int attempt) {
  std::string_view base = core::guard.settingsPath;
  constexpr std::string_view kSettingsExtension = ".ini";
  if (base.size() >= kSettingsExtension.size() &&
      base.substr(base.size() - kSettingsExtension.size()) == kSettingsExtension) {
    base.remove_suffix(kSettingsExtension.size());
  }
  core::TextBuilder path = core::StartText(out, kStatisticsPathSize);
  core::Append(path, base);
  core::Append(path, "-stat-");
  core::Append(path, stamp);
  if (attempt > 1) {
    core::AppendChar(path, '-');
    core::AppendInt(path, attempt);
  }
  core::Append(path, ".csv");
}

// Writes the 512 cycles to a new file and clears the rings; returns false, rings untouched, when
// no file could be created.
bool WriteStatisticsFile() {
  core::guard.persistence.statisticsUnwritten = true;
  if (core::guard.settingsPath[0] == '\0') return false;
  char stamp[texts::kTimeTextSize];
  texts::TimeText(platform::Now(), stamp, texts::kTimeTextSize);
  std::replace(stamp, stamp + texts::kTimeTextSize - 1, ':', '-');

  core::TextBuilder text = core::StartText(fileText, kStatisticsFileSize);
  BuildStatisticsText(text);
  char path[kStatisticsPathSize];
  for (int attempt = 1; attempt <= kStatisticsNameAttempts; ++attempt) {
    BuildStatisticsPath(path, stamp, attempt);
    if (platform::WriteNewTextFile(path, core::View(text))) {
      core::guard.marginAtClose = {};
      core::guard.drawdownAtClose = {};
      core::guard.persistence.statisticsUnwritten = false;
      return true;
    }
  }
  return false;
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

  if (slots >= core::kCycleSlots) WriteStatisticsFile();
}

}  // namespace zt::engine
