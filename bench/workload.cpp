#include "workload.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "settings/settings_path.h"
#include "boundary/test_hooks.h"
#include "core/guard_state.h"
#include "host_text.h"
#include "texts/time_text.h"
#include "zentravo.h"

namespace zt::bench {
namespace {

using core::guard;

constexpr int kChart = 4711;

// A setup step that does not give the result the workload is built on means the library's
// decisions changed: the figures would measure something else, so the program stops.
void Expect(int result, int expected, const char* what) {
  if (result == expected) return;
  std::fprintf(stderr, "workload: %s returned %d, expected %d\n", what, result, expected);
  std::exit(2);
}

void Start(const std::string& folder, std::int64_t time, const char* takeProfits,
           const char* drawdownTargets, const char* increaseTargets, const char* stopLosses) {
  test_hooks::ResetGuard();
  test_hooks::ForgetCachedTimes();
  if (time > 0) {
    test_hooks::FixClock(time);
  } else {
    test_hooks::ReleaseClock();
  }
  settings::DeriveSettingsPath(folder + "/zentravo.so");
  // Every start is a first start: a settings file left by an earlier workload would be read back.
  std::error_code ignored;
  std::filesystem::remove(folder + "/zentravo.ini", ignored);
  SetWindowTitles(kChart, "EURUSD,H1", "123456: Broker Server - Demo Account");
  double initialEquity = 0.0;
  const double snapshot = InitZT(kChart, "bench", &initialEquity, 1000.0, 100.0, 900.0,
                                 takeProfits, drawdownTargets, increaseTargets, stopLosses);
  if (snapshot != 1000.0) {
    std::fprintf(stderr, "workload: InitZT returned %.2f\n", snapshot);
    std::exit(2);
  }
}

// Moves a pinned clock on; a running clock moves by itself.
void Advance(std::int64_t& time, std::int64_t seconds) {
  if (time <= 0) return;
  time += seconds;
  test_hooks::FixClock(time);
}

std::int64_t pinnedAt = 0;

// ---- The baseline's pieces -------------------------------------------------------------------

struct Cell {
  char* out;
  std::size_t used;
};

// Appends printf-formatted text, cut at the host's capacity like the library's texts.
__attribute__((format(printf, 2, 3))) void Put(Cell& cell, const char* format, ...) {
  if (cell.used + 1 >= ZT_TEXT_CAPACITY) return;
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(cell.out + cell.used, ZT_TEXT_CAPACITY - cell.used, format,
                                     arguments);
  va_end(arguments);
  if (written < 0) return;
  cell.used += static_cast<std::size_t>(written);
  if (cell.used >= ZT_TEXT_CAPACITY) cell.used = ZT_TEXT_CAPACITY - 1;
}

// "%04d.%02d.%02d %02d:%02d" of a fresh local-time conversion.
void PutTime(Cell& cell, std::int64_t time) {
  std::tm local{};
  const std::time_t converted = static_cast<std::time_t>(time);
  if (time < 0 || localtime_r(&converted, &local) == nullptr || local.tm_year + 1900 < 0 ||
      local.tm_year + 1900 > 9999) {
    Put(cell, "[----.--.-- --:--]");
    return;
  }
  Put(cell, "[%04d.%02d.%02d %02d:%02d]", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
      local.tm_hour, local.tm_min);
}

int Ahead(int position, int steps) {
  const long long ahead = static_cast<long long>(position) + steps;
  return ahead > core::kSetPositions ? core::kSetPositions : static_cast<int>(ahead);
}

// An amount, its share of base in percent, and the time it was reached: format takes the two.
void PutShareAt(Cell& cell, const char* format, double amount, double base, std::int64_t time) {
  Put(cell, format, amount, 100.0 * amount / base);
  PutTime(cell, time);
}

void PutDrawdownTarget(Cell& cell, double target, double takeProfit) {
  Put(cell, "%0.2f, %0.2f; ", target, guard.snapshot - target);
  if (takeProfit > 0.0) {
    Put(cell, "%0.2f", takeProfit);
  } else {
    Put(cell, "--");
  }
}

void PutIncreaseTarget(Cell& cell, double target) {
  if (!(target > 0.0)) {
    Put(cell, "--, (--)");
  } else {
    Put(cell, "%0.2f, (%0.2f)", target, target - guard.equity);
  }
}

constexpr const char* kFirstColumnLabels[kFirstColumnRows] = {
    "", "", "", "Take Profit, %, Next Target", "Initial / Curr Snapshot",
    "Current Equity, Snap Profit", "Equity DD, % DD", "Prev Snapshot / Last Eq DD", "",
    "Snaps / Avg / Med / Low DD", "Lowest DD, %DD", "Free Margin, %", "Lowest Free Margin, %",
    "Margin Used; Avg Margin %", "", "Zentravo equity guard"};
constexpr const char* kSecondColumnLabels[kSecondColumnRows] = {
    "", "", "Current DD Target; TP", "Next DD Target; TP", "Current Equity Increase",
    "Next Equity Increase", "", "", "Equity StopLoss", "Email EquityIncrease", "Email % Margin",
    "Email current DD", "Account Leverage", "Current Bid/Ask; Spread"};

}  // namespace

std::string MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zt-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  return pattern;
}

void RemoveFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

void StartTypicalGuard(const std::string& folder, std::int64_t time) {
  pinnedAt = time;
  Start(folder, time, "50,30;80,60", "20,40;25,50", "1100,1200", "100,150");
}

void StartQuietGuard(const std::string& folder, std::int64_t time) {
  pinnedAt = time;
  Start(folder, time, "500", "400", "", "450");
}

void RunTypicalCycle() {
  Advance(pinnedAt, 60);
  Expect(SetEquity(985.0, 50.0, 950.0, 0), ZT_NO_ACTION, "SetEquity(985)");
  Advance(pinnedAt, 60);
  Expect(SetEquity(978.0, 50.0, 940.0, 0), ZT_DRAWDOWN_STEP, "SetEquity(978)");
  Advance(pinnedAt, 60);
  Expect(SetEquity(1031.0, 55.0, 976.0, 0), ZT_TAKE_PROFIT_HIT, "SetEquity(1031)");
  SetTTC(1500, 1030.5);
  Advance(pinnedAt, 60);
  Expect(SetEquity(1030.5, 0.0, 0.0, 1), ZT_NO_ACTION, "roll to 1030.5");
  Advance(pinnedAt, 60);
  Expect(SetEquity(1020.0, 40.0, 930.0, 0), ZT_NO_ACTION, "SetEquity(1020)");
  SetEmailProp(1100.0, 50.0, 30.0);
}

void FillCycles(int closes) {
  for (int cycle = 0; cycle < closes; ++cycle) {
    const double drawdown = static_cast<double>((cycle * 7919) % 1900) / 100.0;  // 0-19
    const double margin = 100.0 + static_cast<double>((cycle * 37) % 200);
    Expect(SetEquity(1000.0 - drawdown, margin, 800.0, 0), ZT_NO_ACTION, "cycle tick");
    Expect(SetEquity(1050.0, margin, 850.0, 0), ZT_TAKE_PROFIT_HIT, "cycle close-all");
    Expect(SetEquity(1000.0, 0.0, 0.0, 1), ZT_NO_ACTION, "cycle roll");
  }
}

extern "C" void ZtBaselineLabel(int row, int column, char* out) {
  Cell cell{out, 0};
  out[0] = '\0';
  if (column == 0 && row == 0) {
    char title[80];
    std::tm local{};
    const std::time_t now = static_cast<std::time_t>(platform::Now());
    if (localtime_r(&now, &local) != nullptr &&
        std::strftime(title, sizeof title, "%a, %b %d, %Y %H:%M:%S", &local) > 0) {
      Put(cell, "Zentravo - 3.0 (%.*s) %s", static_cast<int>(strnlen(guard.hostTag, sizeof guard.hostTag)),
          guard.hostTag, title);
    } else {
      Put(cell, "Zentravo - 3.0 (%.*s) ---, --- --, ---- --:--:--",
          static_cast<int>(strnlen(guard.hostTag, sizeof guard.hostTag)), guard.hostTag);
    }
  } else if (column == 0) {
    if (row > 0 && row < kFirstColumnRows) Put(cell, "%s", kFirstColumnLabels[row]);
  } else if (row >= 0 && row < kSecondColumnRows) {
    Put(cell, "%s", kSecondColumnLabels[row]);
  }
}

namespace {

// The dashboard's first column, rows 3 to 13 but 8: the take profit, snapshots, equity,
// drawdowns, statistics, free margin and close margins.
void PutFirstColumnValue(Cell& cell, int row, const core::GuardState& g) {
  switch (row) {
    case 3: {
      const double takeProfit = core::CurrentTakeProfit();
      Put(cell, "%0.2f, %0.2f %%, %0.2f", takeProfit, 100.0 * takeProfit / g.snapshot,
          g.snapshot + takeProfit);
      break;
    }
    case 4:
      Put(cell, "%0.2f / %0.2f ", g.initialEquity, g.snapshot);
      PutTime(cell, g.snapshotTime);
      break;
    case 5:
      Put(cell, "%0.2f, %0.2f", g.equity, g.equity - g.snapshot);
      break;
    case 6:
      PutShareAt(cell, "%0.2f / %0.2f %% ", g.periodDrawdown, g.snapshot, g.periodDrawdownTime);
      break;
    case 7:
      if (g.previousPeriodDrawdownTime > 0) {
        Put(cell, "%0.2f ", g.previousSnapshot);
        PutTime(cell, g.previousSnapshotTime);
        Put(cell, " / %0.2f ", g.previousPeriodDrawdown);
        PutTime(cell, g.previousPeriodDrawdownTime);
      } else {
        Put(cell, "- / -");
      }
      break;
    case 9:
      if (g.cycleIndex > 0) {
        Put(cell, "%d / %0.2f / %0.2f / %0.2f", g.cycleIndex, g.averageDrawdown,
            g.medianDrawdown, g.lowestDrawdown);
      } else {
        Put(cell, "0 / - / - / -");
      }
      break;
    case 10:
      PutShareAt(cell, "%0.2f / %0.2f %% ", g.lowestVsInitial, g.initialEquity,
                 g.lowestVsInitialTime);
      break;
    case 11:
      Put(cell, "%0.2f, %0.2f %%", g.freeMargin, 100.0 * g.freeMargin / g.equity);
      break;
    case 12:
      PutShareAt(cell, "%0.2f, %0.2f %% ", g.lowestFreeMargin, g.snapshot,
                 g.lowestFreeMarginTime);
      break;
    default:
      if (g.cycleIndex > 0) {
        Put(cell, "%0.2f; %0.2f", g.lastCloseMargin, g.averageCloseMargin);
      } else {
        Put(cell, "- ; -");
      }
      break;
  }
}

// The dashboard's second column, rows 2 to 5, 8 and 11: the drawdown and increase targets, the
// stop loss and the e-mail drawdown.
void PutSecondColumnValue(Cell& cell, int row, const core::GuardState& g) {
  switch (row) {
    case 2:  // the drawdown target in hand (0.00 when the set holds none), and the next one
    case 3: {
      const int after = row - 2;
      const double next = core::TableAt(g.drawdownTable, g.ddSet, Ahead(g.ddIndex, 1));
      const double target = after == 0 ? core::CurrentDrawdownTarget() : next;
      const double takeProfit =
          core::TableAt(g.takeProfitTable, g.tpSet, Ahead(g.tpIndex, 1 + after));
      if (after == 0 || target > 0.0) {
        PutDrawdownTarget(cell, target, takeProfit);
      } else {
        Put(cell, "--, --; --");
      }
      break;
    }
    case 4:  // the increase target in hand, and the one after it
    case 5:
      PutIncreaseTarget(cell, core::ListAt(g.increaseTargets, Ahead(g.increaseIndex, row - 4)));
      break;
    case 8:
      Put(cell, "%0.2f", g.snapshot - core::CurrentStopLoss());
      break;
    default:
      Put(cell, "%0.2f; %0.2f", g.emailDrawdown, g.snapshot - g.emailDrawdown);
      break;
  }
}

}  // namespace

extern "C" void ZtBaselineValue(int row, int column, char* out) {
  if (guard.snapshot == 0.0 || guard.equity == 0.0 || guard.initialEquity == 0.0) return;
  Cell cell{out, 0};
  if (column == 0) {
    if (row < 3 || row > 13 || row == 8) return;
    out[0] = '\0';
    PutFirstColumnValue(cell, row, guard);
    return;
  }
  if (row != 2 && row != 3 && row != 4 && row != 5 && row != 8 && row != 11) return;
  out[0] = '\0';
  PutSecondColumnValue(cell, row, guard);
}

std::string CompareWithBaseline() {
  tools::HostText library('#');
  tools::HostText baseline('#');
  for (int column = 0; column < 2; ++column) {
    const int rows = column == 0 ? kFirstColumnRows : kSecondColumnRows;
    for (int row = 0; row < rows; ++row) {
      for (int value = 0; value < 2; ++value) {
        // Both start from the same bytes so that "writes nothing" compares equal too; the last
        // byte of the capacity is a NUL so that the comparison stops inside it.
        library.Refill();
        baseline.Refill();
        library.data()[tools::HostText::kCapacity - 1] = '\0';
        baseline.data()[tools::HostText::kCapacity - 1] = '\0';
        if (value == 0) {
          GetLabel(row, column, library.data());
          ZtBaselineLabel(row, column, baseline.data());
        } else {
          GetValue(row, column, library.data());
          ZtBaselineValue(row, column, baseline.data());
        }
        const std::string cell = std::to_string(column) + "," + std::to_string(row) +
                                 (value == 0 ? " label: " : " value: ");
        if (!library.GuardIntact() || !baseline.GuardIntact()) {
          return cell + (library.GuardIntact() ? "the baseline" : "the library") + " wrote past " +
                 std::to_string(tools::HostText::kCapacity) + " bytes";
        }
        if (std::strcmp(library.data(), baseline.data()) != 0) {
          return cell + library.data() + " | " + baseline.data();
        }
      }
    }
  }
  return {};
}

void Redraw(void (*label)(int, int, char*), void (*value)(int, int, char*), char* out) {
  for (int row = 0; row < kFirstColumnRows; ++row) {
    label(row, 0, out);
    value(row, 0, out);
  }
  for (int row = 0; row < kSecondColumnRows; ++row) {
    label(row, 1, out);
    value(row, 1, out);
  }
}

}  // namespace zt::bench
