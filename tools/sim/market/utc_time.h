// Times as terminals and their exports write them, and as the simulator prints them: every time is
// read and written as UTC, so the same inputs give the same log, JSON and chart wherever they run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zt::sim {

// The order of a date's fields. Dates that end in the year are day-first (02.01.2024) in most of
// the world and month-first (01/02/2024) in the United States; Auto leaves it to the reader of a
// whole history to tell them apart by a field that passes 12.
enum class DateOrder { Auto, YearFirst, DayFirst, MonthFirst };

// "2024.01.02 10:30", "2024-01-02 10:30:15", "2024-01-02T10:30:15Z", "2024-01-02T12:30:15+02:00",
// "2024/01/02", whole seconds since 1970 or milliseconds (12 digits or more); read as UTC unless
// an offset is given. With order DayFirst or MonthFirst the date is "02.01.2024" or "01/02/2024".
// Empty when the text is none of these, or names a day its month does not have (2024.02.30).
std::optional<std::int64_t> ParseTime(std::string_view text,
                                      DateOrder order = DateOrder::YearFirst);
// "2024.01.02 10:30", the terminal's way of writing a time (UTC here).
std::string FormatTime(std::int64_t time);

// "02.01.2024": the first two fields of a date that ends in its year, or false. What tells a
// history's day-first dates from its month-first ones.
bool YearLastDate(std::string_view text, unsigned& first, unsigned& second);

}  // namespace zt::sim
