// Guard states the speed programs measure, and the dashboard as a plain C formatter would write
// it (snprintf, strftime and a fresh local-time conversion per cell), the baseline the library's
// own writers are compared with.
#pragma once

#include <cstdint>
#include <string>

namespace zt::bench {

// A clock value for pinned runs: 2011-07-13 09:39:05 UTC.
constexpr std::int64_t kPinnedTime = 1310549945;

// Dashboard cells a host redraws each tick: column 0 rows 0-15 and column 1 rows 0-13, one label
// and one value each.
constexpr int kFirstColumnRows = 16;
constexpr int kSecondColumnRows = 14;
constexpr int kRedrawCells = 2 * (kFirstColumnRows + kSecondColumnRows);

// One redraw of the whole panel as a host draws it each tick: every label and value of both
// columns, through the given label and value writers, into out.
void Redraw(void (*label)(int, int, char*), void (*value)(int, int, char*), char* out);

// A fresh folder under the temporary folder; the caller removes it (RemoveFolder).
std::string MakeFolder();
void RemoveFolder(const std::string& folder);

// Resets the guard, binds its settings file to folder/zentravo.ini as the library loaded from
// folder would, and starts it as a host does: InitZT with equity 1000 and the typical targets
// (take profits "50,30;80,60", drawdown targets "20,40;25,50", increase targets "1100,1200",
// stop losses "100,150"). The clock is pinned at time when time > 0, else the system's.
void StartTypicalGuard(const std::string& folder, std::int64_t time);

// The same start with targets far away (take profit 500, drawdown target 400, stop loss 450), so
// that long runs of falling equity stay in monitoring and never step or close.
void StartQuietGuard(const std::string& folder, std::int64_t time);

// Runs the typical cycle after StartTypicalGuard: a drawdown step, a take-profit close, SetTTC,
// the roll, a second cycle with a new extreme, and the host's e-mail thresholds, so that every
// dashboard cell shows a value rather than its fallback.
void RunTypicalCycle();

// Fills the statistics rings as `closes` close cycles would: one close-all per cycle with a
// varied margin and drawdown, each cycle rolled except the last, so that the next close-all is
// the one of slot `closes` (n = closes + 1). closes must be below 512.
void FillCycles(int closes);

// The baseline: the same texts as GetLabel and GetValue, formatted with snprintf/strftime and a
// localtime_r call for every time shown. Not C-locale-proof; the programs keep the "C" locale.
extern "C" void ZtBaselineLabel(int row, int column, char* out);
extern "C" void ZtBaselineValue(int row, int column, char* out);

// Compares every cell of the library's redraw with the baseline's; returns the first difference
// as "column,row label|value: library | baseline", or the empty text when all 60 agree.
std::string CompareWithBaseline();

}  // namespace zt::bench
