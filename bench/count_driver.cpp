// The callgrind driver: runs one workload with the measured export called `calls` times after a
// fixed warm-up, so that count-instructions.sh can take the cost of one call as the difference
// of two runs divided by the difference of their call counts (start-up and warm-up cancel out).
//
//   zt_count <workload> <calls>
//
// Workloads:
//   setequity-unchanged   SetEquity in monitoring mode with figures that change nothing
//   setequity-lower-one   each call lowers the free margin only: one clock read
//   setequity-lower-all   each call lowers all three extremes: three clock reads
//   redraw                a whole dashboard (every GetLabel and GetValue), the clock's second fixed
//   redraw-new-second     the same, with the clock one second on at every redraw
//   redraw-snprintf       the baseline: the same texts with snprintf and localtime_r per cell
//   close-statistics      one close-all (ZtMeasuredCloseAll) that fills slot `calls` - 1, so
//                         that CloseStatistics summarises n = `calls` slots (1-512); at 512 it
//                         writes the statistics file
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "boundary/test_hooks.h"
#include "core/guard_state.h"
#include "host_text.h"
#include "workload.h"
#include "zentravo.h"

namespace {

using zt::core::guard;

constexpr int kWarmUpCalls = 64;

std::string folder;  // the settings file's folder, removed at the end

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "zt_count: %s\n", why.c_str());
  if (!folder.empty()) zt::bench::RemoveFolder(folder);
  std::exit(2);
}

int SetEquityUnchanged(int calls) {
  zt::bench::StartQuietGuard(folder, 0);
  SetEquity(1000.0, 100.0, 900.0, 0);
  const zt::core::GuardState before = guard;
  int results = 0;
  for (int i = 0; i < kWarmUpCalls + calls; ++i) results += SetEquity(1000.0, 100.0, 900.0, 0);
  if (results != 0) Fail("an unchanged tick gave a result");
  if (std::memcmp(&before, &guard, sizeof guard) != 0) Fail("an unchanged tick changed the guard");
  return 0;
}

int SetEquityLowering(int calls, bool allExtremes) {
  zt::bench::StartQuietGuard(folder, 0);
  int results = 0;
  double equity = 1000.0;
  double freeMargin = 900.0;
  for (int i = 0; i < kWarmUpCalls + calls; ++i) {
    if (allExtremes) equity -= 0.001;
    freeMargin -= 0.001;
    results += SetEquity(equity, 100.0, freeMargin, 0);
  }
  if (results != 0) Fail("a falling tick gave a result");
  if (guard.lowestFreeMargin != freeMargin) Fail("the free margin's extreme did not follow");
  if (allExtremes && (guard.periodDrawdown != equity - 1000.0 ||
                      guard.lowestVsInitial != equity - 1000.0)) {
    Fail("the equity's extremes did not follow");
  }
  return 0;
}

int Redraws(int calls, bool newSecond, bool baseline) {
  zt::bench::StartTypicalGuard(folder, zt::bench::kPinnedTime);
  zt::bench::RunTypicalCycle();
  const std::string difference = zt::bench::CompareWithBaseline();
  if (!difference.empty()) Fail("library and baseline texts differ at " + difference);
  zt::tools::HostText out('#');
  for (int i = 0; i < kWarmUpCalls + calls; ++i) {
    if (newSecond) zt::test_hooks::FixClock(zt::bench::kPinnedTime + 3600 + i);
    if (baseline) {
      zt::bench::Redraw(zt::bench::ZtBaselineLabel, zt::bench::ZtBaselineValue, out.data());
    } else {
      zt::bench::Redraw(GetLabel, GetValue, out.data());
    }
  }
  if (!out.GuardIntact()) Fail("a redraw wrote past the text buffer");
  return 0;
}

// The one close-all that is measured (callgrind toggles on this name); the cycles before it run
// the same code and are not counted.
extern "C" __attribute__((noinline)) int ZtMeasuredCloseAll() {
  return SetEquity(1050.0, 130.0, 850.0, 0);
}

int CloseStatistics(int slots) {
  if (slots < 1 || slots > zt::core::kCycleSlots) Fail("slots must be 1-512");
  zt::bench::StartTypicalGuard(folder, zt::bench::kPinnedTime);
  zt::bench::FillCycles(slots - 1);
  SetEquity(985.0, 120.0, 800.0, 0);
  if (ZtMeasuredCloseAll() != ZT_TAKE_PROFIT_HIT) Fail("no close-all");
  const bool written = guard.marginAtClose[0] == 0.0 && guard.lastCloseMargin == 130.0;
  if ((slots == zt::core::kCycleSlots) != written) Fail("the statistics file was not as expected");
  return 0;
}

int Run(std::string_view workload, int calls) {
  if (workload == "setequity-unchanged") return SetEquityUnchanged(calls);
  if (workload == "setequity-lower-one") return SetEquityLowering(calls, false);
  if (workload == "setequity-lower-all") return SetEquityLowering(calls, true);
  if (workload == "redraw") return Redraws(calls, false, false);
  if (workload == "redraw-new-second") return Redraws(calls, true, false);
  if (workload == "redraw-snprintf") return Redraws(calls, false, true);
  if (workload == "close-statistics") return CloseStatistics(calls);
  Fail("unknown workload " + std::string(workload));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) Fail("usage: zt_count <workload> <calls>");
  const int calls = std::atoi(argv[2]);
  if (calls < 0) Fail("calls must not be negative");
  folder = zt::bench::MakeFolder();
  const int status = Run(argv[1], calls);
  zt::bench::RemoveFolder(folder);
  return status;
}
