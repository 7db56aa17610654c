// Close statistics: one ring slot per close cycle, summaries over the slots that count, and the
// statistics file once the last of the 512 slots is filled.
#include <algorithm>
#include <array>
#include <string_view>

#include "engine/equity_check.h"
#include "engine/guard_state.h"
#include "engine/time_text.h"
#include "platform/platform.h"
#include "texts/text_builder.h"

namespace zt::engine {
namespace {

// A data line is "%d,%0.2f,%0.2f": up to 3 digits and two amounts of at most 312 characters.
constexpr int kStatisticsLineSize = 640;
constexpr int kStatisticsFileSize = kStatisticsLineSize * (kCycleSlots + 1);
// A statistics file is never replaced: a second file in the same minute gets "-2", "-3", ...
constexpr int kStatisticsNameAttempts = 100;
// settingsPath, "-stat-", the 16-character time, a "-NN" suffix and ".csv".
constexpr int kStatisticsPathSize = kSettingsPathSize + 40;

std::array<double, kCycleSlots> sortedDrawdowns;  // work area of the median
char fileText[kStatisticsFileSize];               // the file's contents, built before writing

void BuildStatisticsText(texts::TextBuilder& text) {
  texts::Append(text, "#,DD,Margin\n");
  for (int slot = 0; slot < kCycleSlots; ++slot) {
    texts::AppendInt(text, slot + 1);
    texts::AppendChar(text, ',');
    texts::AppendFixed(text, guard.drawdownAtClose[static_cast<unsigned>(slot)], 2);
    texts::AppendChar(text, ',');
    texts::AppendFixed(text, guard.marginAtClose[static_cast<unsigned>(slot)], 2);
    texts::AppendChar(text, '\n');
  }
}

// "<settings path without its final .ini>-stat-YYYY.MM.DD hh-mm[-N].csv"
void BuildStatisticsPath(char* out, std::string_view stamp, int attempt) {
  std::string_view base = guard.settingsPath;
  constexpr std::string_view kSettingsExtension = ".ini";
  if (base.size() >= kSettingsExtension.size() &&
      base.substr(base.size() - kSettingsExtension.size()) == kSettingsExtension) {
    base.remove_suffix(kSettingsExtension.size());
  }
  texts::TextBuilder path = texts::StartText(out, kStatisticsPathSize);
  texts::Append(path, base);
  texts::Append(path, "-stat-");
  texts::Append(path, stamp);
  if (attempt > 1) {
    texts::AppendChar(path, '-');
    texts::AppendInt(path, attempt);
  }
  texts::Append(path, ".csv");
}

// Writes the 512 cycles to a new file and clears the rings; returns false, rings untouched, when
// no file could be created.
bool WriteStatisticsFile() {
  if (guard.settingsPath[0] == '\0') return false;
  char stamp[kTimeTextSize];
  TimeText(platform::Now(), stamp);
  std::replace(stamp, stamp + kTimeTextSize - 1, ':', '-');

  texts::TextBuilder text = texts::StartText(fileText, kStatisticsFileSize);
  BuildStatisticsText(text);
  char path[kStatisticsPathSize];
  for (int attempt = 1; attempt <= kStatisticsNameAttempts; ++attempt) {
    BuildStatisticsPath(path, stamp, attempt);
    if (platform::WriteNewTextFile(path, texts::View(text))) {
      guard.marginAtClose = {};
      guard.drawdownAtClose = {};
      return true;
    }
  }
  return false;
}

}  // namespace

void CloseStatistics() {
  GuardState& g = guard;
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

  std::sort(sortedDrawdowns.begin(), sortedDrawdowns.begin() + slots);
  const int middle = (slots + 1) / 2;  // n x 0.5 rounded up
  if (slots % 2 == 0) {
    g.medianDrawdown = (sortedDrawdowns[static_cast<unsigned>(middle - 1)] +
                        sortedDrawdowns[static_cast<unsigned>(middle)]) * 0.5;
  } else {
    g.medianDrawdown = sortedDrawdowns[static_cast<unsigned>(middle - 1)];
  }
  g.lowestDrawdown = sortedDrawdowns[0];

  if (slots >= kCycleSlots) WriteStatisticsFile();
}

}  // namespace zt::engine
