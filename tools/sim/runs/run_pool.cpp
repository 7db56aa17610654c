#include "runs/run_pool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "options/sim_options.h"
#include "report/run_text.h"
#include "runs/progress.h"
#include "runs/stop_signal.h"
#include "text_helpers.h"

extern char** environ;

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using tools::kPageWidth;
using tools::ReadWholeFile;

constexpr auto kPollInterval = std::chrono::milliseconds(10);

// The runs' JSON and output files, removed with everything in them whatever happens.
class WorkFolder {
 public:
  WorkFolder() {
    std::string pattern = (fs::temp_directory_path() / "zt-sim-ladders-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot make a temporary folder: " +
                               std::string(std::strerror(errno)));
    }
    path_ = pattern;
  }
  ~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  std::string File(std::size_t ladder, const char* kind) const {
    return (fs::path(path_) / (std::to_string(ladder) + "." + kind)).string();
  }

 private:
  std::string path_;
};

// Starts the program with arguments, its output and errors into the given files.
pid_t Start(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& outPath, const std::string& errPath) {
  std::vector<char*> argv;
  std::string name = program;
  argv.push_back(name.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // A process group of its own: Ctrl-C reaches only this program, which passes it on to each run
  // exactly once. A run stops cleanly on the first such signal, but a second one, arriving after
  // it stopped listening, would kill it before it removes its library folder.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t child = 0;
  const int failed =
      posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0)
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(failed));
  return child;
}

// A run's errors as lines under the ladder's name, without the program's own prefix.
std::string FailureLines(const std::string& name, const std::string& errors, int status) {
  std::string out;
  std::istringstream in(errors);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("zt-sim: ", 0) == 0) line = line.substr(8);
    out += "zt-sim: ladder " + name + ": " + line + "\n";
  }
  if (out.empty()) {
    out = "zt-sim: ladder " + name + ": the run " +
          (WIFSIGNALED(status) ? "was killed by signal " + std::to_string(WTERMSIG(status))
                               : "ended with code " + std::to_string(WEXITSTATUS(status))) +
          " without saying why\n";
  }
  return out;
}

struct Running {
  pid_t pid;
  std::size_t run;
};

// Reads back every run that has ended: its JSON handed on, or its errors under its name. True
// when one had ended.
bool ReapEnded(std::vector<Running>& running, const WorkFolder& work, const RunPool& pool,
               PoolOutcome& outcome) {
  bool reaped = false;
  for (std::size_t i = 0; i < running.size();) {
    int status = 0;
    const pid_t result = waitpid(running[i].pid, &status, WNOHANG);
    if (result == 0 || (result < 0 && errno == EINTR)) {
      ++i;
      continue;
    }
    const std::size_t run = running[i].run;
    running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
    ++outcome.done;
    reaped = true;
    const std::string errors = ReadWholeFile(work.File(run, "err"));
    if (result < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      if (!StopRequested()) {
        outcome.failures += FailureLines(pool.name(run), errors, status);
        outcome.failed = true;
      }
      continue;
    }
    try {
      pool.done(run, ReadWholeFile(work.File(run, "json")));
      ++outcome.finished;
      if (outcome.notes.empty()) outcome.notes = errors;
    } catch (const std::exception& error) {
      outcome.failures += "zt-sim: ladder " + pool.name(run) + ": " + error.what() + "\n";
      outcome.failed = true;
    }
  }
  return reaped;
}

}  // namespace

PoolOutcome RunPooled(const SimOptions& options, const RunPool& pool) {
  PoolOutcome outcome;
  const WorkFolder work;
  const StopOnSignal stop;
  std::vector<Running> running;
  std::size_t next = 0;
  const std::size_t jobs = static_cast<std::size_t>(std::max(options.jobs, 1));
  LadderProgress progress(options.progress, pool.count, pool.progressNoun);
  bool stopSent = false;
  while (outcome.done < pool.count) {
    while (!StopRequested() && running.size() < jobs && next < pool.count) {
      try {
        running.push_back({Start(options.program, pool.arguments(next, work.File(next, "json")),
                                 work.File(next, "out"), work.File(next, "err")),
                           next});
      } catch (const std::exception& error) {
        outcome.failures += "zt-sim: ladder " + pool.name(next) + ": " + error.what() + "\n";
        outcome.failed = true;
        ++outcome.done;
      }
      ++next;
      progress.Update(outcome.done, running.size());
    }
    if (StopRequested()) {
      if (!stopSent) {
        for (const Running& run : running) kill(run.pid, SIGINT);
        stopSent = true;
      }
      if (running.empty()) break;
    }
    if (ReapEnded(running, work, pool, outcome)) {
      progress.Update(outcome.done, running.size());
    } else {
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  return outcome;
}

int ShowPoolResults(const std::string& jsonPath, const std::string& json, const std::string& table,
                    std::ostream& out, std::ostream& err) {
  if (jsonPath == "-") {
    out << json;
    return 0;
  }
  out << table;
  if (!json.empty()) {
    try {
      tools::WriteWholeFile(jsonPath, json);
    } catch (const std::exception& error) {
      err << "zt-sim: " << error.what() << "\n";
      return 1;
    }
    out << Folded("JSON written to " + jsonPath, kPageWidth, "  ") << "\n";
  }
  return 0;
}

}  // namespace zt::sim
