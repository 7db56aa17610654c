// The exported operations called in any order with any arguments, as a broken or hostile host
// might call them: amounts that are NaN, infinite, denormal or near the double range's ends;
// kinds, rows, columns, modes and indices that are negative or huge; texts that are null, empty,
// 100 KB long or full of separators; null out pointers; a clock at any time; a settings file that
// is garbage, a folder, or in a folder that does not exist.
//
// After every call the fuzzer checks what a host relies on: every position lies inside its table,
// every text of the state is terminated inside its field, the reference equities are 0 or usable,
// the drawdowns are finite and not positive, a text buffer is either untouched or holds a text
// terminated within ZT_TEXT_CAPACITY bytes with nothing changed past them, and the operations
// documented to change nothing (a rejected equity, SetLastValues, the getters) changed nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "settings/settings_path.h"
#include "core/amounts.h"
#include "core/guard_state.h"
#include "fuzz_folder.h"
#include "boundary/test_hooks.h"
#include "zentravo.h"

namespace {

using zt::core::guard;
using zt::core::GuardState;

constexpr std::size_t kHugeText = 100 * 1024;
constexpr std::size_t kGuardBytes = 64;
constexpr char kFill = '\x7F';
constexpr int kMostCalls = 400;        // calls per input, so one input stays fast
constexpr int kMostCycles = 600;       // close-and-roll cycles in one burst: past the 512 slots
constexpr std::size_t kMostFileBytes = 4096;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr std::array<double, 22> kAmounts = {
    0.0,  -0.0,   1.0,     -1.0,    1000.0,  985.0,    978.0,   1031.0, 1030.5, 1100.0,  0.005,
    1e-310, -1e-310, DBL_MIN, DBL_MAX, -DBL_MAX, 1e308, -1e308, kInf,   -kInf,  kNaN,    -kNaN};

constexpr std::array<int, 20> kInts = {INT_MIN, -5,  -1, 0,  1,  2,   3,   4,   5,   7,
                                       8,       15,  16, 31, 32, 99,  511, 512, 513, INT_MAX};

constexpr std::array<std::int64_t, 8> kTimes = {
    0, -1, 1310549945, INT64_MIN, INT64_MAX, 253402300799, 253402300800, -62167219201};

constexpr std::array<const char*, 10> kTexts = {
    "",          "50,30;80,60", "20,40;25,50", "1100,1200", "100,150", ";;;,,,", "EA-1",
    "1e400;inf", "0,0,0;0",     "-5,+3;nan"};

std::string hugeNumbers;     // 100 KB of amounts and separators
std::string hugeDigits;      // 100 KB of one number: beyond the double range
std::string hugeSeparators;  // 100 KB of ';'

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "call-sequence invariant broken: %s\n", what);
  std::abort();
}

void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// ---- Arguments ----------------------------------------------------------------------------

double Amount(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
  return kAmounts[in.ConsumeIntegralInRange<std::size_t>(0, kAmounts.size() - 1)];
}

int Int(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return in.ConsumeIntegral<int>();
  return kInts[in.ConsumeIntegralInRange<std::size_t>(0, kInts.size() - 1)];
}

// A text argument; owned by holder, which must outlive the call. Null is one of the choices.
const char* Text(FuzzedDataProvider& in, std::string& holder) {
  switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0:
      return nullptr;
    case 1:
      return kTexts[in.ConsumeIntegralInRange<std::size_t>(0, kTexts.size() - 1)];
    case 2:
      return hugeNumbers.c_str();
    case 3:
      return hugeDigits.c_str();
    case 4:
      return hugeSeparators.c_str();
    default:
      holder = in.ConsumeRandomLengthString(256);
      return holder.c_str();  // cut at its first NUL, as a host's text is
  }
}

// ---- Checks -------------------------------------------------------------------------------

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
  return std::memchr(field, '\0', N) != nullptr;
}

bool ZeroOrUsable(double amount) { return amount == 0.0 || zt::core::IsUsableEquity(amount); }
bool Drawdown(double amount) { return std::isfinite(amount) && amount <= 0.0; }

void CheckGuard() {
  const GuardState& g = guard;
  Check(g.tpSet >= 0 && g.tpSet < zt::core::kTargetSets, "tpSet outside 0-7");
  Check(g.ddSet >= 0 && g.ddSet < zt::core::kTargetSets, "ddSet outside 0-7");
  Check(g.tpIndex >= 0 && g.tpIndex < zt::core::kSetPositions, "tpIndex outside 0-31");
  Check(g.ddIndex >= 0 && g.ddIndex < zt::core::kSetPositions, "ddIndex outside 0-31");
  Check(g.increaseIndex >= 0 && g.increaseIndex <= zt::core::kListEntries,
        "increaseIndex outside 0-8");
  Check(g.stopLossIndex >= 0 && g.stopLossIndex < zt::core::kListEntries,
        "stopLossIndex outside 0-7");
  Check(g.cycleIndex >= 0 && g.cycleIndex < zt::core::kCycleSlots, "cycleIndex outside 0-511");
  Check(Terminated(g.settingsPath), "settingsPath not terminated");
  Check(Terminated(g.hostTag), "hostTag not terminated");
  Check(Terminated(g.symbol), "symbol not terminated");
  Check(Terminated(g.serverName), "serverName not terminated");
  Check(ZeroOrUsable(g.snapshot), "snapshot neither 0 nor a usable equity");
  Check(ZeroOrUsable(g.previousSnapshot), "previousSnapshot neither 0 nor a usable equity");
  Check(ZeroOrUsable(g.initialEquity), "initialEquity neither 0 nor a usable equity");
  Check(Drawdown(g.periodDrawdown), "periodDrawdown not a drawdown");
  Check(Drawdown(g.previousPeriodDrawdown), "previousPeriodDrawdown not a drawdown");
  Check(Drawdown(g.lowestVsInitial), "lowestVsInitial not a drawdown");
  for (double drawdown : g.drawdownAtClose) Check(Drawdown(drawdown), "a ring drawdown is not one");
}

// A host's buffer: ZT_TEXT_CAPACITY bytes and guard bytes, none of them NUL.
struct HostBuffer {
  std::array<char, ZT_TEXT_CAPACITY + kGuardBytes> bytes;
  void Fill() { bytes.fill(kFill); }
  void CheckAfterWrite() const {
    bool untouched = true;
    for (char c : bytes) untouched = untouched && c == kFill;
    if (untouched) return;
    Check(std::memchr(bytes.data(), '\0', ZT_TEXT_CAPACITY) != nullptr,
          "a text is not terminated within ZT_TEXT_CAPACITY bytes");
    for (std::size_t i = ZT_TEXT_CAPACITY; i < bytes.size(); ++i) {
      Check(bytes[i] == kFill, "a text writer wrote past ZT_TEXT_CAPACITY bytes");
    }
  }
};

HostBuffer buffer;

// The buffer, or a null pointer now and then.
char* Out(FuzzedDataProvider& in) {
  buffer.Fill();
  return in.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : buffer.bytes.data();
}

// Operations documented to leave the guard alone.
// The guard's state is the same after a call as before it. What the store reports about its
// files (the notice line's persistence) may change with any write and is not the guard's state.
struct Unchanged {
  GuardState before = guard;
  void Verify(const char* what) const {
    GuardState now = guard;
    now.persistence = before.persistence;
    if (std::memcmp(&before, &now, sizeof now) != 0) Fail(what);
  }
};

// ---- The settings file under attack --------------------------------------------------------

std::string SettingsFile() { return zt::fuzzing::ScratchFolder() + "/zentravo.ini"; }

void BindSettings(const std::string& libraryPath) { zt::settings::DeriveSettingsPath(libraryPath); }

void AttackSettings(FuzzedDataProvider& in) {
  const std::string file = SettingsFile();
  switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: {
      const std::string bytes = in.ConsumeRandomLengthString(kMostFileBytes);
      std::FILE* out = std::fopen(file.c_str(), "wb");
      if (out == nullptr) return;  // it is a folder now
      std::fwrite(bytes.data(), 1, bytes.size(), out);
      std::fclose(out);
      return;
    }
    case 1:
      std::remove(file.c_str());
      std::filesystem::create_directory(file);  // the settings file is a folder
      return;
    case 2:
      BindSettings(zt::fuzzing::ScratchFolder() + "/missing/zentravo.so");
      return;
    case 3:
      BindSettings("");  // the library could not learn its path: persist nothing
      return;
    default:
      zt::fuzzing::ClearScratchFolder();
      BindSettings(zt::fuzzing::ScratchFolder() + "/zentravo.so");
      return;
  }
}

// ---- Calls ----------------------------------------------------------------------------------

void CallInit(FuzzedDataProvider& in) {
  std::string tag, tp, dd, inc, sl;
  const int chart = Int(in);
  const char* hostTag = Text(in, tag);
  const bool withInitial = in.ConsumeIntegralInRange(0, 7) != 0;
  double initial = Amount(in);
  const double initialBefore = initial;
  const double equity = Amount(in);
  const double margin = Amount(in);
  const double freeMargin = Amount(in);
  const char* takeProfits = Text(in, tp);
  const char* drawdowns = Text(in, dd);
  const char* increases = Text(in, inc);
  const char* stopLosses = Text(in, sl);
  const double snapshot = InitZT(chart, hostTag, withInitial ? &initial : nullptr, equity, margin,
                                 freeMargin, takeProfits, drawdowns, increases, stopLosses);
  Check(ZeroOrUsable(snapshot), "InitZT returned neither 0 nor a usable equity");
  if (!withInitial) return;
  if (snapshot == 0.0) {
    Check(std::bit_cast<std::uint64_t>(initial) == std::bit_cast<std::uint64_t>(initialBefore),
          "InitZT that did not start changed the initial-equity variable");
  } else {
    Check(initial == guard.initialEquity, "InitZT did not hand back the initial equity");
  }
}

void CallSetEquity(FuzzedDataProvider& in) {
  const double equity = Amount(in);
  const double margin = Amount(in);
  const double freeMargin = Amount(in);
  const int mode = Int(in);
  const Unchanged unchanged;
  const int result = SetEquity(equity, margin, freeMargin, mode);
  if (!zt::core::IsUsableEquity(equity)) {
    Check(result == ZT_NO_ACTION, "a rejected equity gave a result");
    unchanged.Verify("a rejected equity changed the guard");
  } else if (mode >= 1) {
    Check(result == ZT_NO_ACTION || result == ZT_INCREASE_REACHED, "snapshot mode result");
  } else {
    Check(result >= ZT_NO_ACTION && result <= ZT_DRAWDOWN_STEP, "monitoring result");
  }
}

// Closes and rolls cycle after cycle, so the rings fill and the statistics file is written.
void CallCycles(FuzzedDataProvider& in) {
  const int cycles = in.ConsumeIntegralInRange(1, kMostCycles);
  const double margin = Amount(in);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    const double snapshot = guard.snapshot > 0.0 ? guard.snapshot : 1000.0;
    const int close = SetEquity(snapshot * (cycle % 2 == 0 ? 0.5 : 2.0), margin, margin, 0);
    Check(close >= ZT_NO_ACTION && close <= ZT_DRAWDOWN_STEP, "monitoring result");
    SetEquity(snapshot, 0, 0, 1);
    CheckGuard();
  }
}

void CallText(int which, FuzzedDataProvider& in) {
  const int first = Int(in);
  const int second = Int(in);
  const double amount = Amount(in);
  char* out = Out(in);
  const Unchanged unchanged;
  switch (which) {
    case 0: GetAlert(first, out); break;
    case 1: GetEmailSubject(first, out); break;
    case 2: GetEmailText(first, second, amount, out); break;
    case 3: GetLabel(first, second, out); break;
    default: GetValue(first, second, out); break;
  }
  unchanged.Verify("a text export changed the guard");
  buffer.CheckAfterWrite();
}

void CallGetIndex(FuzzedDataProvider& in) {
  constexpr int kSentinel = -424242;
  std::array<int, 4> out{kSentinel, kSentinel, kSentinel, kSentinel};
  std::array<int*, 4> pointers{};
  for (std::size_t i = 0; i < 4; ++i) pointers[i] = in.ConsumeBool() ? &out[i] : nullptr;
  GetIndex(pointers[0], pointers[1], pointers[2], pointers[3]);
  const std::array<int, 4> expected{guard.tpSet, guard.tpIndex, guard.ddSet, guard.ddIndex};
  for (std::size_t i = 0; i < 4; ++i) {
    Check(out[i] == (pointers[i] != nullptr ? expected[i] : kSentinel), "GetIndex wrote wrongly");
  }
}

void Call(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 15)) {
    case 0: CallInit(in); break;
    case 1:
    case 2: CallSetEquity(in); break;
    case 3: {
      const double snapshot = Amount(in);
      const int a = Int(in), b = Int(in), c = Int(in), d = Int(in);
      const Unchanged unchanged;
      SetLastValues(snapshot, a, b, c, d);
      unchanged.Verify("SetLastValues changed the guard");
      break;
    }
    case 4: {
      const int duration = Int(in);
      Check(SetTTC(duration, Amount(in)) == duration, "SetTTC did not return its duration");
      break;
    }
    case 5: {
      const double a = Amount(in), b = Amount(in), c = Amount(in);
      SetEmailProp(a, b, c);
      break;
    }
    case 6: Check(GetEquitySnap() == guard.snapshot, "GetEquitySnap is not the snapshot"); break;
    case 7: CallGetIndex(in); break;
    case 8:
    case 9: CallText(in.ConsumeIntegralInRange(0, 4), in); break;
    case 10: {
      std::string frame, main;
      const int chart = Int(in);
      const char* frameTitle = Text(in, frame);
      SetWindowTitles(chart, frameTitle, Text(in, main));
      break;
    }
    case 11:
      if (in.ConsumeBool()) {
        zt::test_hooks::FixClock(in.ConsumeBool()
                                   ? in.ConsumeIntegral<std::int64_t>()
                                   : kTimes[in.ConsumeIntegralInRange<std::size_t>(0, kTimes.size() - 1)]);
      } else {
        zt::test_hooks::ReleaseClock();
      }
      break;
    case 12: AttackSettings(in); break;
    case 13: CallCycles(in); break;
    default: CallText(3 + in.ConsumeIntegralInRange(0, 1), in); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (std::size_t i = 0; hugeNumbers.size() < kHugeText; ++i) {
    hugeNumbers += std::to_string(i % 997);
    hugeNumbers += i % 32 == 31 ? ';' : ',';
  }
  hugeDigits.assign(kHugeText, '9');
  hugeSeparators.assign(kHugeText, ';');
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  zt::test_hooks::ResetGuard();
  zt::fuzzing::ClearScratchFolder();
  zt::test_hooks::FixClock(1310549945);
  BindSettings(zt::fuzzing::ScratchFolder() + "/zentravo.so");
  CheckGuard();
  for (int calls = 0; calls < kMostCalls && in.remaining_bytes() > 0; ++calls) {
    Call(in);
    CheckGuard();
  }
  return 0;
}
