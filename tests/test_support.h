// Shared helpers of the test suite: a temporary folder per test and a fresh guard bound to it.
#pragma once

#include <cstdint>
#include <string>

namespace zt::testing {

// A fresh empty folder under the system's temporary folder, removed with everything in it when
// the object goes out of scope.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string path;  // no trailing slash
  std::string File(const std::string& name) const { return path + "/" + name; }
};

// Whole contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);

// 2011-07-13 09:39:05 UTC, the moment many cases pin the clock to (TZ is UTC in the suite).
constexpr std::int64_t kJuly13 = 1310549945;

// Resets the guard to its load-time zero, binds the settings file to folder/zentravo.ini as if
// the library had been loaded from folder/zentravo.so, and pins the clock to time.
void FreshGuard(const TempFolder& folder, std::int64_t time = kJuly13);

}  // namespace zt::testing
