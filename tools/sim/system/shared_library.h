// A built guard library loaded at run time (--library): zentravo.so with dlopen, zentravo.dll as
// a terminal loads it.
#pragma once

#include <string>

namespace zt::sim::system {

class SharedLibrary {
 public:
  // Opens the library at path (UTF-8). Throws std::runtime_error with the loader's message.
  explicit SharedLibrary(const std::string& path);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // The function exported under name, or nullptr.
  void (*Find(const char* name) const)();

 private:
  void* handle_ = nullptr;
};

// Whether a loaded library reads the simulated clock. On Linux the simulator's own time() and
// localtime_r() take the place of the C library's for every module of the process; zentravo.dll
// binds the C runtime's clock by its import table, which the simulator does not rewrite, so there
// only the engine built into the program runs on the history's time.
bool LoadedLibraryReadsSimulatedClock();

}  // namespace zt::sim::system
