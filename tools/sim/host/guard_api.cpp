#include "host/guard_api.h"

#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "host/linked_engine.h"
#include "system/paths.h"
#include "system/shared_library.h"

namespace zt::sim {

LoadedGuard::LoadedGuard(const std::string& library, const std::string& folder) {
  namespace fs = std::filesystem;
  using system::PathOf;
  std::error_code error;
  fs::create_directories(PathOf(folder), error);
  if (error)
    throw std::runtime_error("cannot create the folder " + folder + ": " + error.message());
  fs::path place = fs::absolute(PathOf(folder)).lexically_normal();
  if (!place.has_filename()) place = place.parent_path();
  // The engine linked in names its files below this folder with "/" on every system.
  folder_ = system::GenericUtf8Of(place);
  if (library.empty()) {
    OpenLinkedEngine(folder_);
    api_ = BindLinkedExports();
    return;
  }
  if (!system::LoadedLibraryReadsSimulatedClock()) {
    throw std::runtime_error(
        "--library: " + library +
        " would read this machine's clock, not the history's, so its snapshots, titles and "
        "statistics would be stamped with today's date; the guard built into zt-sim is the "
        "same guard on the history's clock (leave --library out)");
  }
  const fs::path source = PathOf(library);
  const fs::path copy = fs::absolute(PathOf(folder) / source.filename());
  if (!fs::exists(source)) throw std::runtime_error("no library at " + library);
  if (!fs::equivalent(source, copy, error)) {
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing, error);
    if (error)
      throw std::runtime_error("cannot copy " + library + " to " + system::Utf8Of(copy) + ": " +
                               error.message());
  }
  path_ = system::Utf8Of(copy);
  library_ = std::make_unique<system::SharedLibrary>(path_);
  const char* missing =
      tools::BindExports(api_, [this](const char* name) { return library_->Find(name); });
  if (missing != nullptr) {
    library_.reset();
    throw std::runtime_error(path_ + " does not export " + missing);
  }
}

LoadedGuard::~LoadedGuard() {
  if (library_ != nullptr) return;
  // A destructor cannot refuse: a folder that cannot take the files is said, and the state file
  // beside them then continues a guard that starts afresh.
  if (const std::string problem = CloseLinkedEngine(folder_); !problem.empty()) {
    std::cerr << "zt-sim: the guard's files were not kept: " << problem << '\n';
  }
}

}  // namespace zt::sim
