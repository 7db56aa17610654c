// One record of what a run was told, made once when the command line has been read: every input
// option with its value as given (or its default), in the order --help lists them, each with what
// the report and a state folder make of it. The JSON's inputs, the report's "what was run" and
// the identity a state folder continues are all written from it, so none of them can name an
// option the others miss; where the outputs go (--json, --state, ...) is no input and stands in
// none of them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zt::sim {

// Where the report's "what was run" shows an option.
enum class Fact {
  Other,           // "other settings"
  Costs,           // "account and costs"
  Seed,            // "seed"
  Ladder,          // the ladders' own table
  StrategyChoice,  // --strategy
  StrategyCommon,  // an option of every strategy (--reentry-delay)
  StrategyOwn,     // an option of one strategy (RecordedOption::strategy)
};

struct RecordedOption {
  std::string name;  // "grid-step", as a settings file names it
  std::string text;  // "200": as given, or the default
  Fact fact = Fact::Other;
  std::string strategy;  // Fact::StrategyOwn: the strategy it belongs to ("grid")
  // Its part of a state folder's identity: the entry ("--seed", or "--prices" that several options
  // share) and what it adds to it (" point 1e-05"); no key when the identity leaves it out.
  std::string identityKey;
  std::string identityText;
};

struct RunRecord {
  std::vector<RecordedOption> options;
  // The text of the option name; empty when the record holds no such option.
  std::string TextOf(std::string_view name) const;
};

// What a state folder continues, as (option, value) pairs in the record's order: a folder
// continues only a run with the same ones.
using RunIdentity = std::vector<std::pair<std::string, std::string>>;
RunIdentity IdentifyRun(const RunRecord& record);

// The record's options as (name, value) pairs: the JSON's inputs.
std::vector<std::pair<std::string, std::string>> ListInputs(const RunRecord& record);

}  // namespace zt::sim
