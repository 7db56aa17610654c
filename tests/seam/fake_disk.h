// A file system of the tests' own in place of the operating system's file services: files in
// memory, a clock that moves only when the store pauses (by a Windows timer tick), and the faults
// a trader's Windows machine shows, each scripted to last until a moment on that clock. The seam
// tests link the whole library over it.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zt::testing::fake {

constexpr std::uint64_t kForGood = std::numeric_limits<std::uint64_t>::max();

struct Disk {
  std::map<std::string, std::string> files;  // every file by its path, lock files included
  std::uint64_t now = 1000;                  // milliseconds on the monotonic clock
  std::uint64_t pauseMs = 16;                // what one pause lasts: a default Windows timer tick

  // Faults, each until that moment on the clock (0: none; kForGood: for good).
  std::uint64_t readsRefusedUntil = 0;    // another program holds the settings file unshared
  std::uint64_t replaceRefusedUntil = 0;  // the settings file may not be replaced
  int replacesRefused = 0;                // ... for this many more tries (a reader's brief hold)
  bool deleteDenied = false;              // ... because its permissions deny us (else a holder)
  std::uint64_t lockHeldUntil = 0;        // another writer holds the settings lock
  std::uint64_t lockFileRefusedUntil = 0; // the lock file cannot even be opened (held unshared)
  std::uint64_t temporaryHeldUntil = 0;   // a scanner holds our temporary files: no removing
  platform::FileProblem newFiles = platform::FileProblem::none;  // what a new file meets

  std::vector<std::string> temporaryNames;  // every temporary file written, in order
  int newFileAttempts = 0;                  // calls to create a new text file
  int lockAttempts = 0;                     // tries at the lock
};

// The one disk, as the library sees it; Reset empties it and winds the clock back.
Disk& TheDisk();
void Reset();

// The files in the disk whose path ends with ending.
std::vector<std::string> FilesEndingWith(const std::string& ending);

}  // namespace zt::testing::fake
