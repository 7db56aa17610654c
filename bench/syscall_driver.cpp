// The strace driver: the typical cycle's first drawdown step and a later close-all, each of
// which writes the four positions to the settings file. count-syscalls.sh runs it three times,
// with fewer events each time, and takes the differences of strace's counts, so that start-up and
// setup cancel out; the marker calls let it list each event's calls from a full trace as well.
//
//   zt_syscalls none | step | step-close
//
// Sequence: InitZT (equity 1000, the typical targets, a fresh settings file) and a quiet tick;
//   [step]  SetEquity(978): the drawdown target steps on, positions 0,0,1,1 are written (a new
//           [INDEX] section);
//   the roll to 1030.5, which zeroes the positions in memory only;
//   [close] SetEquity(1081): take profit hit, positions 0,0,0,0 are written over 0,0,1,1.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "workload.h"
#include "zentravo.h"

namespace {

// A call strace shows with its argument, so that the script can find where an event starts.
void Marker(const char* name) {
  const std::string path = std::string("/zt-syscall-marker/") + name;
  (void)access(path.c_str(), F_OK);
}

void Expect(int result, int expected, const char* what) {
  if (result == expected) return;
  std::fprintf(stderr, "zt_syscalls: %s returned %d, expected %d\n", what, result, expected);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view events = argc == 2 ? argv[1] : "";
  const bool step = events == "step" || events == "step-close";
  const bool close = events == "step-close";
  if (!step && events != "none") {
    std::fprintf(stderr, "usage: zt_syscalls none | step | step-close\n");
    return 2;
  }
  const std::string folder = zt::bench::MakeFolder();
  zt::bench::StartTypicalGuard(folder, zt::bench::kPinnedTime);
  Expect(SetEquity(985.0, 50.0, 950.0, 0), ZT_NO_ACTION, "SetEquity(985)");

  Marker("step-begin");
  if (step) Expect(SetEquity(978.0, 50.0, 940.0, 0), ZT_DRAWDOWN_STEP, "SetEquity(978)");
  Marker("step-end");

  Expect(SetEquity(1030.5, 0.0, 0.0, 1), ZT_NO_ACTION, "roll to 1030.5");

  Marker("close-begin");
  if (close) Expect(SetEquity(1081.0, 55.0, 976.0, 0), ZT_TAKE_PROFIT_HIT, "SetEquity(1081)");
  Marker("close-end");

  zt::bench::RemoveFolder(folder);
  return 0;
}
