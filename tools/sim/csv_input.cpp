#include "csv_input.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sim_state.h"

namespace zt::sim {
namespace {

constexpr int kNoColumn = -1;

std::string_view Trim(std::string_view text, bool unquote = true) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (unquote && text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

// "<FREE MARGIN>", "Free_Margin" and "free margin" all become "freemargin".
std::string NormalName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c >= 'A' && c <= 'Z') out += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out += c;
  }
  return out;
}

// The fields of a line: a field in double quotes may hold the delimiter, and "" stands for a
// quote in it. A row quoted whole ("a,b,c") is taken apart inside its quotes.
std::vector<std::string> SplitFields(std::string_view line, char delimiter) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == delimiter && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& field : fields) field = std::string(Trim(field));
  if (fields.size() == 1 && line.size() >= 2 && line.front() == '"' && line.back() == '"' &&
      line.find(delimiter) != std::string_view::npos) {
    return SplitFields(line.substr(1, line.size() - 2), delimiter);
  }
  return fields;
}

// The delimiter is whichever of comma, semicolon and tab the header uses most.
char DetectDelimiter(std::string_view header) {
  char best = ',';
  std::ptrdiff_t bestCount = 0;
  for (const char candidate : {',', ';', '\t'}) {
    const std::ptrdiff_t count = std::count(header.begin(), header.end(), candidate);
    if (count > bestCount) {
      best = candidate;
      bestCount = count;
    }
  }
  return best;
}

int FindColumn(const std::vector<std::string>& header, const std::string& wanted,
               std::initializer_list<std::string_view> usualNames, std::string_view figure) {
  if (!wanted.empty()) {
    if (wanted.front() == '#') {
      int number = 0;
      const auto result = std::from_chars(wanted.data() + 1, wanted.data() + wanted.size(), number);
      if (result.ec != std::errc() || result.ptr != wanted.data() + wanted.size() || number < 1 ||
          static_cast<std::size_t>(number) > header.size()) {
        throw std::invalid_argument("column " + wanted + " for " + std::string(figure) +
                                    " is not a column of the header");
      }
      return number - 1;
    }
    const std::string name = NormalName(wanted);
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (NormalName(header[i]) == name) return static_cast<int>(i);
    }
    throw std::invalid_argument("the header has no column \"" + wanted + "\" for " +
                                std::string(figure));
  }
  for (const std::string_view usual : usualNames) {
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (NormalName(header[i]) == usual) return static_cast<int>(i);
    }
  }
  return kNoColumn;
}

bool ReadNumber(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

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
  if (position >= text.size() || choices.find(text[position]) == std::string_view::npos) return false;
  ++position;
  return true;
}

}  // namespace

ColumnMapping ParseColumnMapping(std::string_view text) {
  ColumnMapping mapping;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view entry = Trim(text.substr(start, end - start));
    start = end + 1;
    if (entry.empty()) continue;
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) {
      throw std::invalid_argument("column mapping entry \"" + std::string(entry) +
                                  "\" is not figure=column");
    }
    const std::string key = NormalName(entry.substr(0, equals));
    const std::string column(Trim(entry.substr(equals + 1)));
    if (column.empty()) {
      throw std::invalid_argument("column mapping entry \"" + std::string(entry) + "\" names no column");
    }
    if (key == "date") mapping.date = column;
    else if (key == "time") mapping.time = column;
    else if (key == "equity") mapping.equity = column;
    else if (key == "margin") mapping.margin = column;
    else if (key == "free" || key == "freemargin") mapping.freeMargin = column;
    else {
      throw std::invalid_argument("column mapping key \"" + std::string(entry.substr(0, equals)) +
                                  "\" is not one of date, time, equity, margin, free");
    }
  }
  return mapping;
}

namespace {

constexpr std::size_t kMillisecondDigits = 12;  // 12 digits of seconds would be after the year 5000

// The date at the start of text in the given order, advancing at.
bool ReadDate(std::string_view text, std::size_t& at, DateOrder order, unsigned& year, unsigned& month,
              unsigned& day) {
  if (order == DateOrder::YearFirst || order == DateOrder::Auto) {
    return ReadDigits(text, at, 4, year) && Expect(text, at, ".-/") && ReadDigits(text, at, 2, month) &&
           Expect(text, at, ".-/") && ReadDigits(text, at, 2, day);
  }
  unsigned first = 0, second = 0;
  if (!ReadDigits(text, at, 2, first) || !Expect(text, at, ".-/") || !ReadDigits(text, at, 2, second) ||
      !Expect(text, at, ".-/") || !ReadDigits(text, at, 4, year)) {
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
  text = Trim(text);
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
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
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
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%04lld.%02u.%02u %02u:%02u",
                static_cast<long long>(year), month, day,
                static_cast<unsigned>(secondOfDay / 3600),
                static_cast<unsigned>(secondOfDay % 3600 / 60));
  return buffer.data();
}

namespace {

// Calls each(line number, line, offset just past it) for every line that is neither blank nor a
// comment. The file is walked twice (once to learn its formats, once to read it), so that no
// more than the figures is ever kept in memory.
template <typename Each>
void ForEachLine(std::string_view text, Each each) {
  int lineNumber = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(start, end - start), false);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.front() != '#') each(lineNumber, line, std::min(start, text.size()));
  }
}

// One data row as the file gives it, before its figures are read.
struct RawRow {
  int line;
  std::size_t end;  // offset just past its line
  std::vector<std::string> fields;
};

// Calls each(row) for every data row of the text, after the header.
template <typename Each>
void ForEachRow(std::string_view text, char delimiter, Each each) {
  bool header = true;
  ForEachLine(text, [&](int line, std::string_view content, std::size_t end) {
    if (header) {
      header = false;
      return;
    }
    each(RawRow{line, end, SplitFields(content, delimiter)});
  });
}

// "02.01.2024": the first two fields of a date that ends in its year, or false.
bool YearLastDate(std::string_view text, unsigned& first, unsigned& second) {
  std::size_t at = 0;
  unsigned year = 0;
  text = Trim(text);
  return ReadDigits(text, at, 2, first) && Expect(text, at, ".-/") && ReadDigits(text, at, 2, second) &&
         Expect(text, at, ".-/") && ReadDigits(text, at, 4, year);
}

DateOrder DetectDateOrder(std::string_view text, char delimiter, int dateColumn) {
  bool dayFirst = false, monthFirst = false, yearLast = false;
  ForEachRow(text, delimiter, [&](const RawRow& row) {
    unsigned first = 0, second = 0;
    if (static_cast<std::size_t>(dateColumn) >= row.fields.size() ||
        !YearLastDate(row.fields[static_cast<std::size_t>(dateColumn)], first, second)) {
      return;
    }
    yearLast = true;
    dayFirst = dayFirst || first > 12;
    monthFirst = monthFirst || second > 12;
  });
  if (!yearLast) return DateOrder::YearFirst;
  if (dayFirst != monthFirst) return dayFirst ? DateOrder::DayFirst : DateOrder::MonthFirst;
  throw std::invalid_argument(std::string("the dates end in the year, and ") +
                              (dayFirst ? "some read day-first, some month-first" : "no day passes 12") +
                              ": say which with --date-order dmy or mdy");
}

bool CommaDecimals(std::string_view text, char delimiter, int equityColumn) {
  if (delimiter == ',') return false;
  bool point = false, comma = false;
  ForEachRow(text, delimiter, [&](const RawRow& row) {
    if (static_cast<std::size_t>(equityColumn) >= row.fields.size()) return;
    const std::string& field = row.fields[static_cast<std::size_t>(equityColumn)];
    point = point || field.find('.') != std::string::npos;
    comma = comma || field.find(',') != std::string::npos;
  });
  return comma && !point;
}

}  // namespace

CsvTable ParseAccountCsv(std::string_view text, const ColumnMapping& mapping, const CsvFormat& format) {
  CsvTable table{{}, {}, {}, {}, ','};
  std::vector<std::string> header;
  ForEachLine(text, [&](int, std::string_view line, std::size_t) {
    if (!header.empty()) return;
    table.delimiter = DetectDelimiter(line);
    header = SplitFields(line, table.delimiter);
  });
  if (header.empty()) throw std::invalid_argument("the file holds no header line");

  int timeColumn = FindColumn(header, mapping.time, {"datetime", "timestamp", "time"}, "time");
  int dateColumn = FindColumn(header, mapping.date, {"date", "day"}, "date");
  if (timeColumn == kNoColumn || timeColumn == dateColumn) std::swap(timeColumn, dateColumn);
  if (timeColumn == dateColumn) dateColumn = kNoColumn;
  const int equityColumn = FindColumn(header, mapping.equity, {"equity"}, "equity");
  const int marginColumn = FindColumn(header, mapping.margin, {"margin", "usedmargin", "marginused"}, "margin");
  const int freeColumn = FindColumn(header, mapping.freeMargin, {"freemargin", "free", "marginfree"}, "free margin");
  if (timeColumn == kNoColumn || equityColumn == kNoColumn) {
    throw std::invalid_argument(
        "the header line names no " + std::string(timeColumn == kNoColumn ? "time" : "equity") +
        " column (map one with --columns, e.g. time=Date,equity=Equity)");
  }
  const DateOrder order =
      format.dateOrder != DateOrder::Auto
          ? format.dateOrder
          : DetectDateOrder(text, table.delimiter, dateColumn != kNoColumn ? dateColumn : timeColumn);
  const bool comma = format.decimal == DecimalMark::Comma ||
                     (format.decimal == DecimalMark::Auto && CommaDecimals(text, table.delimiter, equityColumn));

  std::uint64_t digest = kDigestStart;
  std::size_t digested = 0;
  int previousLine = 0;  // of the last usable row
  ForEachRow(text, table.delimiter, [&](RawRow row) {
    std::vector<std::string>& fields = row.fields;
    if (fields.size() != header.size()) {
      table.problems.push_back({row.line, std::to_string(fields.size()) + " fields, the header has " +
                                              std::to_string(header.size())});
      return;
    }
    const auto field = [&](int column) -> std::string& { return fields[static_cast<std::size_t>(column)]; };
    const std::string when = dateColumn == kNoColumn ? field(timeColumn) : field(dateColumn) + " " + field(timeColumn);
    const std::optional<std::int64_t> time = ParseTime(when, order);
    if (!time) {
      table.problems.push_back({row.line, "time \"" + when + "\" is not a time"});
      return;
    }
    if (comma) {
      for (const int column : {equityColumn, marginColumn, freeColumn}) {
        if (column != kNoColumn) std::replace(field(column).begin(), field(column).end(), ',', '.');
      }
    }
    AccountFigures figures{*time, 0.0, 0.0, 0.0};
    std::string bad;
    if (!ReadNumber(field(equityColumn), figures.equity)) bad = "equity";
    else if (marginColumn != kNoColumn && !ReadNumber(field(marginColumn), figures.margin)) bad = "margin";
    else if (freeColumn != kNoColumn && !ReadNumber(field(freeColumn), figures.freeMargin)) bad = "free margin";
    if (!bad.empty()) {
      const int column = bad == "equity" ? equityColumn : bad == "margin" ? marginColumn : freeColumn;
      table.problems.push_back({row.line, bad + " \"" + field(column) + "\" is not a number"});
      return;
    }
    if (!(figures.equity > 0.0)) {
      table.errors.push_back({row.line, "equity " + field(equityColumn) + " is not above 0"});
    }
    if (previousLine > 0 && figures.time < table.rows.back().time) {
      table.errors.push_back({row.line, "time " + FormatTime(figures.time) + " is before the row of line " +
                                            std::to_string(previousLine) + " (" + FormatTime(table.rows.back().time) +
                                            ")"});
    }
    if (freeColumn == kNoColumn) figures.freeMargin = figures.equity - figures.margin;
    table.rows.push_back(figures);
    // The fingerprint runs on from the last row's: the file is read once.
    digest = Digest(text.substr(digested, row.end - digested), digest);
    digested = row.end;
    table.sources.push_back({row.line, digest});
    previousLine = row.line;
  });
  return table;
}

CsvTable ReadAccountCsv(const std::string& path, const ColumnMapping& mapping, const CsvFormat& format) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream contents;
  contents << in.rdbuf();
  std::string text = contents.str();
  // Terminals export their histories as UTF-16 (little-endian, with a byte-order mark). Figures
  // and column names are plain ASCII, so dropping the high bytes gives the same file in 8 bits.
  if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
    std::string narrow;
    for (std::size_t i = 2; i < text.size(); i += 2) narrow += text[i];
    text = narrow;
  }
  return ParseAccountCsv(text, mapping, format);
}

}  // namespace zt::sim
