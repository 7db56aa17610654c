#include "market/utc_time.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "text_helpers.h"

namespace zt::sim {
namespace {

using tools::Trimmed;
using tools::Unquoted;

constexpr std::size_t kMillisecondDigits = 12;  // 12 digits of seconds would be after the year 5000

// The days of a month: February's 29 in a leap year of the Gregorian calendar.
unsigned DaysInMonth(std::int64_t year, unsigned month) {
  constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// A time as typed or as a CSV field holds it: blanks around it and quotes around that dropped.
std::string_view TypedValue(std::string_view text) { return Unquoted(Trimmed(text)); }

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// Reads exactly `digits` decimal digits from text at position, advancing it.
bool ReadDigits(std::string_view text, std::size_t& position, std::size_t digits, unsigned& value) {
  if (position + digits > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const char c = text[position + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  position += digits;
  return true;
}

bool Expect(std::string_view text, std::size_t& position, std::string_view choices) {
  if (position >= text.size() || choices.find(text[position]) == std::string_view::npos)
    return false;
  ++position;
  return true;
}

// The date at the start of text in the given order, advancing at.
bool ReadDate(std::string_view text, std::size_t& at, DateOrder order, unsigned& year,
              unsigned& month, unsigned& day) {
  if (order == DateOrder::YearFirst || order == DateOrder::Auto) {
    return ReadDigits(text, at, 4, year) && Expect(text, at, ".-/") &&
           ReadDigits(text, at, 2, month) && Expect(text, at, ".-/") &&
           ReadDigits(text, at, 2, day);
  }
  unsigned first = 0, second = 0;
  if (!ReadDigits(text, at, 2, first) || !Expect(text, at, ".-/") ||
      !ReadDigits(text, at, 2, second) || !Expect(text, at, ".-/") ||
      !ReadDigits(text, at, 4, year)) {
    return false;
  }
  day = order == DateOrder::DayFirst ? first : second;
  month = order == DateOrder::DayFirst ? second : first;
  return true;
}

// "Z", "+02:00", "-0530" or nothing at the end of a time: the seconds to subtract for UTC.
bool ReadOffset(std::string_view text, std::size_t& at, std::int64_t& offset) {
  offset = 0;
  if (at == text.size()) return true;
  if (text[at] == 'Z') return ++at == text.size();
  if (text[at] != '+' && text[at] != '-') return false;
  const std::int64_t sign = text[at++] == '-' ? -1 : 1;
  unsigned hours = 0, minutes = 0;
  if (!ReadDigits(text, at, 2, hours)) return false;
  if (at < text.size() && text[at] == ':') ++at;
  if (!ReadDigits(text, at, 2, minutes) || hours > 23 || minutes > 59) return false;
  offset = sign * (hours * 3600 + minutes * 60);
  return at == text.size();
}

}  // namespace

std::optional<std::int64_t> ParseTime(std::string_view text, DateOrder order) {
  text = TypedValue(text);
  if (text.empty()) return std::nullopt;
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    std::int64_t seconds = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (result.ec != std::errc()) return std::nullopt;
    return text.size() >= kMillisecondDigits ? seconds / 1000 : seconds;
  }
  std::size_t at = 0;
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::int64_t offset = 0;
  if (!ReadDate(text, at, order, year, month, day)) return std::nullopt;
  if (at < text.size()) {
    if (!Expect(text, at, " T") || !ReadDigits(text, at, 2, hour) || !Expect(text, at, ":") ||
        !ReadDigits(text, at, 2, minute)) {
      return std::nullopt;
    }
    if (at < text.size() && text[at] == ':') {
      ++at;
      if (!ReadDigits(text, at, 2, second)) return std::nullopt;
      if (at < text.size() && text[at] == '.') {  // fractions of a second are dropped
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      }
    }
    if (!ReadOffset(text, at, offset)) return std::nullopt;
  }
  // A day past its month's end (2024.02.30) is no date: it would count on into the next month.
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 60) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
}

std::string FormatTime(std::int64_t time) {
  // Civil date from days since 1970 (the inverse of DaysFromCivil).
  std::int64_t days = time >= 0 ? time / 86400 : (time - 86399) / 86400;
  const std::int64_t secondOfDay = time - days * 86400;
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%04lld.%02u.%02u %02u:%02u",
                static_cast<long long>(year), month, day, static_cast<unsigned>(secondOfDay / 3600),
                static_cast<unsigned>(secondOfDay % 3600 / 60));
  return buffer.data();
}

// "02.01.2024": the first two fields of a date that ends in its year, or false.
bool YearLastDate(std::string_view text, unsigned& first, unsigned& second) {
  std::size_t at = 0;
  unsigned year = 0;
  text = TypedValue(text);
  return ReadDigits(text, at, 2, first) && Expect(text, at, ".-/") &&
         ReadDigits(text, at, 2, second) && Expect(text, at, ".-/") &&
         ReadDigits(text, at, 4, year);
}

}  // namespace zt::sim
