// Times of the tick path, for comparison on one machine (a shared machine's times vary; the
// repeatable figures come from count-instructions.sh and count-syscalls.sh):
//   ./build/bench/bench/zt_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/close_statistics.h"
#include "engine/equity_check.h"
#include "boundary/test_hooks.h"
#include "core/guard_state.h"
#include "host_text.h"
#include "settings/settings_store.h"
#include "workload.h"
#include "zentravo.h"

namespace {

using zt::core::guard;

// One folder for the run's settings and statistics files, removed at the end.
std::string folder;

void Redraw(void (*label)(int, int, char*), void (*value)(int, int, char*), char* out) {
  zt::bench::Redraw(label, value, out);
  benchmark::DoNotOptimize(out);
  benchmark::ClobberMemory();
}

void StartDashboard(benchmark::State& state) {
  zt::bench::StartTypicalGuard(folder, zt::bench::kPinnedTime);
  zt::bench::RunTypicalCycle();
  const std::string difference = zt::bench::CompareWithBaseline();
  if (!difference.empty()) state.SkipWithError(("texts differ at " + difference).c_str());
}

// ---- SetEquity in monitoring mode ----

void BM_SetEquityUnchanged(benchmark::State& state) {
  zt::bench::StartQuietGuard(folder, 0);
  for (auto _ : state) benchmark::DoNotOptimize(SetEquity(1000.0, 100.0, 900.0, 0));
}
BENCHMARK(BM_SetEquityUnchanged);

// Every call a new low of equity and free margin: three extremes, each stamped with the clock.
void BM_SetEquityLowersExtremes(benchmark::State& state) {
  zt::bench::StartQuietGuard(folder, 0);
  double equity = 1000.0;
  double freeMargin = 900.0;
  for (auto _ : state) {
    equity -= 1e-7;
    freeMargin -= 1e-7;
    benchmark::DoNotOptimize(SetEquity(equity, 100.0, freeMargin, 0));
  }
  if (guard.periodDrawdown != equity - 1000.0) state.SkipWithError("the extremes did not follow");
}
BENCHMARK(BM_SetEquityLowersExtremes);

// ---- The dashboard: the library's writers and the snprintf baseline side by side ----

// A redraw's cells as the items processed; a redraw that wrote past its buffer spoils the figures.
void CountRedraws(benchmark::State& state, const zt::tools::HostText& out) {
  if (!out.GuardIntact()) state.SkipWithError("a redraw wrote past the text buffer");
  state.SetItemsProcessed(state.iterations() * zt::bench::kRedrawCells);
}

void BM_DashboardRedraw(benchmark::State& state) {
  StartDashboard(state);
  zt::tools::HostText out('#');
  for (auto _ : state) Redraw(GetLabel, GetValue, out.data());
  CountRedraws(state, out);
}
BENCHMARK(BM_DashboardRedraw);

// The title's second moves on at every redraw: one conversion that the cache cannot answer.
void BM_DashboardRedrawNewSecond(benchmark::State& state) {
  StartDashboard(state);
  zt::tools::HostText out('#');
  std::int64_t now = zt::bench::kPinnedTime + 3600;
  for (auto _ : state) {
    zt::test_hooks::FixClock(++now);
    Redraw(GetLabel, GetValue, out.data());
  }
  CountRedraws(state, out);
}
BENCHMARK(BM_DashboardRedrawNewSecond);

void BM_DashboardRedrawSnprintf(benchmark::State& state) {
  StartDashboard(state);
  zt::tools::HostText out('#');
  for (auto _ : state) Redraw(zt::bench::ZtBaselineLabel, zt::bench::ZtBaselineValue, out.data());
  CountRedraws(state, out);
}
BENCHMARK(BM_DashboardRedrawSnprintf);

// ---- Close statistics and the settings file ----

// The summaries over 512 filled slots, without the statistics file (no settings path): the
// copy, the sums and the sort of 512 drawdowns that every close-all of the last slot pays.
void BM_CloseStatistics512(benchmark::State& state) {
  zt::bench::StartTypicalGuard(folder, zt::bench::kPinnedTime);
  zt::bench::FillCycles(zt::core::kCycleSlots - 1);
  guard.settingsPath[0] = '\0';
  for (auto _ : state) zt::engine::CloseStatistics();
  if (guard.marginAtClose[0] == 0.0) state.SkipWithError("the rings were cleared");
}
BENCHMARK(BM_CloseStatistics512);

// The four positions as a drawdown step or a close-all writes them, each time changed, so each
// write is a rewrite of the file: read, temporary file, flush to disk, rename. Bound by the disk.
void BM_WriteIndicesRewrite(benchmark::State& state) {
  zt::bench::StartTypicalGuard(folder, zt::bench::kPinnedTime);
  for (auto _ : state) {
    guard.ddIndex = 1 - guard.ddIndex;
    zt::settings::WriteIndices();
  }
}
BENCHMARK(BM_WriteIndicesRewrite)->Iterations(200)->Unit(benchmark::kMicrosecond);

// The same write when the file already holds the values: read and compare, nothing written.
void BM_WriteIndicesUnchanged(benchmark::State& state) {
  zt::bench::StartTypicalGuard(folder, zt::bench::kPinnedTime);
  zt::settings::WriteIndices();
  for (auto _ : state) zt::settings::WriteIndices();
}
BENCHMARK(BM_WriteIndicesUnchanged)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  folder = zt::bench::MakeFolder();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  zt::bench::RemoveFolder(folder);
  return 0;
}
