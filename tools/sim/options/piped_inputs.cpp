#include "options/piped_inputs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "system/paths.h"
#include "system/processes.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;

// The scratch folders of the copies, removed when the program ends (after every run it started).
struct CopyFolders {
  std::vector<std::string> folders;
  ~CopyFolders() {
    std::error_code ignored;
    for (const std::string& folder : folders) fs::remove_all(system::PathOf(folder), ignored);
  }
};

CopyFolders& Folders() {
  static CopyFolders folders;
  return folders;
}

}  // namespace

std::string ReadOnceIntoFile(const std::string& path, std::vector<std::string>& arguments) {
  if (path.empty()) return path;
  std::error_code error;
  const fs::file_status status = fs::status(system::PathOf(path), error);
  if (error || !fs::exists(status) || fs::is_regular_file(status) || fs::is_directory(status))
    return path;
  const std::string folder = system::MakeScratchFolder("zt-sim-input-", false);
  Folders().folders.push_back(folder);
  std::string name = system::Utf8Of(system::PathOf(path).filename());
  if (name.empty()) name = "input";
  const std::string copy = system::Utf8Of(system::PathOf(folder) / system::PathOf(name));
  std::ifstream in(system::PathOf(path), std::ios::binary);
  std::ofstream out(system::PathOf(copy), std::ios::binary);
  // A piece at a time: an empty pipe copies nothing, and the readers then say it holds no prices.
  std::string piece(std::size_t{1} << 16, '\0');
  while (in && out) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    out.write(piece.data(), in.gcount());
  }
  if (!in.eof() || !out.flush()) throw std::runtime_error("cannot read " + path + " into " + copy);
  std::replace(arguments.begin(), arguments.end(), path, copy);
  return copy;
}

}  // namespace zt::sim
