// The settings store: INI files read as the Windows private-profile service reads them, and
// rewritten whole through a temporary file under a lock across processes, so that a crash leaves
// the old file or the new one and two writers never lose each other's keys. The text logic is in
// ini_text.h; the operating system's part (read a file, write and rename a temporary file, lock,
// clock) is platform/file_system.h. The library allocates nothing: the file images live in fixed
// static buffers, so the store is not reentrant (the guard runs on one host thread).
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace zt::settings {

using platform::FileProblem;
using platform::kUsualWaitMs;

// ---- Private-profile (INI) files -------------------------------------------------------------

// Longest text a profile read returns; the Windows service reads into a 64-byte buffer.
constexpr int kProfileValueCapacity = 64;

// Reads section/key of the INI file at path as text into out (kProfileValueCapacity bytes):
// the value trimmed of blanks and one pair of matching outer quotes, cut to 63 characters.
// A missing file, section or key gives fallback (trimmed, cut the same way). So does a file that
// is there but cannot be read: problem, when not null, then receives why (locked: another
// program holds it, waited for up to waitMs; tooLarge, foreignText, failed), and none otherwise.
// Returns the length.
int ReadProfileString(const char* path, std::string_view section, std::string_view key,
                      std::string_view fallback, char* out, FileProblem* problem = nullptr,
                      int waitMs = kUsualWaitMs);

// Whether the INI file at path can be read now (one try, no wait): none when it can or is
// missing, else why not, as for ReadProfileString.
FileProblem ProfileReadable(const char* path);

// Reads section/key as a decimal (or 0x hexadecimal) integer, stopping at the first character
// that is not a digit: "2.7" reads 2, "12abc" 12, "abc" 0. A missing or empty value gives
// fallback; problem as for ReadProfileString.
int ReadProfileInt(const char* path, std::string_view section, std::string_view key,
                   int fallback, FileProblem* problem = nullptr);

// What a read gives back for a value as a write stores it (trimmed, one pair of matching outer
// quotes off, cut to 63 characters), into out (kProfileValueCapacity bytes). Returns the length.
int ReadBackValue(std::string_view value, char* out);

// A value's text read as ReadProfileInt reads it; the empty text gives fallback.
int IntegerOfValue(std::string_view text, int fallback);

struct ProfileEntry {
  std::string_view key;
  std::string_view value;
};

// Writes the entries, in order, into section of the INI file at path, creating the file, the
// section or a key as needed and replacing existing values; every other line survives. The file
// ends up exactly as that many single writes in order would leave it. A write never leaves a
// half-written file behind. Returns false when the file could not be written (it is unchanged);
// problem, when not null, receives why (FileProblem::none on success).
bool WriteProfileStrings(const char* path, std::string_view section, const ProfileEntry* entries,
                         int count, FileProblem* problem = nullptr);

// One entry of a write across sections.
struct ProfileWrite {
  std::string_view section;
  ProfileEntry entry;
};

// How WriteProfile goes about its write.
struct WriteManner {
  // How long the whole write may wait, in all, for another writer's lock and for a file another
  // program holds open, before it reports FileProblem::locked; 0 tries each step once.
  int waitMs = kUsualWaitMs;
  // The caller expects the file to hold these values already (it wrote them last): the file is
  // first read without the lock, and when it holds them the write is done. A file is only ever
  // replaced whole, in one step, so that read sees one writer's file, as a read under the lock
  // would; it saves the lock's system calls on the writes that change nothing. Otherwise the
  // write goes on as usual, having cost one more read.
  bool expectUnchanged = false;
};

// Writes the entries, in order, each into its own section, in one rewrite of the file: it ends up
// as that many single writes would leave it, but they land all together or not at all. Otherwise
// as WriteProfileStrings.
bool WriteProfile(const char* path, const ProfileWrite* writes, int count,
                  FileProblem* problem = nullptr, WriteManner manner = {});

// Copies the INI file at path, byte for byte, into a new file at copyPath, waiting up to waitMs
// for a file another program holds. Never replaces a file: false with problem exists when
// copyPath is taken. A missing file copies nothing: false with problem none. Otherwise false
// when the file cannot be read or the copy written (problem says why), and what was written of
// the copy is removed. A file is only ever replaced whole, so the copy is one writer's file.
bool CopyProfile(const char* path, const char* copyPath, FileProblem* problem = nullptr,
                 int waitMs = kUsualWaitMs);

// Removes what writes of the INI file at path that were killed mid-way left beside it (a
// temporary file named after path and the writing process) when that process no longer runs.
// Files of live processes and every other file are left alone. Failures are ignored.
void RemoveAbandonedWrites(const char* path);

}  // namespace zt::settings
