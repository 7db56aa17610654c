// Account figures read from a comma-separated file: the equity history a terminal exports, or a
// recording of a host's own figures. The header line names the columns; the reader finds time,
// equity, margin and free margin among them by name, or by a mapping the user gives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "account_model.h"

namespace zt::sim {

// Which header name (or 1-based column number, written "#3") holds each figure. An empty entry
// means "find it by its usual names". Time and equity must be found; a file without margin reads
// margin 0, one without free margin reads equity - margin.
struct ColumnMapping {
  std::string time;
  std::string equity;
  std::string margin;
  std::string freeMargin;
};

// Parses "time=<DATE>,equity=<EQUITY>,margin=#4" (keys time, equity, margin, free). Throws
// std::invalid_argument naming the bad entry.
ColumnMapping ParseColumnMapping(std::string_view text);

struct CsvProblem {
  int line;             // 1-based line of the file
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
  char delimiter;                     // ',', ';' or '\t', taken from the header line
};

// Reads the whole text. Blank lines and lines starting with '#' are skipped silently; a row with
// the wrong number of fields, a figure that is not a finite number, or a time that is not a time
// is skipped and reported. Throws std::invalid_argument when there is no header line or the
// header lacks a time or an equity column.
CsvTable ParseAccountCsv(std::string_view text, const ColumnMapping& mapping);
// Reads the file at path; throws std::runtime_error when it cannot be read.
CsvTable ReadAccountCsv(const std::string& path, const ColumnMapping& mapping);

// "2024.01.02 10:30", "2024-01-02 10:30:15", "2024-01-02T10:30:15Z", "2024/01/02", or whole
// seconds since 1970; all read as UTC. Empty when the text is none of these.
std::optional<std::int64_t> ParseTime(std::string_view text);
// "2024.01.02 10:30", the terminal's way of writing a time (UTC here).
std::string FormatTime(std::int64_t time);

}  // namespace zt::sim
