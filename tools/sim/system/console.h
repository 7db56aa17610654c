// The program's place on the system: its arguments, the console it writes to, and the programs
// the user chose for a page.
#pragma once

#include <string>
#include <vector>

namespace zt::sim::system {

// The command line, program name first, as UTF-8 whatever the system's own form (on Windows the
// wide command line; argv there would be in the ANSI code page). Also sets the console up for
// UTF-8 output where it needs it.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Whether standard error is a terminal (a console window), where a progress line may be drawn.
bool ErrorsToTerminal();

// Columns of the terminal on standard error; 0 when it does not say.
int TerminalColumns();

// Opens the file (UTF-8 path) with the program the user chose for its kind, the default browser
// for a page, without waiting for it. Returns "" or what went wrong.
std::string OpenWithDefaultProgram(const std::string& path);

}  // namespace zt::sim::system
