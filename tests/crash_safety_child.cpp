// The victim of the crash-safety test (crash_safety_test.cpp): a host that starts the guard in a
// folder and then rolls snapshots, steps drawdowns, takes profits and overwrites the persisted
// values in a tight loop, until the test kills it.
//
//   zt_crash_child FOLDER SEED
//
// It reports on stdout, one line per write(2), so that a line is either all there or not at all:
//   I snapshot tpSet tpIndex ddSet ddIndex v1 ... v8
//                                               after InitZT: what it resumed from, and the eight
//                                               values of the file ("(missing)" for none)
//   B step v1 ... v8                            before a call: the eight values the call leaves
//   E step                                      the call has returned
// The values a call leaves are learnt by a rehearsal: the same call on a copy of the guard and a
// copy of the file (in FOLDER/rehearsal), after which the guard is put back as it was.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/settings_path.h"
#include "core/guard_state.h"
#include "platform/platform.h"
#include "settings/profile_store.h"
#include "boundary/test_hooks.h"
#include "zentravo.h"

namespace {

constexpr const char* kKeys[8][2] = {{"SNAP", "Equity Snap"}, {"SNAP", "Initial Equity"},
                                     {"INDEX", "TPSet"},      {"INDEX", "TP"},
                                     {"INDEX", "DDSet"},      {"INDEX", "DD"},
                                     {"INDEX", "Increase"},   {"INDEX", "SL"}};

void Say(const std::string& line) {
  const std::string text = line + "\n";
  if (write(STDOUT_FILENO, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::_Exit(3);
  }
}

std::string Values(const std::string& path) {
  std::string out;
  for (const auto& key : kKeys) {
    char value[zt::settings::kProfileValueCapacity];
    zt::settings::ReadProfileString(path.c_str(), key[0], key[1], "(missing)", value);
    out += " ";
    out += value;
  }
  return out;
}

// A byte copy of from at to (to removed when from is missing).
void Copy(const std::string& from, const std::string& to) {
  unlink(to.c_str());
  const int in = open(from.c_str(), O_RDONLY);
  if (in < 0) return;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char block[8192];
  for (ssize_t got; (got = read(in, block, sizeof block)) > 0;) {
    if (write(out, block, static_cast<std::size_t>(got)) != got) std::_Exit(4);
  }
  close(in);
  close(out);
}

std::uint64_t Mix(std::uint64_t x) {  // splitmix64: the step plan from the seed
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

void Step(std::uint64_t plan, int step) {
  const double snapshot = GetEquitySnap();
  switch (plan % 4) {
    case 0: SetEquity(snapshot - 25, 10, 900, 0); break;   // a drawdown step (or a stop loss)
    case 1: SetEquity(snapshot + 100, 12, 950, 0); break;  // a take profit
    case 2: SetEquity(900.5 + static_cast<double>(plan % 1000), 0, 0, 1); break;  // a roll
    default:
      SetLastValues(1000.25 + step % 997, step % 8, step % 32, (step / 8) % 8, (step / 3) % 32);
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string folder = argv[1];
  const std::uint64_t seed = std::strtoull(argv[2], nullptr, 10);
  const std::string settings = folder + "/zentravo.ini";
  const std::string rehearsalFolder = folder + "/rehearsal";
  const std::string rehearsal = rehearsalFolder + "/zentravo.ini";

  zt::test_hooks::FixClock(1310549945);
  zt::settings::DeriveSettingsPath(folder + "/zentravo.so");
  double initial = 0.0;
  const double snapshot = InitZT(0, "crash", &initial, 1000, 0, 1000, "50,30;80,60", "20,40;25,50",
                                 "1100,1200,1300,1400,1500,1600,1700,1800", "100,150");
  int tpSet = 0, tpIndex = 0, ddSet = 0, ddIndex = 0;
  GetIndex(&tpSet, &tpIndex, &ddSet, &ddIndex);
  char resumed[32];
  std::snprintf(resumed, sizeof resumed, "%.2f", snapshot);
  Say("I " + std::string(resumed) + " " + std::to_string(tpSet) + " " + std::to_string(tpIndex) +
      " " + std::to_string(ddSet) + " " + std::to_string(ddIndex) + Values(settings));

  for (int step = 1;; ++step) {
    const std::uint64_t plan = Mix(seed * 1000003u + static_cast<std::uint64_t>(step));
    const zt::core::GuardState saved = zt::core::guard;
    Copy(settings, rehearsal);
    zt::settings::DeriveSettingsPath(rehearsalFolder + "/zentravo.so");
    Step(plan, step);
    const std::string after = Values(rehearsal);
    zt::core::guard = saved;

    Say("B " + std::to_string(step) + after);
    Step(plan, step);
    Say("E " + std::to_string(step));
  }
}
