// Inputs named by a pipe (`--history <(unzip -p prices.zip)`, /dev/stdin): the lab reads a history
// more than once (its symbol and digits, a check of every line, the run itself), and a pipe gives
// its text only to the first reading. Such an input is copied once into a file of its own, which
// every reading (and every run side by side) takes instead.
#pragma once

#include <string>
#include <vector>

namespace zt::sim {

// Where path is neither a file nor a folder but can be read (a pipe, a character device), copies
// what it gives into a file in a scratch folder that lasts until the program ends, and returns
// that file's path; otherwise returns path as it is. Every argument equal to path is changed to
// the copy too, so that runs started with them read the copy. Throws std::runtime_error naming
// path when the copy cannot be made.
std::string ReadOnceIntoFile(const std::string& path, std::vector<std::string>& arguments);

}  // namespace zt::sim
