// Shared helpers of the test suite: a temporary folder per test and a fresh guard bound to it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "boundary/test_hooks.h"
#include "host_text.h"
#include "zentravo.h"

namespace zt::testing {

// A fresh empty folder under the system's temporary folder, removed with everything in it when
// the object goes out of scope. inMemory: in memory-backed storage (/dev/shm) where there is
// one, for tests that write the settings file many thousands of times (each write is flushed).
struct TempFolder {
  explicit TempFolder(bool inMemory = false);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string path;  // no trailing slash
  std::string File(const std::string& name) const { return path + "/" + name; }
};

// Another process holds the settings lock file at lockPath from construction until Release, as a
// second guard writing the same settings file would.
struct LockHolder {
  explicit LockHolder(const std::string& lockPath);
  void Release();
  int release[2];
  int holder;  // the holding process
};

// Whole contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);

// A host's text buffer (the hosts' own, tools/common/host_text.h): ZT_TEXT_CAPACITY bytes of a
// known pattern without a NUL, then guard bytes that no writer may reach.
struct HostBuffer : tools::HostText {
  HostBuffer() : tools::HostText(Patterned{}) {}
  // Nothing changed past the text's terminator.
  bool UntouchedAfter(std::size_t terminator) const { return UntouchedFrom(terminator + 1); }
  // The text written; fails the test when there is no terminator inside the capacity.
  std::string Text() const;
};

// 2011-07-13 09:39:05 UTC, the moment many cases pin the clock to (TZ is UTC in the suite).
constexpr std::int64_t kJuly13 = 1310549945;

// Resets the guard to its load-time zero, binds the settings file to folder/zentravo.ini as if
// the library had been loaded from folder/zentravo.so, and pins the clock to time.
void FreshGuard(const TempFolder& folder, std::int64_t time = kJuly13);

// A test of a fresh guard bound to a temporary folder; Arrange sets the scene after that, and the
// clock a test pins is released at the end.
class GuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshGuard(folder_);
    Arrange();
  }
  void TearDown() override { test_hooks::ReleaseClock(); }
  virtual void Arrange() {}
  TempFolder folder_;
};

}  // namespace zt::testing
