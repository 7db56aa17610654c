#include "host/guard_api.h"

#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "host/linked_engine.h"

namespace zt::sim {

LoadedGuard::LoadedGuard(const std::string& library, const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error)
    throw std::runtime_error("cannot create the folder " + folder + ": " + error.message());
  fs::path place = fs::absolute(folder).lexically_normal();
  if (!place.has_filename()) place = place.parent_path();
  folder_ = place.string();
  if (library.empty()) {
    OpenLinkedEngine(folder_);
    api_ = BindLinkedExports();
    return;
  }
  const fs::path copy = fs::absolute(fs::path(folder) / fs::path(library).filename());
  if (!fs::exists(library)) throw std::runtime_error("no library at " + library);
  if (!fs::equivalent(library, copy, error)) {
    fs::copy_file(library, copy, fs::copy_options::overwrite_existing, error);
    if (error)
      throw std::runtime_error("cannot copy " + library + " to " + copy.string() + ": " +
                               error.message());
  }
  path_ = copy.string();
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    throw std::runtime_error("cannot load " + path_ + ": " + (message ? message : "unknown error"));
  }
  // dlsym hands back an object pointer; POSIX guarantees it converts to a function pointer.
  const char* missing = tools::BindExports(api_, [this](const char* name) {
    return reinterpret_cast<void (*)()>(dlsym(handle_, name));
  });
  if (missing != nullptr) {
    dlclose(handle_);
    throw std::runtime_error(path_ + " does not export " + missing);
  }
}

LoadedGuard::~LoadedGuard() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    return;
  }
  // A destructor cannot refuse: a folder that cannot take the files is said, and the state file
  // beside them then continues a guard that starts afresh.
  if (const std::string problem = CloseLinkedEngine(folder_); !problem.empty()) {
    std::cerr << "zt-sim: the guard's files were not kept: " << problem << '\n';
  }
}

}  // namespace zt::sim
