// The guard's engine linked into zt-sim, with its files held in memory (memory_disk.h): the same
// sources as zentravo.so, called directly rather than through a loaded library's exports.
#pragma once

#include <string>

#include "exports.h"

namespace zt::sim {

// The exports of the linked-in engine, the table a loaded library fills.
tools::Exports BindLinkedExports();

// Starts the engine afresh as if it had been loaded from folder, with the guard's files that
// folder holds. Throws std::runtime_error when they cannot be read.
void OpenLinkedEngine(const std::string& folder);

// Ends it as an unload would and writes its files back to folder. Returns "" or why not.
std::string CloseLinkedEngine(const std::string& folder);

}  // namespace zt::sim
