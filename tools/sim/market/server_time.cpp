#include "market/server_time.h"

#include <charconv>
#include <cmath>
#include <string>

#include "market/market_calendar.h"
#include "market/utc_time.h"

namespace zt::sim {
namespace {

constexpr std::int64_t kHour = 3600;
constexpr double kWidestOffsetHours = 14.0;  // the farthest any time zone lies from UTC

// The last Sunday of the month (3 or 10) of year, at 01:00 UTC: when Europe's summer time starts
// or ends.
std::int64_t LastSundayChange(const std::string& year, const char* month) {
  const std::int64_t lastDay = *ParseTime(year + "." + month + ".31 01:00");
  return lastDay - Weekday(lastDay) * kDaySeconds;
}

bool EuropeanSummer(std::int64_t utc) {
  const std::string year = FormatTime(utc).substr(0, 4);
  return utc >= LastSundayChange(year, "03") && utc < LastSundayChange(year, "10");
}

}  // namespace

std::optional<ServerOffset> ParseServerOffset(std::string_view text) {
  if (text == "eet" || text == "EET") return ServerOffset{0, true};
  double hours = 0.0;
  const char* end = text.data() + text.size();
  const auto read = std::from_chars(text.data(), end, hours);
  if (text.empty() || read.ec != std::errc() || read.ptr != end ||
      !(std::fabs(hours) <= kWidestOffsetHours)) {
    return std::nullopt;
  }
  const double minutes = hours * 60.0;
  if (minutes != std::round(minutes)) return std::nullopt;
  return ServerOffset{static_cast<std::int64_t>(minutes) * 60, false};
}

std::int64_t ServerToUtc(std::int64_t serverTime, const ServerOffset& offset) {
  if (!offset.eet) return serverTime - offset.seconds;
  const std::int64_t summer = serverTime - 3 * kHour;
  return EuropeanSummer(summer) ? summer : serverTime - 2 * kHour;
}

}  // namespace zt::sim
