#include "report/page_findings.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "number_text.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;

constexpr double kNearlyThroughout = 0.9;

std::ptrdiff_t ColumnNamed(const PageTable& table, const std::string& heading) {
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    if (table.columns[c].heading == heading) return static_cast<std::ptrdiff_t>(c);
  }
  return -1;
}

}  // namespace

std::vector<Outcome> ReadOneMarketOutcomes(const PageTable& table, double deposit) {
  std::ptrdiff_t column = ColumnNamed(table, "end result");
  const bool fromEquity = column < 0;
  if (fromEquity) column = ColumnNamed(table, "end equity");
  const std::ptrdiff_t stopOuts = ColumnNamed(table, "stop-out");
  std::vector<Outcome> out;
  if (column < 0) return out;
  for (const PageRow& row : table.rows) {
    const std::optional<double>& cents = row.cells[static_cast<std::size_t>(column)].value;
    if (!cents) continue;
    const double result = *cents / 100.0 - (fromEquity ? deposit : 0.0);
    Outcome o{row.name, row.series == 0, result, result, result, result, 1, std::nullopt};
    if (stopOuts >= 0) {
      if (const std::optional<double>& n = row.cells[static_cast<std::size_t>(stopOuts)].value)
        o.stopOutShare = *n > 0.0 ? 1.0 : 0.0;
    }
    out.push_back(std::move(o));
  }
  return out;
}

std::vector<Outcome> ReadRunsOutcomes(const Json& runs) {
  std::vector<Outcome> out;
  for (const Json& l : runs.at("ladders")) {
    const Json& end = l.at("endResult");
    const auto money = [&end](const char* key) { return end.at(key).get<double>() / 100.0; };
    Outcome o{l.at("name").get<std::string>(),
              l.at("noGuard").get<bool>(),
              money("median"),
              money("p5"),
              money("p95"),
              money("worst"),
              l.at("runs").get<std::size_t>(),
              std::nullopt};
    if (l.at("stopOutShare").is_number()) o.stopOutShare = l.at("stopOutShare").get<double>();
    out.push_back(std::move(o));
  }
  return out;
}

void FillRecoveryFactors(PageTable& table, const Json& json,
                         const std::vector<std::string>& prefixes) {
  const std::ptrdiff_t column = ColumnNamed(table, "recovery factor");
  if (column < 0) return;
  for (std::size_t r = 0; r < table.rows.size() && r < prefixes.size(); ++r) {
    const Json& row = json.at(Json::json_pointer(prefixes[r]));
    const double end = row.at("endResult").at("median").get<double>() / 100.0;
    const double fall = row.at("deepestDrawdown").at("median").get<double>() / 100.0;
    PageCell& cell = table.rows[r].cells[static_cast<std::size_t>(column)];
    cell.value = RecoveryFactor(end, fall);
    cell.sortKey = RankRecovery(end, fall);
    cell.pointer.clear();
    if (!cell.value) cell.text = end < 0.0 ? "loss" : "no fall";
  }
}

void ShowDaysAsShares(PageTable& table, double runDays) {
  if (runDays <= 0.0) return;
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    FigureColumn& column = table.columns[c];
    if (column.group != "days under water" || column.unit != FigureUnit::Days) continue;
    const bool throughout =
        std::all_of(table.rows.begin(), table.rows.end(), [&](const PageRow& r) {
          const std::optional<double>& v = r.cells[c].value;
          return !v || *v >= kNearlyThroughout * runDays;
        });
    if (!throughout) continue;
    column.unit = FigureUnit::Share;
    column.heading += ", share of the run";
    for (PageRow& row : table.rows) {
      PageCell& cell = row.cells[c];
      if (cell.value) cell.value = std::min(1.0, *cell.value / runDays);
      cell.pointer.clear();
    }
  }
}

std::string WarnOfNegativeBalances(const std::vector<EndResults>& rows, double deposit) {
  std::string which;
  std::size_t below = 0, all = 0;
  double worst = 0.0;
  for (const EndResults& row : rows) {
    std::size_t count = 0;
    for (const double end : row.ends) {
      if (deposit + end >= 0.0) continue;
      ++count;
      worst = std::min(worst, end);
    }
    all += row.ends.size();
    below += count;
    if (count > 0) {
      which += (which.empty() ? "" : ", ") + row.name +
               (row.ends.size() > 1 ? " (" + std::to_string(count) + ")" : "");
    }
  }
  if (below == 0) return {};
  const std::string runs =
      all > rows.size() ? " (" + std::to_string(below) + " of " + std::to_string(all) + " runs)"
                        : "";
  return "Below zero: " + which + " ended with equity below zero" + runs + ", the worst " +
         tools::Money(worst) + " on a deposit of " + tools::Money(deposit) +
         ". A broker with negative balance protection (required for retail clients in the EU and "
         "the UK) sets such a balance back to zero and bears the rest; without it the trader owes "
         "the broker the debt. The figures here show the whole loss.";
}

}  // namespace zt::sim
