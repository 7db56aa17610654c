#include "options/option_table.h"

#include <cmath>
#include <sstream>

#include "text_helpers.h"

namespace zt::sim {

std::string CheckNumberRange(const std::string& option, double value, double lowest,
                             double highest) {
  if (std::isfinite(value) && value >= lowest && value <= highest) return {};
  return option + " must be a number from " + tools::Significant(lowest, 15) + " to " +
         tools::Significant(highest, 15) + ", not " + tools::Significant(value, 15);
}

std::string CheckWholeRange(const std::string& option, std::int64_t value, std::int64_t lowest,
                            std::int64_t highest) {
  if (value >= lowest && value <= highest) return {};
  return option + " must be a whole number from " + std::to_string(lowest) + " to " +
         std::to_string(highest) + ", not " + std::to_string(value);
}

OptionRow& OptionRow::Shown() {
  option_->capture_default_str();
  return *this;
}

namespace {

// A check that reads the text as a T and refuses a value outside says with the option's name; a
// text that is no T is left to the parser, which says so in its own words.
template <typename T>
CLI::Validator RangeCheck(std::function<std::string(T)> outside) {
  return CLI::Validator(
      [outside = std::move(outside)](std::string& text) {
        T value{};
        if (!CLI::detail::lexical_cast(text, value)) return std::string();
        if (const std::string mistake = outside(value); !mistake.empty()) throw OutOfRange(mistake);
        return std::string();
      },
      "");
}

}  // namespace

OptionRow& OptionRow::Number(double lowest, double highest) {
  const std::string name = option_->get_name();
  option_->check(
      RangeCheck<double>([=](double v) { return CheckNumberRange(name, v, lowest, highest); }));
  return *this;
}

OptionRow& OptionRow::Whole(std::int64_t lowest, std::int64_t highest) {
  const std::string name = option_->get_name();
  option_->check(RangeCheck<std::int64_t>(
      [=](std::int64_t v) { return CheckWholeRange(name, v, lowest, highest); }));
  return *this;
}

OptionRow& OptionRow::Check(const CLI::Validator& validator) {
  option_->check(validator);
  return *this;
}

OptionRow& OptionRow::CommandLineOnly() {
  option_->configurable(false);
  return *this;
}

OptionRow& OptionRow::In(Scope scope) {
  role_.scope = scope;
  return *this;
}

OptionRow& OptionRow::Shows(Fact fact) {
  role_.fact = fact;
  return *this;
}

OptionRow& OptionRow::OfStrategy(const std::string& name) {
  role_.fact = Fact::StrategyOwn;
  role_.strategy = name;
  return *this;
}

OptionRow& OptionRow::Identity(unsigned inputs, std::string key, std::string label) {
  role_.identity = inputs;
  role_.identityKey = std::move(key);
  role_.identityLabel = std::move(label);
  return *this;
}

OptionRow& OptionRow::IdentityText(std::function<std::optional<std::string>()> text) {
  role_.identityText = std::move(text);
  return *this;
}

OptionRow& OptionRow::Recorded(std::function<std::optional<std::string>(const std::string&)> text) {
  role_.recordedText = std::move(text);
  return *this;
}

OptionRow OptionTable::AddFlag(const std::string& group, const std::string& name, bool& value,
                               const std::string& help) {
  CLI::Option* option = app_.add_flag(name, value, help)->group(group);
  return OptionRow(option, roles_[option->get_single_name()]);
}

RunRecord OptionTable::Record(bool model, unsigned input) const {
  RunRecord record;
  // CLI11's own dump of a settings file, "name=value" lines, is the one place that knows how it
  // writes each kind of value (a string quoted, a flag true or false, a default).
  std::istringstream dump(app_.config_to_str(true, false));
  for (std::string line; std::getline(dump, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || line.front() == '#') continue;
    const auto role = roles_.find(line.substr(0, equals));
    if (role == roles_.end()) continue;
    const OptionRole& r = role->second;
    if (r.scope == Scope::Output || (r.scope == Scope::Walk && model) ||
        (r.scope == Scope::Model && !model)) {
      continue;
    }
    std::optional<std::string> text(tools::Unquoted(std::string_view(line).substr(equals + 1)));
    if (r.recordedText) text = r.recordedText(*text);
    if (!text) continue;
    RecordedOption recorded{role->first, *text, r.fact, r.strategy, {}, {}};
    if ((r.identity & input) != 0) {
      if (const std::optional<std::string> value = r.identityText()) {
        recorded.identityKey = r.identityKey.empty() ? "--" + role->first : r.identityKey;
        recorded.identityText = r.identityLabel + *value;
      }
    }
    record.options.push_back(std::move(recorded));
  }
  return record;
}

}  // namespace zt::sim
