// Other runs of this program, each in a process of its own (the library keeps its state for the
// whole process, so one process runs one guard), and the scratch folders they write into.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zt::sim::system {

// How a child process ended: succeeded with code 0; otherwise how says "ended with code N" or
// "was killed by signal N" for the message under its run's name.
struct ChildEnd {
  bool succeeded = false;
  std::string how;
};

// A program started with arguments (UTF-8), nothing on its input, its output and errors into the
// files named. It does not take the terminal's Ctrl-C: the starting program passes a stop request
// on exactly once (AskToStop), since a second one, arriving after a run stopped listening, would
// kill it before it removes its library folder. A child still running when this program ends is
// ended with it. Throws std::runtime_error when it cannot start.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& outPath, const std::string& errPath);
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Without waiting: how it ended, or nothing while it runs. Once it has answered, it is gone.
  std::optional<ChildEnd> Ended();
  // Asks it to stop after the tick in hand, as Ctrl-C asks this program.
  void AskToStop();

 private:
  std::intptr_t id_ = 0;    // the process id (POSIX) or handle (Windows); 0 once reaped
  [[maybe_unused]] std::intptr_t stop_ = 0;  // Windows: the event it watches for a stop request
};

// This program's own file, to start its runs with: "/proc/self/exe" on Linux, the module's path
// on Windows (UTF-8).
std::string ThisProgram();

// A new empty folder whose name starts with prefix, in the system's temporary folder, or in
// memory-backed storage when inMemory and the system has it. Returns its path (UTF-8); throws
// std::runtime_error when none can be made.
std::string MakeScratchFolder(const std::string& prefix, bool inMemory);

}  // namespace zt::sim::system
