#include "settings/statistics_file.h"

#include <string_view>

#include "core/limits.h"
#include "core/text_builder.h"
#include "platform/platform.h"
#include "settings/settings_path.h"

namespace zt::settings {
namespace {

// A data line is "%d,%0.2f,%0.2f": up to 3 digits and two amounts of at most 312 characters.
constexpr int kStatisticsLineSize = 640;
constexpr int kStatisticsFileSize = kStatisticsLineSize * (core::kCycleSlots + 1);
constexpr int kStatisticsNameAttempts = 100;

char fileText[kStatisticsFileSize];  // the file's contents, built before writing

void BuildStatisticsText(core::TextBuilder& text, const core::CycleRing& drawdowns,
                         const core::CycleRing& margins) {
  core::Append(text, "#,DD,Margin\n");
  for (int slot = 0; slot < core::kCycleSlots; ++slot) {
    core::AppendInt(text, slot + 1);
    core::AppendChar(text, ',');
    core::AppendFixed(text, drawdowns[static_cast<unsigned>(slot)], 2);
    core::AppendChar(text, ',');
    core::AppendFixed(text, margins[static_cast<unsigned>(slot)], 2);
    core::AppendChar(text, '\n');
  }
}

}  // namespace

bool WriteStatisticsFile(const core::CycleRing& drawdowns, const core::CycleRing& margins,
                         std::string_view localTime) {
  if (core::guard.settingsPath[0] == '\0') return false;
  core::TextBuilder text = core::StartText(fileText, kStatisticsFileSize);
  BuildStatisticsText(text, drawdowns, margins);
  char path[core::kSideFilePathSize];
  // Only a name already taken moves on to the next: any other failure (a full disk, a folder
  // that may not be written) would meet every name alike.
  for (int attempt = 1; attempt <= kStatisticsNameAttempts; ++attempt) {
    SideFilePath(path, "stat", localTime, attempt, ".csv");
    platform::FileProblem problem = platform::FileProblem::none;
    if (platform::WriteNewTextFile(path, core::View(text), &problem)) return true;
    if (problem != platform::FileProblem::exists) return false;
  }
  return false;
}

}  // namespace zt::settings
