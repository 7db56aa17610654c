// The simulator's system services on Linux (and any POSIX system): posix_spawn and waitpid for
// the runs, sigaction for the stop request, dlopen for --library, isatty for the progress line.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "system/chart_windows.h"
#include "system/console.h"
#include "system/output_files.h"
#include "system/processes.h"
#include "system/shared_library.h"
#include "system/stop_request.h"
#include "zentravo.h"

extern char** environ;

namespace zt::sim::system {

// ---- Processes ----

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
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
  // A process group of its own: Ctrl-C reaches only this program, which passes it on.
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
  id_ = child;
}

ChildProcess::~ChildProcess() {
  // A run left behind (this program is failing) is stopped and reaped, never left orphaned.
  if (id_ == 0) return;
  kill(static_cast<pid_t>(id_), SIGKILL);
  int status = 0;
  waitpid(static_cast<pid_t>(id_), &status, 0);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : id_(other.id_) { other.id_ = 0; }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  std::swap(id_, other.id_);
  return *this;
}

std::optional<ChildEnd> ChildProcess::Ended() {
  if (id_ == 0) return ChildEnd{false, "was already reaped"};
  int status = 0;
  const pid_t result = waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
  if (result == 0 || (result < 0 && errno == EINTR)) return std::nullopt;
  id_ = 0;
  if (result < 0) return ChildEnd{false, std::string("was lost: ") + std::strerror(errno)};
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ChildEnd{true, "ended with code 0"};
  return ChildEnd{false, WIFSIGNALED(status)
                             ? "was killed by signal " + std::to_string(WTERMSIG(status))
                             : "ended with code " + std::to_string(WEXITSTATUS(status))};
}

void ChildProcess::AskToStop() {
  if (id_ != 0) kill(static_cast<pid_t>(id_), SIGINT);
}

std::string ThisProgram() { return "/proc/self/exe"; }

std::string MakeScratchFolder(const std::string& prefix, bool inMemory) {
  namespace fs = std::filesystem;
  const fs::path base =
      inMemory && fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string pattern = (base / (prefix + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a folder in " + base.string() + ": " +
                             std::strerror(errno));
  }
  return pattern;
}

// ---- Output files ----

std::string MoveOver(const std::string& from, const std::string& to) {
  // rename(2) replaces to in one step: a reader sees the old file or the new, never a part.
  if (std::rename(from.c_str(), to.c_str()) == 0) return {};
  return std::strerror(errno);
}

unsigned long ProcessNumber() { return static_cast<unsigned long>(getpid()); }

// ---- Stop request ----

namespace {

volatile std::sig_atomic_t stopRequested = 0;
extern "C" void RequestStop(int) { stopRequested = 1; }
struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

}  // namespace

StopOnRequest::StopOnRequest() {
  stopRequested = 0;
  struct sigaction action {};
  action.sa_handler = RequestStop;
  // Calls the signal lands in carry on (as signal() sets them up): the request is only read
  // between ticks and between polls of the running ladders.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInterrupt);
  sigaction(SIGTERM, &action, &previousTerminate);
}

StopOnRequest::~StopOnRequest() {
  sigaction(SIGINT, &previousInterrupt, nullptr);
  sigaction(SIGTERM, &previousTerminate, nullptr);
}

bool StopRequested() { return stopRequested != 0; }

// ---- Console ----

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool ErrorsToTerminal() { return isatty(STDERR_FILENO) == 1; }

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 0;
}

std::string OpenWithDefaultProgram(const std::string& path) {
  // xdg-open hands the page to the desktop's browser and returns; without a desktop it fails.
  std::string opener = "xdg-open";
  std::string page = path;
  char* argv[] = {opener.data(), page.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int failed = posix_spawnp(&child, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return std::string("cannot start xdg-open: ") + std::strerror(failed);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "xdg-open found no browser";
  return "";
}

// ---- Chart windows ----

int NameChartWindows(const tools::Exports& api, int chart, const std::string& frameTitle,
                     const std::string& mainTitle) {
  api.SetWindowTitles(chart, frameTitle.c_str(), mainTitle.c_str());
  return chart;
}

void BindWindowTitles(tools::Exports& exports) { exports.SetWindowTitles = &::SetWindowTitles; }

// ---- Libraries ----

SharedLibrary::SharedLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    throw std::runtime_error("cannot load " + path + ": " + (message ? message : "unknown error"));
  }
}

SharedLibrary::~SharedLibrary() { dlclose(handle_); }

void (*SharedLibrary::Find(const char* name) const)() {
  // dlsym hands back an object pointer; POSIX guarantees it converts to a function pointer.
  return reinterpret_cast<void (*)()>(dlsym(handle_, name));
}

bool LoadedLibraryReadsSimulatedClock() { return true; }

}  // namespace zt::sim::system
