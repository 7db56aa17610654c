// The lab's answer as one page a trader opens from disk: what was run, the ladders' figures in
// tables that sort by any column, the equity curves of every ladder and of no guard on one chart,
// the spread of outcomes over many runs, and for one ladder on one market the run's own chart.
// One self-contained HTML file (inline CSS and SVG, a few lines of script for sorting): no network,
// no other file, printable on A4.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "report/report_charts.h"

namespace zt::sim {

// Which way a column's figure is better, for marking the best one; None marks nothing.
enum class Better { None, Higher, Lower };
// How a figure stands in the run's JSON, and so how the page writes it: whole cents as money, a
// share (0 to 1) as a whole percentage, a ratio with two decimals, days with one, a count whole.
enum class FigureUnit { Cents, Share, Ratio, Days, Count };

// A column of figures: where each row's figure stands in the JSON (a JSON pointer under the row's
// prefix, "/endResult/median"), its unit, and which way it is better.
struct FigureColumn {
  std::string group;    // the heading over a run of columns ("end result"); empty for none
  std::string heading;  // "median"
  std::string pointer;
  FigureUnit unit = FigureUnit::Cents;
  Better better = Better::None;
};
// A row: a ladder or no guard, its figures under prefix in the JSON ("/ladders/2").
struct FigureRow {
  std::string name;
  std::size_t series = 0;  // its colour and dash (StyleSeries)
  std::string prefix;
};

struct PageCell {
  std::optional<double> value;  // in the JSON's unit; unset where the JSON holds null or nothing
  std::string pointer;          // the figure's JSON pointer from the document's root
  // A figure the page computes: what sorts and ranks it when that is not its value (a recovery
  // factor's loss), and a word shown in place of an unset value ("loss").
  std::optional<double> sortKey;
  std::string text;
};
struct PageRow {
  std::string name;
  std::size_t series = 0;
  std::vector<PageCell> cells;
};
struct PageTable {
  std::string caption;
  std::vector<FigureColumn> columns;
  std::vector<PageRow> rows;
};
// The table of rows by columns, every figure read from json (the document --json writes).
PageTable BuildTable(const std::string& caption, const nlohmann::ordered_json& json,
                     const std::vector<FigureRow>& rows, const std::vector<FigureColumn>& columns);

// A figure as the page writes it ("-" for an unset one).
std::string FormatFigure(const std::optional<double>& value, FigureUnit unit);

struct PageFact {
  std::string label, text;
};

struct ReportPage {
  std::string title;
  std::string verdict;   // what the figures show, in one to three sentences under the title
  double deposit = 0.0;  // the starting balance: 1 % of it is the least difference marked best
  bool explainAlerts = false;         // the run's alert and e-mail texts are defined on the page
  std::vector<std::string> warnings;  // under the verdict: what a trader must not miss
  std::vector<PageFact> facts;        // what was run: input, strategy, costs, seeds, version
  std::vector<PageFact> ladders;      // each ladder (name) as the library reads it
  std::vector<PageTable> tables;
  std::optional<CurveChart> curves;  // every ladder and no guard over time
  std::string curvesCaption;
  // Over many runs where no guard's spread would flatten the ladders' on one scale: no guard on a
  // chart of its own under the ladders'.
  std::optional<CurveChart> noGuardCurves;
  std::string currency;  // the account's, "USD"; empty where the run does not say
  std::vector<Spread> endResults, drawdowns;  // over many runs; empty for one market
  std::string runChart;                       // one ladder on one market: the run's SVG chart
  std::vector<std::string> notes;  // what the figures cannot say, as the text report says it
};

// The whole page as HTML.
std::string RenderReportPage(const ReportPage& page);
// Writes RenderReportPage to path; throws std::runtime_error when it cannot.
void WriteReportPage(const ReportPage& page, const std::string& path);

// Writes the page make() gives to path and says so on out, within the page width. Returns the
// program's exit code: 1, after saying why on err, when the page cannot be made or written.
int WriteReportAndSay(const std::string& path, const std::function<ReportPage()>& make,
                      std::ostream& out, std::ostream& err);

// An SVG document as an element of the page: without its XML declaration, and as wide as the
// page allows rather than its own width in pixels (its viewBox keeps its proportions).
std::string InlineSvg(const std::string& document);

}  // namespace zt::sim
