#include "market/csv_input.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>

#include "market/csv_fields.h"
#include "market/text_file.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

constexpr int kNoColumn = -1;
// A trillion: more than any trading account holds. A figure past it is a broken export, not money.
constexpr double kLargestAmount = 1e12;

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
      throw std::invalid_argument("column mapping entry \"" + std::string(entry) +
                                  "\" names no column");
    }
    if (key == "date")
      mapping.date = column;
    else if (key == "time")
      mapping.time = column;
    else if (key == "equity")
      mapping.equity = column;
    else if (key == "margin")
      mapping.margin = column;
    else if (key == "free" || key == "freemargin")
      mapping.freeMargin = column;
    else {
      throw std::invalid_argument("column mapping key \"" + std::string(entry.substr(0, equals)) +
                                  "\" is not one of date, time, equity, margin, free");
    }
  }
  return mapping;
}

namespace {

// The lines of a text, each with its line feed (the fingerprint counts every byte), from memory or
// from a file read a piece at a time (in UTF-8, or UTF-16 turned into UTF-8 as it is read).
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line, its feed included; false at the end. The view lasts until the next call.
  virtual bool Next(std::string_view& line) = 0;
};

class TextLines final : public LineSource {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) override {
    if (at_ >= text_.size()) return false;
    const std::size_t feed = text_.find('\n', at_);
    const std::size_t end = feed == std::string_view::npos ? text_.size() : feed + 1;
    line = text_.substr(at_, end - at_);
    at_ = end;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

class FileLines final : public LineSource {
 public:
  explicit FileLines(const std::string& path) : file_(path) {
    if (!file_.is_open()) throw std::runtime_error("cannot read " + path);
  }
  bool Next(std::string_view& line) override { return file_.Next(line); }

 private:
  TextFileLines file_;
};

using OpenLines = std::function<std::unique_ptr<LineSource>()>;

// Calls each(line number, line) for every line that is neither blank nor a comment, line without
// its feed and the blanks around it, until each returns false.
template <typename Each>
void ForEachLine(LineSource& lines, Each each) {
  int number = 0;
  std::string_view raw;
  while (lines.Next(raw)) {
    ++number;
    const std::string_view line = Trim(raw, false);
    if (!line.empty() && line.front() != '#' && !each(number, raw, line)) return;
  }
}

}  // namespace

// Where the figures are in a file's rows and how they are written, learnt from its header and, for
// what the format leaves to be found out, from one reading of its rows.
struct CsvLayout {
  char delimiter = ',';
  std::size_t fields = 0;
  int time = kNoColumn, date = kNoColumn, equity = kNoColumn, margin = kNoColumn, free = kNoColumn;
  DateOrder order = DateOrder::YearFirst;
  bool comma = false;
};

namespace {

// The delimiter and the columns, from the header line.
CsvLayout ReadHeader(const OpenLines& open, const ColumnMapping& mapping) {
  CsvLayout layout;
  std::vector<std::string> header;
  {
    const std::unique_ptr<LineSource> lines = open();
    ForEachLine(*lines, [&](int, std::string_view raw, std::string_view line) {
      layout.delimiter = DetectDelimiter(line);
      header = SplitFields(LineContent(raw, layout.delimiter), layout.delimiter);
      return false;
    });
  }
  if (header.empty()) throw std::invalid_argument("the file holds no header line");
  layout.fields = header.size();

  int timeColumn = FindColumn(header, mapping.time, {"datetime", "timestamp", "time"}, "time");
  int dateColumn = FindColumn(header, mapping.date, {"date", "day"}, "date");
  if (timeColumn == kNoColumn || timeColumn == dateColumn) std::swap(timeColumn, dateColumn);
  if (timeColumn == dateColumn) dateColumn = kNoColumn;
  layout.time = timeColumn;
  layout.date = dateColumn;
  layout.equity = FindColumn(header, mapping.equity, {"equity"}, "equity");
  layout.margin =
      FindColumn(header, mapping.margin, {"margin", "usedmargin", "marginused"}, "margin");
  layout.free =
      FindColumn(header, mapping.freeMargin, {"freemargin", "free", "marginfree"}, "free margin");
  if (layout.time == kNoColumn || layout.equity == kNoColumn) {
    throw std::invalid_argument("the header line names no " +
                                std::string(layout.time == kNoColumn ? "time" : "equity") +
                                " column (map one with --columns, e.g. time=Date,equity=Equity)");
  }
  return layout;
}

CsvLayout ReadLayout(const OpenLines& open, const ColumnMapping& mapping, const CsvFormat& format) {
  CsvLayout layout = ReadHeader(open, mapping);
  // A date that ends in the year is day-first when a first field passes 12, month-first when a
  // second one does; a comma is the decimal mark in a file separated by semicolons or tabs whose
  // figures have no point. Both are told from every row, in one reading.
  const bool findOrder = format.dateOrder == DateOrder::Auto;
  const bool findComma = format.decimal == DecimalMark::Auto && layout.delimiter != ',';
  layout.order = findOrder ? DateOrder::YearFirst : format.dateOrder;
  layout.comma = format.decimal == DecimalMark::Comma;
  if (!findOrder && !findComma) return layout;
  const auto dateAt =
      static_cast<std::size_t>(layout.date != kNoColumn ? layout.date : layout.time);
  const auto equityAt = static_cast<std::size_t>(layout.equity);
  bool dayFirst = false, monthFirst = false, yearLast = false, point = false, comma = false;
  std::vector<std::string_view> fields;
  std::vector<std::string> store;
  bool first = true;
  const std::unique_ptr<LineSource> lines = open();
  ForEachLine(*lines, [&](int, std::string_view raw, std::string_view) {
    if (first) {
      first = false;  // the header
      return true;
    }
    FieldViews(LineContent(raw, layout.delimiter), layout.delimiter, fields, store);
    unsigned day = 0, month = 0;
    if (findOrder && dateAt < fields.size() && YearLastDate(fields[dateAt], day, month)) {
      yearLast = true;
      dayFirst = dayFirst || day > 12;
      monthFirst = monthFirst || month > 12;
    }
    if (findComma && equityAt < fields.size()) {
      point = point || fields[equityAt].find('.') != std::string_view::npos;
      comma = comma || fields[equityAt].find(',') != std::string_view::npos;
    }
    return true;
  });
  if (findOrder && yearLast) {
    if (dayFirst == monthFirst) {
      throw std::invalid_argument(
          std::string("the dates end in the year, and ") +
          (dayFirst ? "some read day-first, some month-first" : "no day passes 12") +
          ": say which with --date-order dmy or mdy");
    }
    layout.order = dayFirst ? DateOrder::DayFirst : DateOrder::MonthFirst;
  }
  if (findComma) layout.comma = comma && !point;
  return layout;
}

// The usable rows of a text, one at a time, with the rows skipped on the way.
class RowReader {
 public:
  RowReader(std::unique_ptr<LineSource> lines, const CsvLayout& layout)
      : lines_(std::move(lines)), layout_(layout) {}

  bool Next(AccountFigures& figures, CsvRowSource& source, std::vector<CsvProblem>* problems,
            std::vector<CsvProblem>* errors) {
    std::string_view raw;
    while (lines_->Next(raw)) {
      ++line_;
      // The fingerprint runs on from the last line's: the file is read once.
      digest_ = Digest(raw, digest_);
      const std::string_view content = Trim(raw, false);
      if (content.empty() || content.front() == '#') continue;
      if (!headerSeen_) {
        headerSeen_ = true;
        continue;
      }
      if (Read(LineContent(raw, layout_.delimiter), figures, problems, errors)) {
        source = {line_, digest_};
        return true;
      }
    }
    return false;
  }

 private:
  bool Read(std::string_view content, AccountFigures& figures, std::vector<CsvProblem>* problems,
            std::vector<CsvProblem>* errors) {
    const CsvLayout& l = layout_;
    FieldViews(content, l.delimiter, fields_, store_);
    const auto problem = [&](std::string message) {
      if (problems != nullptr) problems->push_back({line_, std::move(message)});
      return false;
    };
    if (fields_.size() != l.fields) {
      return problem(std::to_string(fields_.size()) + " fields, the header has " +
                     std::to_string(l.fields));
    }
    const auto field = [&](int column) { return fields_[static_cast<std::size_t>(column)]; };
    if (l.date == kNoColumn) {
      when_.assign(field(l.time));
    } else {
      when_.assign(field(l.date)).append(" ").append(field(l.time));
    }
    const std::optional<std::int64_t> time = ParseTime(when_, l.order);
    if (!time) return problem("time \"" + when_ + "\" is not a time");
    // Equity, margin and free margin as written, or with the decimal comma made a point.
    const int columns[3] = {l.equity, l.margin, l.free};
    std::string_view numbers[3];
    for (std::size_t i = 0; i < 3; ++i) {
      if (columns[i] == kNoColumn) continue;
      numbers[i] = field(columns[i]);
      if (l.comma) {
        pointed_[i].assign(numbers[i]);
        std::replace(pointed_[i].begin(), pointed_[i].end(), ',', '.');
        numbers[i] = pointed_[i];
      }
    }
    figures = AccountFigures{*time, 0.0, 0.0, 0.0};
    std::size_t bad = 3;
    const char* name = "";
    if (!ReadNumber(numbers[0], figures.equity))
      bad = 0, name = "equity";
    else if (l.margin != kNoColumn && !ReadNumber(numbers[1], figures.margin))
      bad = 1, name = "margin";
    else if (l.free != kNoColumn && !ReadNumber(numbers[2], figures.freeMargin))
      bad = 2, name = "free margin";
    if (bad < 3) {
      const bool comma = !l.comma && numbers[bad].find(',') != std::string_view::npos;
      return problem(std::string(name) + " \"" + std::string(numbers[bad]) + "\" is not a number" +
                     (comma ? " (for a decimal comma: --decimal comma)" : ""));
    }
    if (errors != nullptr) CheckFigures(figures, numbers, *errors);
    if (l.free == kNoColumn) figures.freeMargin = figures.equity - figures.margin;
    previousLine_ = line_;
    previousTime_ = figures.time;
    return true;
  }

  // A row that reads but cannot be replayed: an equity, margin or free margin that no account has,
  // or a time before the last row's.
  void CheckFigures(const AccountFigures& figures, const std::string_view (&numbers)[3],
                    std::vector<CsvProblem>& errors) const {
    const auto beyond = [&](std::string_view name, std::string_view text, const char* expected) {
      errors.push_back({line_, std::string(name) + " " + std::string(text) +
                                   " is no amount an account has (expected " + expected + ")"});
    };
    if (!(figures.equity > 0.0)) {
      errors.push_back({line_, "equity " + std::string(numbers[0]) + " is not above 0"});
    } else if (figures.equity > kLargestAmount) {
      beyond("equity", numbers[0], "above 0 and at most 1e12");
    }
    if (figures.margin < 0.0 || figures.margin > kLargestAmount)
      beyond("margin", numbers[1], "0 to 1e12");
    if (std::fabs(figures.freeMargin) > kLargestAmount)
      beyond("free margin", numbers[2], "-1e12 to 1e12");
    if (previousLine_ > 0 && figures.time < previousTime_) {
      errors.push_back({line_, "time " + FormatTime(figures.time) + " is before the row of line " +
                                   std::to_string(previousLine_) + " (" +
                                   FormatTime(previousTime_) + ")"});
    }
  }

  std::unique_ptr<LineSource> lines_;
  const CsvLayout& layout_;
  std::vector<std::string_view> fields_;
  std::vector<std::string> store_;  // the fields of a line with quotes
  std::string pointed_[3];          // figures with a decimal comma, made points
  std::string when_;
  int line_ = 0;
  bool headerSeen_ = false;
  std::uint64_t digest_ = kDigestStart;
  int previousLine_ = 0;  // of the last usable row
  std::int64_t previousTime_ = 0;
};

CsvTable ReadTable(const OpenLines& open, const ColumnMapping& mapping, const CsvFormat& format) {
  const CsvLayout layout = ReadLayout(open, mapping, format);
  CsvTable table{{}, {}, {}, {}, layout.delimiter};
  RowReader rows(open(), layout);
  AccountFigures figures{};
  CsvRowSource source{};
  while (rows.Next(figures, source, &table.problems, &table.errors)) {
    table.rows.push_back(figures);
    table.sources.push_back(source);
  }
  return table;
}

}  // namespace

CsvTable ParseAccountCsv(std::string_view text, const ColumnMapping& mapping,
                         const CsvFormat& format) {
  return ReadTable([text] { return std::make_unique<TextLines>(text); }, mapping, format);
}

CsvTable ReadAccountCsv(const std::string& path, const ColumnMapping& mapping,
                        const CsvFormat& format) {
  return ReadTable([&path] { return std::make_unique<FileLines>(path); }, mapping, format);
}

struct CsvRows::Reader {
  std::string path;
  CsvLayout layout;
  std::unique_ptr<RowReader> rows;
};

CsvRows::CsvRows(const std::string& path, const ColumnMapping& mapping, const CsvFormat& format)
    : reader_(std::make_unique<Reader>()) {
  reader_->path = path;
  reader_->layout =
      ReadLayout([&path] { return std::make_unique<FileLines>(path); }, mapping, format);
  Rewind();
}

CsvRows::~CsvRows() = default;

void CsvRows::Rewind() {
  reader_->rows =
      std::make_unique<RowReader>(std::make_unique<FileLines>(reader_->path), reader_->layout);
}

bool CsvRows::Next(AccountFigures& figures, CsvRowSource& source, std::vector<CsvProblem>* problems,
                   std::vector<CsvProblem>* errors) {
  return reader_->rows->Next(figures, source, problems, errors);
}

}  // namespace zt::sim
