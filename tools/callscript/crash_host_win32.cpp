// The victim of the crash-safety test on Windows (tests/crash_safety_wine.sh): a host that loads
// zentravo.dll with LoadLibraryW, starts the guard and then, until it is killed, drives it
// through closes, rolls, drawdown steps and the host's overwrites, as fast as it can, so that a
// kill at a random moment often lands inside a settings write.
//
//   zt_crash_host.exe <path of zentravo.dll> <seed>
//
// Its one line on standard output, written once the guard has started, is what the start resumed
// from the settings file:
//   I <snapshot> <initial equity> <tpSet> <tpIndex> <ddSet> <ddIndex>
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "exports.h"

namespace {

HMODULE library = nullptr;

void (*Lookup(const char* name))() {
  return reinterpret_cast<void (*)()>(GetProcAddress(library, name));
}

std::uint64_t Mix(std::uint64_t x) {  // splitmix64: the step plan from the seed
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// One event of a host's life with the guard. Every position it hands over lies inside the tables
// (8 sets of 32 places), so the next start resumes exactly what the file holds.
void Step(const zt::tools::Exports& guard, std::uint64_t plan, int step) {
  const double snapshot = guard.GetEquitySnap();
  char text[ZT_TEXT_CAPACITY];
  switch (plan % 4) {
    case 0:  // a drawdown step, or a stop loss and the roll after it
      if (guard.SetEquity(snapshot - 25, 10, 900, 0) == ZT_STOP_LOSS_HIT) {
        guard.SetTTC(120, snapshot - 25);
        guard.SetEquity(snapshot - 25, 0, 0, 1);
      }
      break;
    case 1:  // a take profit: close all, then the roll, which may pass an increase target
      if (guard.SetEquity(snapshot + 100, 12, 950, 0) == ZT_TAKE_PROFIT_HIT) {
        guard.SetTTC(150, snapshot + 100);
        guard.GetAlert(2, text);
        if (guard.SetEquity(snapshot + 100, 0, 0, 1) == ZT_INCREASE_REACHED)
          guard.GetAlert(3, text);
      }
      break;
    case 2:  // a roll at an equity of its own
      guard.SetEquity(900.5 + static_cast<double>(plan % 1000), 0, 0, 1);
      break;
    default:  // the host's overwrite of the persisted values
      guard.SetLastValues(1000.25 + step % 997, step % 8, step % 32, (step / 8) % 8,
                          (step / 3) % 32);
      break;
  }
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** const arguments = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (arguments == nullptr || argc != 3) {
    std::fputs("usage: zt_crash_host.exe <zentravo.dll> <seed>\n", stderr);
    return 2;
  }
  library = LoadLibraryW(arguments[1]);
  zt::tools::Exports guard{};
  if (library == nullptr || zt::tools::BindExports(guard, Lookup) != nullptr) {
    std::fprintf(stderr, "cannot load the library: error %lu\n", GetLastError());
    return 2;
  }
  const std::uint64_t seed = std::wcstoull(arguments[2], nullptr, 10);

  double initial = 0.0;
  const double snapshot =
      guard.InitZT(0, "crash", &initial, 1000, 0, 1000, "50,30;80,60", "20,40;25,50",
                   "1100,1200,1300,1400,1500,1600,1700,1800", "100,150");
  int tpSet = -1, tpIndex = -1, ddSet = -1, ddIndex = -1;
  guard.GetIndex(&tpSet, &tpIndex, &ddSet, &ddIndex);
  char line[160];
  const int length = std::snprintf(line, sizeof line, "I %.2f %.2f %d %d %d %d\n", snapshot,
                                   initial, tpSet, tpIndex, ddSet, ddIndex);
  // One write of the whole line, straight to the handle: the test reads it while we run on.
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);

  for (int step = 1;; ++step)
    Step(guard, Mix(seed * 1000003u + static_cast<std::uint64_t>(step)), step);
}
