// The command line's options in one table: each option registered once with its --help group and
// text, the value it fills, its range (a CLI11 validator that stops the program with one line
// naming the option) and its role in a run's record (is it an input, of which market, where the
// report shows it, what a state folder's identity makes of it). option_list.cpp is the table's
// every row; RecordRun reads the roles back.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "number_text.h"
#include "options/run_record.h"

namespace zt::sim {

// Which runs an option is an input of: every run, the account model's walk only, the position
// market only; or none (where the outputs go, how a run shows itself), which no record holds.
enum class Scope { Every, Walk, Model, Output };

// The inputs whose state folder identity holds an option.
inline constexpr unsigned kCsvIdentity = 1;
inline constexpr unsigned kWalkIdentity = 2;
inline constexpr unsigned kModelIdentity = 4;
inline constexpr unsigned kSeededIdentity = kWalkIdentity | kModelIdentity;
inline constexpr unsigned kEveryIdentity = kCsvIdentity | kSeededIdentity;

// A value outside its option's range, said in one line naming the option ("--balance must be a
// number from 0.01 to 1000000000000, not -5"). The range validators throw it, so that the program
// stops with that line alone.
struct OutOfRange : std::runtime_error {
  using std::runtime_error::runtime_error;
};
std::string CheckNumberRange(const std::string& option, double value, double lowest,
                             double highest);
std::string CheckWholeRange(const std::string& option, std::int64_t value, std::int64_t lowest,
                            std::int64_t highest);

// What a run's record makes of one option.
struct OptionRole {
  Scope scope = Scope::Every;
  Fact fact = Fact::Other;
  std::string strategy;       // Fact::StrategyOwn: whose option it is
  unsigned identity = 0;      // the inputs whose identity holds it (kCsvIdentity, ...)
  std::string identityKey;    // the identity's entry; empty: the option's own, "--NAME"
  std::string identityLabel;  // written before its value in that entry
  // The value as the identity writes it (the shortest exact number, a ladder as the library reads
  // it); nullopt leaves the option out of this run's identity.
  std::function<std::optional<std::string>()> identityText;
  // The record's text of the option, from its text as given or by default; nullopt leaves it out
  // of this run's record. Unset: the text as it is.
  std::function<std::optional<std::string>(const std::string& text)> recordedText;
};

// The value as a state folder's identity writes it, by its type.
template <typename T>
std::string IdentityValue(const T& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    return value;
  } else if constexpr (std::is_enum_v<T>) {
    return std::to_string(static_cast<int>(value));
  } else if constexpr (std::is_floating_point_v<T>) {
    return tools::Number(value);
  } else {
    return std::to_string(value);
  }
}

// One option of the table, its range and role set one after another.
class OptionRow {
 public:
  OptionRow(CLI::Option* option, OptionRole& role) : option_(option), role_(role) {}
  CLI::Option* operator->() const { return option_; }

  // --help shows its default.
  OptionRow& Shown();
  // A number from lowest to highest (both included, and finite); a whole number likewise.
  OptionRow& Number(double lowest, double highest);
  OptionRow& Whole(std::int64_t lowest, std::int64_t highest);
  OptionRow& Check(const CLI::Validator& validator);
  // Given on the command line only, never in a settings file.
  OptionRow& CommandLineOnly();

  OptionRow& In(Scope scope);
  OptionRow& Shows(Fact fact);
  OptionRow& OfStrategy(const std::string& name);
  // Part of the identity of the inputs named, as its own entry or after label in the entry key.
  OptionRow& Identity(unsigned inputs, std::string key = {}, std::string label = {});
  OptionRow& IdentityText(std::function<std::optional<std::string>()> text);
  OptionRow& Recorded(std::function<std::optional<std::string>(const std::string& text)> text);

 private:
  CLI::Option* option_;
  OptionRole& role_;
};

class OptionTable {
 public:
  explicit OptionTable(CLI::App& app) : app_(app) {}
  OptionTable(const OptionTable&) = delete;
  OptionTable& operator=(const OptionTable&) = delete;

  CLI::App& app() { return app_; }

  // The option name in group, filling value; value must outlive the table.
  template <typename T>
  OptionRow Add(const std::string& group, const std::string& name, T& value,
                const std::string& help) {
    CLI::Option* option = app_.add_option(name, value, help)->group(group);
    OptionRole& role = roles_[option->get_single_name()];
    if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T> || std::is_same_v<T, std::string>) {
      role.identityText = [&value] { return std::optional<std::string>(IdentityValue(value)); };
    }
    return OptionRow(option, role);
  }
  OptionRow AddFlag(const std::string& group, const std::string& name, bool& value,
                    const std::string& help);

  // The record of a run: every option a settings file would hold (CLI11 writes them, as given or
  // by default, in --help's order) that the run reads. model: the position market ran; input:
  // the run's input as its identity knows it (kCsvIdentity, kWalkIdentity or kModelIdentity).
  RunRecord Record(bool model, unsigned input) const;

 private:
  CLI::App& app_;
  std::map<std::string, OptionRole> roles_;  // by the name a settings file gives the option
};

}  // namespace zt::sim
