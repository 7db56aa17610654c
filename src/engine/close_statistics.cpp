// Close statistics: one ring slot per close cycle, summaries over the slots that count, and the
// statistics file once the last of the 512 slots is filled.
#include <algorithm>
#include <array>
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

std::array<double, core::kCycleSlots> sortedDrawdowns;  // work area of the median and the lowest
char fileText[kStatisticsFileSize];               // the file's contents, built before writing

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
  double marginSum = 0.0;
  for (int i = 0; i < slots; ++i) marginSum += g.marginAtClose[static_cast<unsigned>(i)];
  g.averageCloseMargin = marginSum / slots;

  g.drawdownAtClose[slot] = g.periodDrawdown;
  double drawdownSum = 0.0;
  for (int i = 0; i < slots; ++i) {
    sortedDrawdowns[static_cast<unsigned>(i)] = g.drawdownAtClose[static_cast<unsigned>(i)];
    drawdownSum += g.drawdownAtClose[static_cast<unsigned>(i)];
  }
  g.averageDrawdown = drawdownSum / slots;

  // The median and the lowest are what an ascending sort would put at positions m - 1, m and 0;
  // a selection finds them without ordering the rest (this runs at every close, up to 512 values).
  const int middle = (slots + 1) / 2;  // n x 0.5 rounded up
  double* const first = sortedDrawdowns.data();
  double* const last = first + slots;
  double* const lower = first + (middle - 1);
  std::nth_element(first, lower, last);  // below it nothing greater, above it nothing smaller
  if (slots % 2 == 0) {
    g.medianDrawdown = (*lower + *std::min_element(lower + 1, last)) * 0.5;
  } else {
    g.medianDrawdown = *lower;
  }
  g.lowestDrawdown = *std::min_element(first, lower + 1);

  if (slots >= core::kCycleSlots) WriteStatisticsFile();
}

}  // namespace zt::engine
