#include "end_to_end_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

extern char** environ;

namespace zt::sim::testing {

SimOptions Options(std::vector<std::string> arguments) {
  return CommandLineOptions(std::move(arguments));
}

std::vector<std::string> With(std::vector<std::string> options,
                              const std::vector<std::string>& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

std::string IniValue(const std::string& text, const std::string& key) {
  const std::size_t at = text.find("\n" + key + "=");
  if (at == std::string::npos) return {};
  const std::size_t start = at + key.size() + 2;
  return text.substr(start, text.find_first_of("\r\n", start) - start);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Refusal(const SimOptions& options) {
  try {
    Simulate(options);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return {};
}

nlohmann::json RunJson(std::vector<std::string> arguments) {
  arguments.insert(arguments.end(), {"--quiet", "--json", "-"});
  std::ostringstream out, err;
  EXPECT_EQ(RunSimulator(Options(arguments), out, err), 0) << err.str();
  return nlohmann::json::parse(out.str(), nullptr, false);
}

int RunProgram(const std::string& arguments, const TempFolder& folder, bool program) {
  const std::string command = (program ? std::string(ZT_SIM_PROGRAM) + " " : std::string()) +
                              arguments + " > " + folder.File("out.txt") + " 2> " +
                              folder.File("err.txt");
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ExitAfterCtrlC(std::vector<std::string> arguments, const std::string& state) {
  arguments.insert(arguments.begin(), ZT_SIM_PROGRAM);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, ZT_SIM_PROGRAM, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  // The state is written before the first tick; let the run go on a little past it.
  for (int wait = 0; wait < 2000 && !std::ifstream(state + "/zt-sim-state.txt").good(); ++wait)
    usleep(5000);
  usleep(2000);
  kill(child, SIGINT);
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace zt::sim::testing
