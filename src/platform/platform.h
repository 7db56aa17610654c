// The one seam between the guard and the operating system: the library's own location, the file
// services (here new text files; file_system.h holds what the settings store's rewrites need),
// the terminal's window titles and the clock. platform_posix.cpp and platform_win32.cpp (with
// file_system_posix.cpp and file_system_win32.cpp) define the operating system's part; the build
// compiles exactly one of each. The seam knows files, not the guard: which files the guard keeps,
// their names, what is in them and how a rewrite lands are the settings layer's. Nothing above
// this header includes a system header or asks which platform it runs on.
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
