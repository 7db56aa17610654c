#include "host/dashboard.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zt::sim {
namespace {

// Dashboard rows whose values carry the levels (see ReadLevels).
constexpr int kTakeProfitRow = 3;      // column 0: "TP, TP %, snapshot + TP"
constexpr int kDrawdownTargetRow = 2;  // column 1: "DDT, snapshot - DDT; next TP"
constexpr int kStopLossRow = 8;        // column 1: "snapshot - SL"

DashboardCell ReadCell(const Exports& api, int row, int column) {
  DashboardCell cell{ReadText([&](char* out) { api.GetLabel(row, column, out); }), {}, false};
  // A host cannot tell "wrote the empty text" from "wrote nothing" with a cleared buffer, so it
  // offers a marked one.
  const tools::HostText buffer =
      OfferBuffer('\x01', [&](char* out) { api.GetValue(row, column, out); });
  cell.hasValue = !buffer.Untouched();
  if (cell.hasValue) cell.value = buffer.Text();
  return cell;
}

double NumberAt(const Exports& api, int row, int column, std::size_t index) {
  const std::string text = ReadText([&](char* out) { api.GetValue(row, column, out); });
  const std::vector<double> numbers = NumbersIn(text);
  return index < numbers.size() ? numbers[index] : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

Dashboard ReadDashboard(const Exports& api) {
  Dashboard panel;
  panel.title = ReadText([&](char* out) { api.GetLabel(0, 0, out); });
  for (int row = 0; row < kFirstColumnRows; ++row)
    panel.first.at(static_cast<std::size_t>(row)) = ReadCell(api, row, 0);
  panel.first.at(0).label.clear();
  for (int row = 0; row < kSecondColumnRows; ++row)
    panel.second.at(static_cast<std::size_t>(row)) = ReadCell(api, row, 1);
  return panel;
}

std::vector<double> NumbersIn(std::string_view text) {
  std::vector<double> numbers;
  std::size_t at = 0;
  while (at < text.size()) {
    const bool digit = text[at] >= '0' && text[at] <= '9';
    const bool sign =
        text[at] == '-' && at + 1 < text.size() && text[at + 1] >= '0' && text[at + 1] <= '9';
    if (!digit && !sign) {
      ++at;
      continue;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + at, text.data() + text.size(), value);
    if (result.ec != std::errc()) {
      ++at;
      continue;
    }
    numbers.push_back(value);
    at = static_cast<std::size_t>(result.ptr - text.data());
  }
  return numbers;
}

GuardLevels ReadLevels(const Exports& api) {
  GuardLevels levels{};
  levels.snapshot = api.GetEquitySnap();
  levels.takeProfit = NumberAt(api, kTakeProfitRow, 0, 2);
  const double drawdownTarget = NumberAt(api, kDrawdownTargetRow, 1, 0);
  // A set without drawdown targets shows 0.00 and the snapshot: no level the guard acts on.
  levels.drawdownTarget = drawdownTarget > 0.0 ? NumberAt(api, kDrawdownTargetRow, 1, 1)
                                               : std::numeric_limits<double>::quiet_NaN();
  levels.stopLoss = NumberAt(api, kStopLossRow, 1, 0);
  return levels;
}

}  // namespace zt::sim
