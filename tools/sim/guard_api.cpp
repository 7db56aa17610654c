#include "guard_api.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace zt::sim {
namespace {

// dlsym hands back an object pointer; copying its bits is the portable way to a function pointer.
template <typename Function>
void Resolve(void* handle, const char* name, Function& function, const std::string& path) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    throw std::runtime_error(path + " does not export " + name);
  }
  static_assert(sizeof function == sizeof symbol);
  std::memcpy(&function, &symbol, sizeof function);
}

}  // namespace

LoadedGuard::LoadedGuard(const std::string& library, const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw std::runtime_error("cannot create the folder " + folder + ": " + error.message());
  const fs::path copy = fs::absolute(fs::path(folder) / fs::path(library).filename());
  if (!fs::exists(library)) throw std::runtime_error("no library at " + library);
  if (!fs::equivalent(library, copy, error)) {
    fs::copy_file(library, copy, fs::copy_options::overwrite_existing, error);
    if (error) throw std::runtime_error("cannot copy " + library + " to " + copy.string() + ": " + error.message());
  }
  path_ = copy.string();
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    throw std::runtime_error("cannot load " + path_ + ": " + (message ? message : "unknown error"));
  }
  try {
    Resolve(handle_, "InitZT", api_.InitZT, path_);
    Resolve(handle_, "SetEquity", api_.SetEquity, path_);
    Resolve(handle_, "SetLastValues", api_.SetLastValues, path_);
    Resolve(handle_, "SetTTC", api_.SetTTC, path_);
    Resolve(handle_, "SetEmailProp", api_.SetEmailProp, path_);
    Resolve(handle_, "GetEquitySnap", api_.GetEquitySnap, path_);
    Resolve(handle_, "GetIndex", api_.GetIndex, path_);
    Resolve(handle_, "GetAlert", api_.GetAlert, path_);
    Resolve(handle_, "GetEmailSubject", api_.GetEmailSubject, path_);
    Resolve(handle_, "GetEmailText", api_.GetEmailText, path_);
    Resolve(handle_, "GetLabel", api_.GetLabel, path_);
    Resolve(handle_, "GetValue", api_.GetValue, path_);
    Resolve(handle_, "SetWindowTitles", api_.SetWindowTitles, path_);
  } catch (...) {
    dlclose(handle_);
    throw;
  }
}

LoadedGuard::~LoadedGuard() { dlclose(handle_); }

}  // namespace zt::sim
