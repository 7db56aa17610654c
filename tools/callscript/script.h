// Call scripts: a host's calls of the library written down one per line, and the interpreter that
// runs them against a loaded library and prints a transcript. The Linux runner (dlopen of
// zentravo.so) and the Windows host (LoadLibraryW of zentravo.dll, real terminal windows) share
// this interpreter; only loading and windows differ, so one script gives the same transcript on
// every build.
//
// Script lines. Blank lines and lines starting with '#' are skipped. Words are separated by
// blanks; a text argument is written in double quotes with the escapes \" \\ \n \r \t, and the
// word null passes a null pointer.
//
//   InitZT chart "tag" 0 1000 0 1000 "50,30;80,60" "20,40;25,50" "1100,1200" "100,150"
//       The first argument is the word chart (the runner's chart window) or a number; the third
//       is the value of the host's initial-equity variable the library reads and writes (or
//       null). Prints the result and the variable afterwards.
//   SetEquity 985 10 900 0            SetLastValues 0 1 2 3 4         SetTTC 1500 1030.5
//   SetEmailProp 100 50 25            GetEquitySnap                   GetIndex
//       Print the result (GetIndex: the four ints it wrote).
//   GetAlert 2    GetEmailSubject 0    GetEmailText 3 0 1100    GetLabel 0 0    GetValue 4 1
//       Print the text written into a ZT_TEXT_CAPACITY-byte buffer, or that nothing was written.
//       An extra last word null passes a null buffer instead.
//   titles "EURUSD,H1" "123456: Broker Server - Demo Account"
//       Names the chart's frame and the terminal's main window (these two are the defaults).
//   settings                          prints the settings file beside the library, line by line
//   seed-settings "[SNAP]\r\n..."     replaces the settings file with the text
//   statistics                        prints every statistics file beside the library, then
//                                     removes it so the next print shows only new ones
//   reload                            unloads and loads the library again, as a restarted
//                                     terminal does: the guard starts from zero and only the
//                                     settings file remembers
//   thread                            starts and ends a thread of the host
//   hold-settings / release-settings  another program takes the settings file and lets it go
//                                     again: on Windows it is opened without sharing (share mode
//                                     0, as a backup tool or virus scanner does); on Linux, where
//                                     an open file blocks no one, the settings lock is taken, as
//                                     another process writing the file holds it
//   read-only on / read-only off      marks the settings file read-only, and writable again
//   barrier "a" 2                     waits until that many hosts (each naming itself differently)
//                                     have reached their same-numbered barrier in the library's
//                                     folder: two hosts on one folder then act on the same tick
//   repeat 128 ... end                runs the lines in between that many times (nesting allowed)
//
// Transcript: every executed line, then " => " and what it gave. Texts are quoted with the same
// escapes; bytes outside printable ASCII are written \xHH. Times the script cannot pin (the
// library reads the system clock) are masked: every "dddd.dd.dd dd:dd" (also "dd-dd" in file
// names) and the dashboard title's "Www, Mmm dd, dddd dd:dd:dd" become fixed markers.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "exports.h"

namespace zt::callscript {

using tools::Exports;

// What a runner provides: the bound exports, the window a script's "chart" means, and how to
// name the titles of the chart's frame and main windows.
struct Host {
  Exports exports;
  int chartHandle;
  void (*setTitles)(const char* frameTitle, const char* mainTitle);
  // Unloads the library and loads it again (a terminal restarted), rebinding exports and naming
  // the titles again. Returns false when the library cannot be loaded again.
  bool (*reload)(Exports& exports);
  // Starts a thread that does nothing and waits for its end: on Windows the library then sees a
  // thread attach and a thread detach, which must change nothing.
  void (*runThread)();
  std::string libraryPath;  // the loaded library's file, UTF-8; the settings file sits beside it
  // The names (UTF-8) of the files in a folder, where the standard library's listing cannot
  // reach (Windows paths past 260 characters); null lists with std::filesystem.
  std::vector<std::string> (*listFolder)(const std::filesystem::path& folder);
  // Another program takes the settings file (hold true) or lets it go; false when it cannot.
  bool (*holdSettings)(const std::filesystem::path& settings, bool hold);
  // Sets or clears the settings file's read-only mark; false when it cannot.
  bool (*markReadOnly)(const std::filesystem::path& settings, bool readOnly);
};

// The title texts every runner gives its windows before a script starts.
inline constexpr const char* kDefaultFrameTitle = "EURUSD,H1";
inline constexpr const char* kDefaultMainTitle = "123456: Broker Server - Demo Account";

// Runs the script text (its file name only names it in error messages) and writes the
// transcript to out. Returns 0 when every line ran, 2 after the first line that could not be
// understood (reported on errors, the transcript stops there).
int RunScript(const std::string& scriptName, const std::string& scriptText, Host host,
              std::ostream& out, std::ostream& errors);

// Runs the script file at scriptPath (UTF-8) and writes its transcript to the file at
// transcriptPath, or to standard output when transcriptPath is null. Returns RunScript's result, or
// 2 when the script cannot be read.
int RunScriptFile(const char* scriptPath, const char* transcriptPath, Host host);

// The path named by UTF-8 text, on Windows too (where a plain string is read in the ANSI code
// page).
std::filesystem::path ToPath(const std::string& utf8);

// The settings file the library derives from its own path: the extension of the file name
// replaced by ".ini".
std::filesystem::path DeriveSettingsPath(const std::string& libraryPath);

}  // namespace zt::callscript
