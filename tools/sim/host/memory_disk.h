// The file services of the engine zt-sim links in, held in memory: the guard's settings file is
// rewritten on every close-all and roll, and through the operating system each rewrite costs some
// seventeen system calls, most of a tight ladder's time. Here a rewrite is a string assignment.
// The files a run leaves are loaded from its state folder before it and written back after it,
// so a state folder reads the same whichever engine wrote it.
#pragma once

#include <string>

namespace zt::sim::memory {

// Forgets every file.
void Clear();

// Takes the guard's files of folder (those whose names begin "zentravo", but not a library)
// into memory, under their paths. Returns "" or why a file could not be read.
std::string LoadFolder(const std::string& folder);

// Writes every file held under folder back to it, and removes there each guard file that is
// no longer held. Returns "" or why a file could not be written.
std::string SaveFolder(const std::string& folder);

}  // namespace zt::sim::memory
