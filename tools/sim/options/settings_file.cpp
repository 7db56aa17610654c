#include "options/settings_file.h"

#include <memory>
#include <sstream>

#include "system/paths.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

// The option a key of the file names, found as CLI11 finds it ("seed" is --seed, a one-letter key
// its short option); nullptr for none. zt-sim has no subcommands, so a dotted key or a key under a
// [section] names none (nor does the section's opening, which CLI11 reads as the key "NAME.++").
CLI::Option* OptionOf(CLI::App& app, const CLI::ConfigItem& item) {
  if (!item.parents.empty()) return nullptr;
  CLI::Option* option = app.get_option_no_throw("--" + item.name);
  if (option == nullptr && item.name.size() == 1) option = app.get_option_no_throw("-" + item.name);
  if (option == nullptr) option = app.get_option_no_throw(item.name);
  return option;
}

// Gives one key of the file to its option, unless the command line gave that option already: a
// flag takes the key's word ("true", "off", ...) as a flag given that word would; any other option
// takes the key's values and checks them at once.
void Give(CLI::App& app, const CLI::Config& reader, const CLI::ConfigItem& item) {
  CLI::Option* option = OptionOf(app, item);
  // A misspelt key would otherwise leave its option at the default unseen.
  if (option == nullptr) throw CLI::ConfigError::Extras(item.fullname());
  if (!option->get_configurable()) throw CLI::ConfigError::NotConfigurable(item.fullname());
  if (!option->empty()) return;
  if (option->get_expected_min() == 0) {
    option->add_result(option->get_flag_value(item.name, reader.to_flag(item)));
  } else {
    option->add_result(item.inputs);
    option->run_callback();
  }
}

}  // namespace

SettingsFile::SettingsFile(CLI::App& app) : app_(app) {
  app.add_option_function<std::string>(
         "--config", [this](const std::string& path) { Apply(path); },
         "Read options from a settings file (lines of option = value)")
      ->type_name("")
      ->configurable(false);
}

void SettingsFile::ThrowIfUnreadable() const {
  if (!unreadable_.empty()) throw CLI::FileError::Missing(unreadable_);
}

void SettingsFile::Apply(const std::string& path) {
  std::string text;
  // A folder is no settings file either (it opens, but reads nothing).
  if (!tools::ReadWholeFile(system::PathOf(path), text)) {
    unreadable_ = path;
    return;
  }
  // The reader CLI11 reads its own settings files with: "name = value", strings in double quotes,
  // [a, b] or a, b for lists, # comments.
  const std::shared_ptr<CLI::Config> reader = app_.get_config_formatter();
  std::istringstream lines(text);
  for (const CLI::ConfigItem& item : reader->from_config(lines)) Give(app_, *reader, item);
}

}  // namespace zt::sim
