// The statistics file: the 512 close cycles of a full ring, written beside the settings file as
// comma-separated text, "#,DD,Margin" and then "%d,%0.2f,%0.2f" for cycle k = 1..512 (its
// drawdown and its margin at the close), with the platform's text-mode line ends. Named from the
// settings file: "<settings path without .ini>-stat-YYYY.MM.DD hh-mm.csv" in local time; a file
// is never replaced, so a second one in the same minute gets "-2", "-3", ... before ".csv".
#pragma once

#include <string_view>

#include "core/guard_state.h"

namespace zt::settings {

// Writes the cycles of the two rings to a new statistics file named for the moment localTime
// ("YYYY.MM.DD hh:mm", as the guard shows times). Returns false when no file could be created (no
// settings location, a folder that may not be written, a hundred names taken).
bool WriteStatisticsFile(const core::CycleRing& drawdowns, const core::CycleRing& margins,
                         std::string_view localTime);

}  // namespace zt::settings
