#include "report/report_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "figures/verdict.h"
#include "number_text.h"
#include "report/figure_definitions.h"
#include "report/run_text.h"
#include "report/svg_parts.h"
#include "system/output_files.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;

// Plain, printable, and readable at 800 pixels: figures in tabular digits, charts as wide as the
// page, tables that fit by wrapping names rather than by scrolling.
constexpr const char* kStyle = R"(
:root { color: #1a1a1a; background: #fff; font: 14px/1.45 "DejaVu Sans", Helvetica, Arial, sans-serif; }
body { max-width: 1180px; margin: 0 auto; padding: 16px 20px 40px; }
h1 { font-size: 22px; margin: 8px 0 2px; }
h2 { font-size: 17px; margin: 28px 0 8px; border-bottom: 1px solid #ccc; padding-bottom: 3px; }
.sub { color: #555; margin: 0 0 8px; }
dl.facts { display: grid; grid-template-columns: max-content 1fr; gap: 2px 16px; margin: 0; }
dl.facts dt { color: #555; }
dl.facts dd { margin: 0; overflow-wrap: anywhere; }
table { border-collapse: collapse; margin: 6px 0 4px; font-variant-numeric: tabular-nums; }
caption { text-align: left; font-weight: bold; padding: 4px 0; }
th, td { padding: 3px 7px; border-bottom: 1px solid #e4e4e4; }
td { text-align: right; white-space: nowrap; }
thead th { font-weight: normal; color: #444; vertical-align: bottom; }
thead th.group { border-bottom: 1px solid #999; text-align: center; }
table.figures thead th[data-column] { cursor: pointer; text-align: right; }
table.figures thead th[data-column]:hover { background: #f1f1f1; }
th[aria-sort="ascending"]::after { content: " \25B2"; font-size: 10px; }
th[aria-sort="descending"]::after { content: " \25BC"; font-size: 10px; }
tbody th { text-align: left; font-weight: normal; overflow-wrap: anywhere; min-width: 6em; }
td.best { font-weight: bold; text-decoration: underline double; }
tr.no-guard th { font-style: italic; }
.swatch { vertical-align: middle; margin-right: 6px; }
table.ladders td { text-align: left; white-space: pre-wrap; overflow-wrap: anywhere; }
figure.chart { margin: 8px 0 16px; }
figure.chart svg { display: block; width: 100%; height: auto; }
figcaption { color: #555; font-size: 13px; margin-top: 4px; }
.hint, .note, .marks { color: #555; font-size: 13px; }
p.verdict { font-size: 16px; margin: 6px 0 10px; max-width: 60em; }
p.warning { border-left: 4px solid #b00020; padding: 2px 8px; max-width: 60em; }
dl.definitions { display: grid; grid-template-columns: max-content 1fr; gap: 0 12px; margin: 2px 0 14px;
  font-size: 12px; color: #444; max-width: 60em; }
dl.definitions dt { font-weight: bold; }
dl.definitions dd { margin: 0; }
@media (max-width: 960px) {
  body { padding: 12px 10px 32px; }
  table.figures { font-size: 12px; }
  th, td { padding: 3px 2px; }
  .swatch { width: 18px; margin-right: 4px; }
}
@page { size: A4; margin: 10mm 12mm; }
@media print {
  :root { font-size: 8pt; line-height: 1.3; }
  h1 { font-size: 14pt; margin: 0 0 2px; }
  h2 { font-size: 11pt; }
  body { max-width: none; padding: 0; }
  h2 { margin: 10px 0 3px; }
  figure.chart, table { break-inside: avoid; }
  .hint { display: none; }
  .note, .marks, figcaption, dl.definitions { font-size: 7.5pt; line-height: 1.3; }
  /* Definitions run on in two columns, a term before its meaning, to keep two pages. */
  dl.definitions { display: block; columns: 2; column-gap: 14px; max-width: none; }
  dl.definitions dt { display: inline; }
  dl.definitions dt::after { content: ": "; }
  dl.definitions dd { display: inline; }
  dl.definitions dd::after { content: ""; display: block; margin-bottom: 2px; }
  th, td { padding: 1px 5px; }
  figure.chart { margin: 4px 0 8px; }
  p.verdict { font-size: 10pt; }
  /* A chart 960 units wide prints 186 mm wide: a unit is 0.55 pt, so labels need 15 units to
     stay at 8 pt or more. */
  figure.chart svg text { font-size: 15px; }
  /* The run's own chart is 1,100 units wide: 17 units print at 8 pt. */
  #run figure.chart svg text { font-size: 17px; }
}
)";

// Sorting by a heading: a first click ranks the better figures first, the next click turns it
// round. Rows without a figure stay last. Kept to what every browser has run for years.
constexpr const char* kScript = R"(
document.querySelectorAll("table.figures").forEach(function (table) {
  table.querySelectorAll("th[data-column]").forEach(function (heading) {
    heading.addEventListener("click", function () {
      var column = Number(heading.getAttribute("data-column"));
      var higherFirst = heading.getAttribute("data-better") !== "lower";
      if (heading.getAttribute("aria-sort")) higherFirst = heading.getAttribute("aria-sort") === "ascending";
      table.querySelectorAll("th[aria-sort]").forEach(function (h) { h.removeAttribute("aria-sort"); });
      heading.setAttribute("aria-sort", higherFirst ? "descending" : "ascending");
      var body = table.tBodies[0];
      var rows = Array.prototype.slice.call(body.rows);
      rows.sort(function (a, b) {
        var x = a.cells[column + 1].getAttribute("data-sort"), y = b.cells[column + 1].getAttribute("data-sort");
        if (x === null || y === null) return (x === null) - (y === null);
        return higherFirst ? Number(y) - Number(x) : Number(x) - Number(y);
      });
      rows.forEach(function (row) { body.appendChild(row); });
    });
  });
});
)";

const char* UnitName(FigureUnit unit) {
  switch (unit) {
    case FigureUnit::Cents: return "cents";
    case FigureUnit::Share: return "share";
    case FigureUnit::Ratio: return "ratio";
    case FigureUnit::Days: return "days";
    case FigureUnit::Count: return "count";
  }
  return "";
}

// The value a number JSON holds at pointer; unset for null, a missing member or another type.
std::optional<double> NumberAt(const Json& json, const std::string& pointer) {
  const Json::json_pointer at(pointer);
  if (!json.contains(at)) return std::nullopt;
  const Json& value = json.at(at);
  if (!value.is_number()) return std::nullopt;
  return value.get<double>();
}

// The least difference that makes a figure better than another, in the column's unit: 1 % of the
// deposit in money, 5 percentage points in a share, 0.1 in a ratio, a day, any count.
double MatteringStep(FigureUnit unit, double deposit) {
  switch (unit) {
    case FigureUnit::Cents: return 100.0 * SmallestMatteringAmount(deposit);
    case FigureUnit::Share: return 0.05;
    case FigureUnit::Ratio: return 0.1;
    case FigureUnit::Days: return 1.0;
    case FigureUnit::Count: return 0.5;
  }
  return 0.0;
}

std::optional<double> RankOf(const PageCell& cell) {
  return cell.sortKey ? cell.sortKey : cell.value;
}

// The rows holding the best figure of column (ties all), where it beats every other row's by more
// than the column's mattering step; none where the column has no better side.
std::vector<bool> BestOf(const PageTable& table, std::size_t column, double deposit) {
  std::vector<bool> best(table.rows.size(), false);
  const Better better = table.columns[column].better;
  if (better == Better::None) return best;
  // Higher is better from here on.
  const auto score = [&](const PageRow& row) -> std::optional<double> {
    const std::optional<double> v = RankOf(row.cells[column]);
    if (!v) return std::nullopt;
    return better == Better::Higher ? *v : -*v;
  };
  std::optional<double> top, next;
  for (const PageRow& row : table.rows) {
    if (const std::optional<double> v = score(row); v && (!top || *v > *top)) top = v;
  }
  for (const PageRow& row : table.rows) {
    if (const std::optional<double> v = score(row); v && *v != *top && (!next || *v > *next))
      next = v;
  }
  // A figure stands out only beside a worse one, and only by a difference that matters.
  if (!next || *top - *next <= MatteringStep(table.columns[column].unit, deposit)) return best;
  for (std::size_t i = 0; i < table.rows.size(); ++i) best[i] = score(table.rows[i]) == top;
  return best;
}

// A short stroke in the series' colour and dash, the key from a table row to its chart line.
std::string Swatch(std::size_t series) {
  const SeriesStyle style = StyleSeries(series);
  return std::string(
             "<svg class=\"swatch\" width=\"26\" height=\"10\" aria-hidden=\"true\"><line x1=\"1\" "
             "y1=\"5\" x2=\"25\" y2=\"5\" stroke=\"") +
         style.colour + "\" stroke-width=\"3\"" +
         (*style.dash != '\0' ? std::string(" stroke-dasharray=\"") + style.dash + "\""
                              : std::string()) +
         "/></svg>";
}

std::string TableHead(const PageTable& table) {
  std::string groups = "<tr><th></th>", headings = "<tr><th scope=\"col\">ladder</th>";
  bool anyGroup = false;
  for (std::size_t c = 0; c < table.columns.size();) {
    std::size_t span = 1;
    while (c + span < table.columns.size() &&
           table.columns[c + span].group == table.columns[c].group)
      ++span;
    anyGroup = anyGroup || !table.columns[c].group.empty();
    groups += "<th colspan=\"" + std::to_string(span) + "\"" +
              (table.columns[c].group.empty() ? "" : " class=\"group\"") + ">" +
              svg::Escape(table.columns[c].group) + "</th>";
    c += span;
  }
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    const FigureColumn& column = table.columns[c];
    headings += "<th scope=\"col\" data-column=\"" + std::to_string(c) + "\" data-better=\"" +
                (column.better == Better::Lower ? "lower" : "higher") + "\" title=\"sort\">" +
                svg::Escape(column.heading) + "</th>";
  }
  return "<thead>" + (anyGroup ? groups + "</tr>" : std::string()) + headings + "</tr></thead>";
}

std::string DefinitionsHtml(const std::vector<Definition>& definitions) {
  if (definitions.empty()) return {};
  std::string html = "<dl class=\"definitions\">\n";
  for (const Definition& d : definitions) {
    html += "<dt>" + svg::Escape(d.term) + "</dt><dd>" + svg::Escape(d.meaning) + "</dd>\n";
  }
  return html + "</dl>\n";
}

std::string TableHtml(const PageTable& table, double deposit) {
  std::vector<std::vector<bool>> best;
  for (std::size_t c = 0; c < table.columns.size(); ++c) best.push_back(BestOf(table, c, deposit));
  std::string html = "<table class=\"figures\"><caption>" + svg::Escape(table.caption) +
                     "</caption>" + TableHead(table) + "<tbody>";
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const PageRow& row = table.rows[r];
    html += std::string("<tr") + (row.series == 0 ? " class=\"no-guard\"" : "") + " data-name=\"" +
            svg::Escape(row.name) + "\"><th scope=\"row\">" + Swatch(row.series) +
            svg::Escape(row.name) + "</th>";
    for (std::size_t c = 0; c < row.cells.size(); ++c) {
      const PageCell& cell = row.cells[c];
      html += std::string("<td") + (best[c][r] ? " class=\"best\"" : "") + " data-json=\"" +
              svg::Escape(cell.pointer) + "\" data-unit=\"" + UnitName(table.columns[c].unit) +
              "\"" + (RankOf(cell) ? " data-sort=\"" + tools::Number(*RankOf(cell)) + "\"" : "") +
              ">" +
              (cell.value || cell.text.empty() ? FormatFigure(cell.value, table.columns[c].unit)
                                               : svg::Escape(cell.text)) +
              "</td>";
    }
    html += "</tr>\n";
  }
  return html + "</tbody></table>\n" + DefinitionsHtml(DefineColumns(table.columns));
}

// What a bold figure means, and the currency: kept in print, where the sorting hint is not.
std::string MarksHtml(double deposit, const std::string& currency) {
  return "<p class=\"marks\">A figure is bold and underlined twice where it is the best of its "
         "column by more than a difference that matters: 1 % of the deposit (" +
         tools::Money(SmallestMatteringAmount(deposit)) +
         ") in an amount, 5 percentage points in a share, 0.1 in a ratio, a day, one close; "
         "closer figures are no better than each other. Amounts are in the account's currency" +
         (currency.empty() ? std::string() : " (" + svg::Escape(currency) + ")") + ".</p>\n";
}

std::string FactsHtml(const std::vector<PageFact>& facts) {
  std::string html = "<dl class=\"facts\">\n";
  for (const PageFact& fact : facts) {
    html += "<dt>" + svg::Escape(fact.label) + "</dt><dd>" + svg::Escape(fact.text) + "</dd>\n";
  }
  return html + "</dl>\n";
}

std::string LaddersHtml(const std::vector<PageFact>& ladders) {
  if (ladders.empty()) return {};
  std::string html =
      "<table class=\"ladders\"><caption>Ladders as the library reads them</caption><tbody>\n";
  for (const PageFact& ladder : ladders) {
    html += "<tr><th scope=\"row\">" + svg::Escape(ladder.label) + "</th><td>" +
            svg::Escape(ladder.text) + "</td></tr>\n";
  }
  return html + "</tbody></table>\n" + DefinitionsHtml(DefineLadderTerms());
}

std::string Figure(const std::string& svg, const std::string& caption) {
  return "<figure class=\"chart\">" + svg + "<figcaption>" + svg::Escape(caption) +
         "</figcaption></figure>\n";
}

std::string WithCurrency(const std::string& title, const std::string& currency) {
  return title + (currency.empty() ? ", account's currency" : ", " + currency);
}

std::string ChartsHtml(const ReportPage& page) {
  std::string html;
  if (page.curves) {
    html +=
        "<section id=\"curves\"><h2>Equity over time</h2>\n" +
        Figure(RenderCurveChart(*page.curves), page.curvesCaption) +
        (page.noGuardCurves
             ? Figure(RenderCurveChart(*page.noGuardCurves),
                      "No guard's median equity and band on a scale of its own: its runs spread "
                      "so much wider that beside it the ladders' bands would be flat.")
             : std::string()) +
        "</section>\n";
  }
  if (!page.endResults.empty()) {
    html +=
        "<section id=\"spread\"><h2>Outcomes over the runs</h2>\n" +
        Figure(RenderDistribution(page.endResults, WithCurrency("end result", page.currency)),
               "Each dot is one run's end result (end equity less start equity); the box holds the "
               "middle 90 % of runs, the thick mark is the median, the ringed dot the worst run.") +
        Figure(RenderDistribution(page.drawdowns, WithCurrency("deepest drawdown", page.currency)),
               "Each dot is one run's deepest fall from a peak of equity; the box holds the middle "
               "90 % of runs, the ringed dot is the worst.") +
        "</section>\n";
  }
  if (!page.runChart.empty()) {
    html += "<section id=\"run\"><h2>The run</h2>\n" +
            Figure(page.runChart,
                   "The guard's levels as step lines, its closes and steps marked, and each "
                   "cycle's drawdown below.") +
            "</section>\n";
  }
  return html;
}

}  // namespace

std::string InlineSvg(const std::string& document) {
  std::string svg = document;
  if (svg.rfind("<?xml", 0) == 0) svg.erase(0, svg.find("?>") + 2);
  svg.erase(0, svg.find_first_not_of("\r\n"));
  const std::size_t end = svg.find('>');
  for (const char* attribute : {" width=\"", " height=\""}) {
    const std::size_t at = svg.find(attribute);
    if (at == std::string::npos || at > end) continue;
    svg.erase(at, svg.find('"', at + std::char_traits<char>::length(attribute)) + 1 - at);
  }
  return svg;
}

std::string FormatFigure(const std::optional<double>& value, FigureUnit unit) {
  if (!value) return "-";
  switch (unit) {
    case FigureUnit::Cents: return tools::Money(*value / 100.0);
    case FigureUnit::Share: return tools::FixedWithoutMinusZero(*value * 100.0, 0) + "%";
    case FigureUnit::Ratio: return tools::FixedWithoutMinusZero(*value, 2);
    case FigureUnit::Days: return tools::FixedWithoutMinusZero(*value, 1);
    case FigureUnit::Count: return tools::FixedWithoutMinusZero(*value, 0);
  }
  return "-";
}

PageTable BuildTable(const std::string& caption, const Json& json,
                     const std::vector<FigureRow>& rows, const std::vector<FigureColumn>& columns) {
  PageTable table{caption, columns, {}};
  for (const FigureRow& row : rows) {
    PageRow out{row.name, row.series, {}};
    for (const FigureColumn& column : columns) {
      // "{row}" in a column's pointer stands for the row's part of it; otherwise the row's part
      // leads.
      std::string pointer = column.pointer;
      if (const std::size_t at = pointer.find("{row}"); at != std::string::npos) {
        pointer.replace(at, 5, row.prefix);
      } else if (!pointer.empty()) {
        pointer = row.prefix + pointer;
      }
      // A figure the JSON does not hold (no guard has no closes) is shown as none, pointing
      // nowhere.
      if (!pointer.empty() && !json.contains(Json::json_pointer(pointer))) pointer.clear();
      out.cells.push_back(
          {pointer.empty() ? std::nullopt : NumberAt(json, pointer), pointer, std::nullopt, {}});
    }
    table.rows.push_back(std::move(out));
  }
  return table;
}

std::string RenderReportPage(const ReportPage& page) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
      svg::Escape(page.title) + "</title>\n<style>" + kStyle + "</style></head>\n<body>\n<h1>" +
      svg::Escape(page.title) + "</h1>\n";
  if (!page.verdict.empty())
    html += "<p class=\"verdict\" id=\"verdict\">" + svg::Escape(page.verdict) + "</p>\n";
  for (const std::string& warning : page.warnings)
    html += "<p class=\"warning\">" + svg::Escape(warning) + "</p>\n";
  html += "<section id=\"input\"><h2>What was run</h2>\n" + FactsHtml(page.facts) +
          LaddersHtml(page.ladders) + "</section>\n";
  html += "<section id=\"figures\"><h2>Figures</h2>\n";
  for (const PageTable& table : page.tables) html += TableHtml(table, page.deposit);
  html += "<p class=\"hint\">A click on a heading sorts the ladders by it.</p>\n" +
          MarksHtml(page.deposit, page.currency) + "</section>\n";
  html += ChartsHtml(page);
  if (!page.notes.empty() || page.explainAlerts) {
    html += "<section id=\"notes\"><h2>Read with care</h2>\n";
    for (const std::string& note : page.notes)
      html += "<p class=\"note\">" + svg::Escape(note) + "</p>\n";
    if (page.explainAlerts) {
      html +=
          "<p class=\"note\">The run's alerts and e-mails are the library's own texts, as "
          "the EA shows them:</p>\n" +
          DefinitionsHtml(DefineAlertTexts());
    }
    html += "</section>\n";
  }
  return html + "<script>" + kScript + "</script>\n</body></html>\n";
}

void WriteReportPage(const ReportPage& page, const std::string& path) {
  system::WriteWholeFile(path, RenderReportPage(page));
}

int WriteReportAndSay(const std::string& path, const std::function<ReportPage()>& make,
                      std::ostream& out, std::ostream& err) {
  try {
    WriteReportPage(make(), path);
  } catch (const std::exception& error) {
    err << "zt-sim: " << error.what() << "\n";
    return 1;
  }
  out << Folded("report written to " + path, tools::kPageWidth, "  ") << "\n";
  return 0;
}

}  // namespace zt::sim
