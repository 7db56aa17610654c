// The simulator's own side of a state folder. The library keeps the guard's state there; a
// restarted terminal would also find its broker's account where it left it. The simulator keeps
// that half itself: where the input stopped (the model's account, or the last CSV row replayed),
// what the run was made from (input, account, ladder) and what the host remembers of the cycle in
// hand, so that a resume continues the same history instead of booking closes that never happened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host_driver.h"
#include "market/account_model.h"
#include "options/run_record.h"

namespace zt::sim {

struct SimState {
  RunIdentity identity;
  bool running = false;         // written before the first tick, cleared when the run stopped
  std::string account;          // the model's account (FormatAccount); empty for a CSV run
  std::string market;           // prices, accounts and strategies of a --market model run
  std::int64_t csvRow = -1;     // the last CSV row replayed (0-based among the usable rows)
  std::int64_t csvLine = 0;     // its line in the file
  std::uint64_t csvDigest = 0;  // of the file's text up to the end of that line
  double unguarded = 0.0;       // the equity the account would have without the guard
  double csvOffset = 0.0;       // the guarded account's equity less the recorded one
  // The host's own memory of the cycle in hand, which a restarted terminal keeps as well.
  HostCarry host;
  // Where a CSV run's close durations stand: they are drawn one close after another, so a resumed
  // run goes on with the next one rather than the first again. (The model draws each close's
  // duration from the seed and the tick, and needs none.)
  std::optional<Prng> closePrng;
};

std::string FormatSimState(const SimState& state);
// Empty when text is not a state this program wrote.
std::optional<SimState> ParseSimState(std::string_view text);

// "--seed 5 there, 999 here; --take-profits \"60\" there, \"70\" here", or empty when the two
// name the same run.
std::string CompareIdentities(const RunIdentity& stored, const RunIdentity& now);

// The text of the state file at path. Throws std::runtime_error naming the path and the system's
// reason when it cannot be read (no permission, or a folder where the file should be): such a
// file may well be a state this program wrote.
std::string ReadStateFile(const std::string& path);

// Writes text to path through a temporary file and a rename, so an interrupted write leaves the
// old file. Throws std::runtime_error naming the path and the reason.
void ReplaceFile(const std::string& path, const std::string& text);

// The file beside the library's in the state folder.
constexpr const char* kStateFile = "zt-sim-state.txt";

}  // namespace zt::sim
