// The files a run writes (its JSON, chart, page, log, bars and the guard's state): each written
// whole or not at all. A file is written under a name of its own beside its target and moved over
// the target only when every byte is on disk, so a full disk, a killed run or a failed write
// leaves the old file as it was, never a JSON cut off half-way that a script reads as the answer.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace zt::sim::system {

// Writes the file at path (UTF-8) through write, making its folder first (an output named in a
// folder not made yet is the usual case). The text goes to a temporary file beside path, which
// replaces path once it is complete. Throws std::runtime_error "cannot write PATH: REASON" when
// any step fails; path is then as it was and no temporary file is left.
void WriteWholeFile(const std::string& path, const std::function<void(std::ostream&)>& write);
void WriteWholeFile(const std::string& path, std::string_view text);

// Whether a run could write path, asked before it starts so that a long run does not end on an
// output it cannot keep: path must not be a folder, and the folder it goes in (or the nearest
// one that exists, where the run will make the rest) must take a new file. Returns "" or the
// reason, naming path. Leaves nothing behind.
std::string CheckWritable(const std::string& path);

// ---- What each system does its own way (system_posix.cpp, system_win32.cpp) ----

// Moves the file from over the file to (both UTF-8), replacing it in one step where the system
// can. Returns "" or the system's reason; from is then still there.
std::string MoveOver(const std::string& from, const std::string& to);

// This process's number, which makes a temporary name no other run writes at the same time.
unsigned long ProcessNumber();

}  // namespace zt::sim::system
