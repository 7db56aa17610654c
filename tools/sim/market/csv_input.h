// Account figures read from a comma-separated file: the equity history a terminal exports, or a
// recording of a host's own figures. The header line names the columns; the reader finds time,
// equity, margin and free margin among them by name, or by a mapping the user gives.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "market/account_model.h"
#include "market/utc_time.h"

namespace zt::sim {

// Which header name (or 1-based column number, written "#3") holds each figure. An empty entry
// means "find it by its usual names". Time and equity must be found; a file without margin reads
// margin 0, one without free margin reads equity - margin.
struct ColumnMapping {
  std::string date;  // a date column whose time of day is in the time column
  std::string time;
  std::string equity;
  std::string margin;
  std::string freeMargin;
};

// How the file writes its numbers and dates. Auto looks at the rows: a date that ends in the
// year is day-first when a first field passes 12, month-first when a second one does; a comma
// is the decimal mark in a file separated by semicolons or tabs whose figures have no point.
enum class DecimalMark { Auto, Point, Comma };
struct CsvFormat {
  DateOrder dateOrder = DateOrder::Auto;
  DecimalMark decimal = DecimalMark::Auto;
};

// Parses "time=<DATE>,equity=<EQUITY>,margin=#4" (keys date, time, equity, margin, free). Throws
// std::invalid_argument naming the bad entry.
ColumnMapping ParseColumnMapping(std::string_view text);

struct CsvProblem {
  int line;  // 1-based line of the file
  std::string message;
};

// Where a usable row came from: its line, and a fingerprint (Digest) of the file's text from its
// start to the end of that line, by which a resumed run knows the rows it replayed before.
struct CsvRowSource {
  int line;
  std::uint64_t digest;
};

struct CsvTable {
  std::vector<AccountFigures> rows;
  std::vector<CsvRowSource> sources;  // one per row
  std::vector<CsvProblem> problems;   // rows skipped, in file order
  std::vector<CsvProblem> errors;     // rows out of time order or without a positive equity
  char delimiter;                     // ',', ';' or '\t', taken from the header line
};

// Reads the whole text. Fields may be quoted ("" is a quote inside one), and so may a whole row.
// Blank lines and lines starting with '#' are skipped silently; a row with the wrong number of
// fields, a figure that is not a finite number, or a time that is not a time is skipped and
// reported (one that is not a number because of a decimal comma says how to read it). A row
// earlier than the one before it, with an equity not above 0, or with an equity, margin or free
// margin no account has (past a trillion, or a margin below 0) is an error. A tab-separated row
// whose last field is empty has that field, as the same row between commas does.
// Throws std::invalid_argument when there is no header line, the header lacks a time or an
// equity column, or the day-first or month-first order of the dates cannot be told.
CsvTable ParseAccountCsv(std::string_view text, const ColumnMapping& mapping,
                         const CsvFormat& format = {});
// Reads the file at path; throws std::runtime_error when it cannot be read.
CsvTable ReadAccountCsv(const std::string& path, const ColumnMapping& mapping,
                        const CsvFormat& format = {});

// The rows of a history read from its file as they are wanted, holding no more than the row in
// hand, however long the history: a replay reads the file once to check every row before the
// guard sees any, and again to replay them. The rows, problems and errors are those
// ReadAccountCsv gives. The constructor reads the header and learns the formats (throwing as
// ReadAccountCsv does).
class CsvRows {
 public:
  CsvRows(const std::string& path, const ColumnMapping& mapping, const CsvFormat& format = {});
  ~CsvRows();
  CsvRows(const CsvRows&) = delete;
  CsvRows& operator=(const CsvRows&) = delete;

  // Starts again at the first row.
  void Rewind();
  // The next usable row and where it came from; false after the last. Rows skipped on the way are
  // added to problems, and rows that cannot be replayed to errors, where they are given.
  bool Next(AccountFigures& figures, CsvRowSource& source,
            std::vector<CsvProblem>* problems = nullptr, std::vector<CsvProblem>* errors = nullptr);

 private:
  struct Reader;
  std::unique_ptr<Reader> reader_;
};

}  // namespace zt::sim
