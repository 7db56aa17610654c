#include "market/market_calendar.h"

namespace zt::sim {
namespace {

// Division rounding down, so that times before 1970 fall on the right day too.
std::int64_t DayOf(std::int64_t time) {
  return time >= 0 ? time / kDaySeconds : -((-time + kDaySeconds - 1) / kDaySeconds);
}

constexpr int kFriday = 5;
constexpr int kSaturday = 6;
constexpr int kSunday = 0;
constexpr int kWednesday = 3;

}  // namespace

int Weekday(std::int64_t time) {
  // 1 January 1970 was a Thursday.
  const std::int64_t weekday = (DayOf(time) + 4) % 7;
  return static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
}

std::int64_t SecondOfDay(std::int64_t time) { return time - DayOf(time) * kDaySeconds; }

bool MarketClosed(std::int64_t time) {
  const int weekday = Weekday(time);
  const std::int64_t second = SecondOfDay(time);
  return (weekday == kFriday && second >= kRolloverSecond) || weekday == kSaturday ||
         (weekday == kSunday && second < kRolloverSecond);
}

std::int64_t NextOpen(std::int64_t time) {
  if (!MarketClosed(time)) return time;
  // Sunday's 22:00 follows: 0, 1 or 2 days on from the day of time.
  const int weekday = Weekday(time);
  const std::int64_t daysOn = weekday == kFriday ? 2 : weekday == kSaturday ? 1 : 0;
  return (DayOf(time) + daysOn) * kDaySeconds + kRolloverSecond;
}

int RolloverNights(std::int64_t from, std::int64_t to) {
  int nights = 0;
  for (std::int64_t day = DayOf(from); day <= DayOf(to); ++day) {
    const std::int64_t rollover = day * kDaySeconds + kRolloverSecond;
    if (rollover <= from || rollover > to) continue;
    const int weekday = Weekday(rollover);
    if (weekday == kSaturday || weekday == kSunday) continue;
    nights += weekday == kWednesday ? 3 : 1;
  }
  return nights;
}

bool DailyMomentPassed(std::int64_t from, std::int64_t to, std::int64_t secondOfDay) {
  for (std::int64_t day = DayOf(from); day <= DayOf(to); ++day) {
    const std::int64_t moment = day * kDaySeconds + secondOfDay;
    if (moment > from && moment <= to && !MarketClosed(moment)) return true;
  }
  return false;
}

}  // namespace zt::sim
