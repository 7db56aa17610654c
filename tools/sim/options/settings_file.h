// --config: a settings file of "name = value" lines giving any option a value the command line
// does not. CLI11 would open the file itself by its narrow name, which on Windows is read in the
// machine's ANSI code page, so a file under C:\Users\Zoë\... would be "missing"; the simulator
// reads it through its own file calls instead (a UTF-16 name on Windows) and hands CLI11's own
// reader the text, so that the file says what it always said.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace zt::sim {

class SettingsFile {
 public:
  // Registers --config on app. Register it before every option a settings file can give: CLI11
  // runs the options' callbacks in the order they were added once the whole command line is read,
  // and the file's values go to the options the command line left empty when --config's turn
  // comes, each checked as it is given (the flags when their own turn comes after).
  // A key that names no option, or one kept to the command line, throws CLI::ConfigError.
  explicit SettingsFile(CLI::App& app);
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  // Call after app.parse: throws CLI::FileError when the file named could not be read. It waits
  // until then so that --help and --version still answer beside a wrong path.
  void ThrowIfUnreadable() const;

 private:
  void Apply(const std::string& path);

  CLI::App& app_;
  std::string unreadable_;  // the path given when it could not be read; empty otherwise
};

}  // namespace zt::sim
