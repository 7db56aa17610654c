// The forex week as brokers keep it, in UTC: the market opens on Sunday at 22:00 and closes on
// Friday at 22:00, and the daily rollover, when open positions are charged or paid their swap,
// falls at 22:00 (midnight of the usual server time, UTC+2). Wednesday's rollover books three
// nights, paying in advance for the weekend, which books none.
#pragma once

#include <cstdint>

namespace zt::sim {

constexpr std::int64_t kDaySeconds = 86400;
constexpr std::int64_t kRolloverSecond =
    22 * 3600;  // of the UTC day: the week's close and open too

// 0 Sunday, 1 Monday ... 6 Saturday.
int Weekday(std::int64_t time);
// Seconds since midnight UTC.
std::int64_t SecondOfDay(std::int64_t time);

// True from Friday 22:00 up to (not including) Sunday 22:00.
bool MarketClosed(std::int64_t time);
// time when the market is open then, else the moment it opens again.
std::int64_t NextOpen(std::int64_t time);

// The nights of swap the rollovers in (from, to] book: 1 for each rollover from Monday to Friday,
// 3 for Wednesday's, none for Saturday's and Sunday's.
int RolloverNights(std::int64_t from, std::int64_t to);

// True when a moment secondOfDay after midnight UTC falls in (from, to] on a day the market is open
// at that moment: a scheduled release (a news time) the ticks from `from` to `to` went through.
bool DailyMomentPassed(std::int64_t from, std::int64_t to, std::int64_t secondOfDay);

}  // namespace zt::sim
