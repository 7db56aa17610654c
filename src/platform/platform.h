// The one seam between the guard and the operating system: the library's own location, INI files
// read and rewritten whole under a lock (profile_store.cpp, over the file services of
// file_system.h), new text files, the terminal's window titles and the clock. platform_posix.cpp
// and platform_win32.cpp define the operating system's part; the build compiles exactly one of
// them. The seam knows files, not the guard: which files the guard keeps, their names and what is
// in them are the settings layer's. Nothing above this header includes a system header or asks
// which platform it runs on.
#pragma once

#include <cstdint>
#include <string_view>

namespace zt::platform {

// Paths are UTF-8 text on every platform. The Windows seam turns each one into UTF-16 (with the
// long-path prefix where a path is too long for the plain form) and calls only the wide file
// services, so no code page ever chooses which file is opened.

// Room for any path the seam hands over or keeps: Windows allows 32,767 UTF-16 units, which are
// at most three UTF-8 bytes each.
constexpr int kPathCapacity = 3 * 32768;

// ---- Module start-up -------------------------------------------------------------------------

// Writes the full file path of the loaded library into out (capacity bytes, NUL included), in
// UTF-8. Returns the length of the path; when the path does not fit, returns capacity or more and
// the contents of out are not a usable path. Returns 0 when the path cannot be learnt (or, on
// Windows, holds a lone surrogate that no UTF-8 text can name).
int ModulePath(char* out, int capacity);

// A location too long for the state's 256-byte path field: from now on every path handed to the
// file services below that starts with shortForm is opened as fullForm followed by the rest, so
// the field may hold shortForm plus a file's ending while the file itself lies at the full
// location. One location is kept; empty texts forget it. Returns false, keeping none, when
// fullForm does not fit kPathCapacity. While one is kept, a path that starts with shortForm is
// always read as the short form (the full form starts with it too: never hand that one in).
bool KeepFullLocation(std::string_view shortForm, std::string_view fullForm);

// ---- Why a write did not land ----------------------------------------------------------------

enum class FileProblem {
  none,          // written, or nothing to change
  locked,        // another program holds the file (or its folder entry) without sharing it
  readOnly,      // the file or its folder may not be written
  noPermission,  // the file's permissions (or a guard of the system's) refuse us its replacement
  tooLarge,      // the file, or its rewrite, is more than the store holds: left untouched
  foreignText,   // a UTF-16 file, which the store does not rewrite: left untouched
  exists,        // a new file was asked for and one of that name is there
  failed,        // anything else: no such folder, a full disk, a path that cannot be named
};

// How long a read or write waits, at most, for a file or lock another program holds, in
// milliseconds of a monotonic clock. A write is the guard's answer to an event on the host's tick
// thread; a start is rare, and a trader would rather wait two seconds than lose the history.
constexpr int kUsualWaitMs = 20;
constexpr int kStartReadWaitMs = 2000;

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

// ---- Other files -----------------------------------------------------------------------------

// Creates a new file at path holding text, with the platform's text-mode line ends ("\n" in
// text becomes CR LF on Windows), flushed to the disk before it is closed. Never replaces an
// existing file: returns false, writing nothing, when path exists (problem exists) or cannot be
// created; a write that fails part way (a full disk) removes what it wrote. problem, when not
// null, receives why.
bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem = nullptr);

// ---- Terminal windows ------------------------------------------------------------------------

// Window handles as a terminal passes them: 32-bit values. 0 is no window.
int ParentWindow(int window);
int RootAncestorWindow(int window);
// Copies the window's title into out (capacity bytes, NUL included, cut to fit); an unknown
// window or one without a title gives the empty text. Returns the length copied.
int WindowTitle(int window, char* out, int capacity);

// Where the platform has no terminal windows, a host names the two titles a chart's windows
// would carry: the chart frame's and the terminal main window's (null is the empty text, longer
// titles are cut to 255 characters). Up to 8 charts are kept; a known chart's titles are
// replaced, a ninth chart takes the place of the oldest. Returns false, keeping nothing, where
// the platform reads real windows.
bool NameWindowTitles(int chart, const char* frameTitle, const char* mainTitle);

// ---- Clock -----------------------------------------------------------------------------------

// Seconds since 1970-01-01 UTC.
std::int64_t Now();

struct CalendarTime {
  int year;        // e.g. 2011
  int month;       // 1-12
  int day;         // 1-31
  int hour;        // 0-23
  int minute;      // 0-59
  int second;      // 0-60
  int weekday;     // 0 = Sunday
};

// Converts a time to local calendar time with the system's time-zone rules. Returns false (out
// unspecified) when the platform cannot convert it, e.g. a negative time.
bool LocalTime(std::int64_t time, CalendarTime* out);

}  // namespace zt::platform
