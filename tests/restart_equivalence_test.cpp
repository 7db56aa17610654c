// A restart changes nothing: a host whose terminal restarts at any call (the library unloaded and
// loaded again, InitZT called with the same target texts and the initial equity the host kept)
// must from then on get exactly what a host that never stopped gets: every SetEquity result, the
// positions, the snapshot, and the stop loss, take profit and targets the panel shows.
//
// Random host sequences (equity walks with closes and rolls, drawdown steps, increase targets
// passed, several sets and stop losses) run once without a stop; then each sequence is cut at
// every call and resumed through the exports of a fresh load of the shared library. The
// prefix before a cut is the same call for call in both hosts, so the resumed host starts from
// the settings file the uninterrupted run had left at that call.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "exports.h"
#include "test_support.h"

namespace zt {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

constexpr int kSequences = 200;
constexpr int kCallsPerSequence = 90;

struct Ladder {
  std::string takeProfits, drawdownTargets, increaseTargets, stopLosses;
};

// What the host does at one call: monitor an equity, report a close's duration, or roll.
struct Call {
  enum Kind { monitor, closeDone, roll } kind;
  double equity;
  double margin;
};

// Everything a host can see after a call that a restart must not change.
struct Seen {
  int result;
  std::string view;
};

class LoadedGuard {
 public:
  explicit LoadedGuard(const std::string& library) {
    handle_ = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return;
    missing_ = tools::BindExports(api, [this](const char* name) {
      return reinterpret_cast<void (*)()>(dlsym(handle_, name));
    });
  }
  ~LoadedGuard() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  LoadedGuard(const LoadedGuard&) = delete;
  LoadedGuard& operator=(const LoadedGuard&) = delete;
  bool Ready() const { return handle_ != nullptr && missing_ == nullptr; }

  tools::Exports api{};

 private:
  void* handle_ = nullptr;
  const char* missing_ = nullptr;
};

std::string Amounts(std::mt19937& random, int count, int low, int high) {
  std::uniform_int_distribution<int> amount(low, high);
  std::string text;
  for (int i = 0; i < count; ++i) text += (i > 0 ? "," : "") + std::to_string(amount(random));
  return text;
}

std::string Sets(std::mt19937& random, int low, int high) {
  std::uniform_int_distribution<int> count(1, 4);
  std::string text;
  const int sets = count(random);
  for (int s = 0; s < sets; ++s) text += (s > 0 ? ";" : "") + Amounts(random, count(random), low, high);
  return text;
}

Ladder RandomLadder(std::mt19937& random) {
  Ladder ladder{Sets(random, 8, 60), Sets(random, 5, 40), "", ""};
  std::uniform_int_distribution<int> count(0, 5), step(10, 40);
  int level = 1000;
  const int increases = count(random);
  for (int i = 0; i < increases; ++i) {
    level += step(random);
    ladder.increaseTargets += (i > 0 ? "," : "") + std::to_string(level);
  }
  ladder.stopLosses = Amounts(random, count(random) % 4, 30, 120);
  return ladder;
}

// The host's view after a call: the positions, the snapshot and the panel's levels.
std::string View(const tools::Exports& api) {
  int tpSet = -1, tpIndex = -1, ddSet = -1, ddIndex = -1;
  api.GetIndex(&tpSet, &tpIndex, &ddSet, &ddIndex);
  std::ostringstream out;
  out << tpSet << ' ' << tpIndex << ' ' << ddSet << ' ' << ddIndex << " snap " << api.GetEquitySnap();
  // Take profit, stop loss, drawdown target, and the next increase target (without its distance
  // from the equity of the moment, which the host passed at the start).
  const int cells[][2] = {{3, 0}, {8, 1}, {2, 1}, {4, 1}};
  for (const auto& cell : cells) {
    char text[ZT_TEXT_CAPACITY] = "";
    api.GetValue(cell[0], cell[1], text);
    const std::string value = text;
    out << " | " << value.substr(0, cell[0] == 4 ? value.find(", (") : std::string::npos);
  }
  return out.str();
}

int Make(const tools::Exports& api, const Call& call) {
  switch (call.kind) {
    case Call::monitor:
      return api.SetEquity(call.equity, call.margin, 5000 - call.margin, 0);
    case Call::closeDone:
      return api.SetTTC(250, call.equity);
    case Call::roll:
      return api.SetEquity(call.equity, 0, 0, 1);
  }
  return -1;
}

int Start(const tools::Exports& api, const Ladder& ladder, double* initial, double equity) {
  return static_cast<int>(api.InitZT(0, "restart", initial, equity, 0, 5000,
                                     ladder.takeProfits.c_str(), ladder.drawdownTargets.c_str(),
                                     ladder.increaseTargets.c_str(), ladder.stopLosses.c_str()));
}

// The uninterrupted run: the calls the host made, what it saw after each, and the settings file
// and the host's view before each (the first: right after the start).
struct Uninterrupted {
  std::vector<Call> calls;
  std::vector<Seen> seen;
  std::vector<std::string> filesBefore;
  std::vector<std::string> viewsBefore;
  double initialEquity = 0.0;
};

Uninterrupted RunThrough(const tools::Exports& api, const Ladder& ladder, std::mt19937& random,
               const std::string& settings) {
  Uninterrupted run;
  std::normal_distribution<double> move(0.0, 9.0);
  std::uniform_real_distribution<double> margin(0.0, 400.0);
  double equity = 1000.0;
  Start(api, ladder, &run.initialEquity, equity);
  while (static_cast<int>(run.calls.size()) < kCallsPerSequence) {
    // A terminal reports equity in whole cents, and the settings file keeps amounts to the cent.
    equity = std::max(100.0, std::round((equity + move(random)) * 100.0) / 100.0);
    std::vector<Call> event{{Call::monitor, equity, std::round(margin(random))}};
    for (std::size_t i = 0; i < event.size(); ++i) {
      run.filesBefore.push_back(ReadFile(settings));
      run.viewsBefore.push_back(View(api));
      const int result = Make(api, event[i]);
      run.calls.push_back(event[i]);
      run.seen.push_back({result, View(api)});
      // A close-all: the host closes, reports the equity left, and rolls the snapshot to it.
      if (event[i].kind == Call::monitor && (result == 1 || result == 2)) {
        event.push_back({Call::closeDone, equity, 0});
        event.push_back({Call::roll, equity, 0});
      }
    }
  }
  return run;
}

TEST(RestartEquivalence, AHostRestartedAtAnyCallSeesWhatAnUninterruptedHostSees) {
  TempFolder folder(true);
  const std::string library = folder.File("zentravo.so");
  const std::string settings = folder.File("zentravo.ini");
  std::filesystem::copy_file(ZT_SHARED_LIBRARY, library);
  int resumed = 0, closes = 0, increases = 0, steps = 0;
  for (int sequence = 0; sequence < kSequences; ++sequence) {
    std::mt19937 random(static_cast<std::uint32_t>(20110713 + sequence));
    const Ladder ladder = RandomLadder(random);
    std::filesystem::remove(settings);
    Uninterrupted run;
    {
      LoadedGuard guard(library);
      ASSERT_TRUE(guard.Ready()) << dlerror();
      run = RunThrough(guard.api, ladder, random, settings);
    }
    for (std::size_t i = 0; i < run.calls.size(); ++i) {
      const bool rolled = run.calls[i].kind == Call::roll;
      closes += run.calls[i].kind == Call::closeDone;
      increases += rolled && run.seen[i].result == 1;
      steps += !rolled && run.calls[i].kind == Call::monitor && run.seen[i].result == 3;
    }

    for (std::size_t cut = 0; cut < run.calls.size(); ++cut) {
      // The terminal stops before call `cut`: the file is what the start and the calls before it
      // left.
      WriteFile(settings, run.filesBefore[cut]);
      LoadedGuard guard(library);
      ASSERT_TRUE(guard.Ready());
      double initial = run.initialEquity;
      const double equityNow = run.calls[cut].equity;
      Start(guard.api, ladder, &initial, equityNow);
      const std::string where = "sequence " + std::to_string(sequence) + " (TP \"" +
                                ladder.takeProfits + "\" DD \"" + ladder.drawdownTargets +
                                "\" INC \"" + ladder.increaseTargets + "\" SL \"" +
                                ladder.stopLosses + "\") restarted before call " + std::to_string(cut);
      ASSERT_EQ(View(guard.api), run.viewsBefore[cut]) << where << ", at the start";
      for (std::size_t at = cut; at < run.calls.size(); ++at) {
        const int result = Make(guard.api, run.calls[at]);
        ASSERT_EQ(result, run.seen[at].result) << where << ", call " << at;
        ASSERT_EQ(View(guard.api), run.seen[at].view) << where << ", call " << at;
      }
      ++resumed;
    }
  }
  // The sequences must reach what a restart can lose, or they prove nothing.
  EXPECT_GT(closes, kSequences);
  EXPECT_GT(increases, kSequences / 4);
  EXPECT_GT(steps, kSequences);
  std::printf("[ restart  ] %d restarts of %d sequences: %d closes, %d increase targets, %d drawdown steps\n",
              resumed, kSequences, closes, increases, steps);
}

}  // namespace
}  // namespace zt
