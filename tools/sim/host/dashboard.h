// The chart panel a terminal host draws from the guard: two columns of label and value cells,
// read through GetLabel and GetValue exactly as a host redraws it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/limits.h"
#include "host/guard_api.h"

namespace zt::sim {

// The panel's rows, as the library lays them out: column 0 from its title line (row 0) to its
// notice line (row 15), every other column 14.
using core::kFirstColumnRows;
using core::kSecondColumnRows;

struct DashboardCell {
  std::string label;
  std::string value;
  bool hasValue;  // GetValue wrote something (it leaves the buffer alone for cells without one)
};

struct Dashboard {
  std::string title;                                  // GetLabel(0, 0)
  std::array<DashboardCell, kFirstColumnRows> first;  // first.at(0) holds no label: see title
  std::array<DashboardCell, kSecondColumnRows> second;
};

Dashboard ReadDashboard(const Exports& api);

// The numbers in a dashboard or alert text, in order: "-50.00 / -5.00 % [2011.07.13 09:39]"
// gives -50, -5, 2011.07, 13, 9, 39 -- callers take the leading ones they know the meaning of.
std::vector<double> NumbersIn(std::string_view text);

// The three equity levels the guard acts on now, read from the panel and the snapshot:
// stop loss (snapshot - SL), drawdown target (snapshot - DDT; NaN when the set has none),
// take profit (snapshot + TP).
struct GuardLevels {
  double snapshot;
  double takeProfit;
  double drawdownTarget;
  double stopLoss;
};
GuardLevels ReadLevels(const Exports& api);

}  // namespace zt::sim
