// Shared helpers of the test suite: a temporary folder per test and a fresh guard bound to it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

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

// A host's text buffer: ZT_TEXT_CAPACITY bytes of a known pattern without a NUL, then guard
// bytes that no writer may reach.
struct HostBuffer {
  static constexpr std::size_t kGuardBytes = 16;
  std::array<char, ZT_TEXT_CAPACITY + kGuardBytes> bytes;
  HostBuffer() {
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = Pattern(i);
  }
  static char Pattern(std::size_t i) { return static_cast<char>('a' + i % 26); }
  char* data() { return bytes.data(); }
  // Not one byte changed: the operation wrote nothing.
  bool Untouched() const { return UntouchedFrom(0); }
  // Nothing changed past the capacity.
  bool GuardIntact() const { return UntouchedFrom(ZT_TEXT_CAPACITY); }
  // Nothing changed past the text's terminator.
  bool UntouchedAfter(std::size_t terminator) const { return UntouchedFrom(terminator + 1); }
  bool UntouchedFrom(std::size_t first) const {
    for (std::size_t i = first; i < bytes.size(); ++i) {
      if (bytes[i] != Pattern(i)) return false;
    }
    return true;
  }
  // The text written; fails the test when there is no terminator inside the capacity.
  std::string Text() const;
};

// 2011-07-13 09:39:05 UTC, the moment many cases pin the clock to (TZ is UTC in the suite).
constexpr std::int64_t kJuly13 = 1310549945;

// Resets the guard to its load-time zero, binds the settings file to folder/zentravo.ini as if
// the library had been loaded from folder/zentravo.so, and pins the clock to time.
void FreshGuard(const TempFolder& folder, std::int64_t time = kJuly13);

}  // namespace zt::testing
