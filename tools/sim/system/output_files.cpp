#include "system/output_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "system/paths.h"

namespace zt::sim::system {
namespace {

namespace fs = std::filesystem;

// The name a file is written under before it is moved over path: beside it (a move within one
// folder never copies), hidden, and per process, since ladders side by side may share a folder.
std::string TemporaryBeside(const std::string& path) {
  const fs::path target = PathOf(path);
  const std::string name =
      "." + Utf8Of(target.filename()) + "." + std::to_string(ProcessNumber()) + ".part";
  return Utf8Of(target.parent_path() / PathOf(name));
}

// The system's reason for the step that just failed (a full disk, a folder not ours), else ours.
std::string Reason(const char* otherwise) { return errno != 0 ? std::strerror(errno) : otherwise; }

void Fail(const std::string& path, const std::string& reason) {
  throw std::runtime_error("cannot write " + path + (reason.empty() ? "" : ": " + reason));
}

}  // namespace

void WriteWholeFile(const std::string& path, const std::function<void(std::ostream&)>& write) {
  const fs::path file = PathOf(path);
  if (const fs::path parent = file.parent_path(); !parent.empty()) {
    std::error_code ignored;
    fs::create_directories(parent, ignored);
  }
  const std::string temporary = TemporaryBeside(path);
  const auto removeTemporary = [&temporary] {
    std::error_code ignored;
    fs::remove(PathOf(temporary), ignored);
  };
  try {
    errno = 0;
    std::ofstream out(PathOf(temporary), std::ios::binary | std::ios::trunc);
    if (!out) Fail(path, Reason("the folder takes no new file"));
    write(out);
    errno = 0;
    out.flush();
    if (!out) Fail(path, Reason("the disk took only part of it"));
    out.close();
    if (!out) Fail(path, Reason("the disk took only part of it"));
  } catch (...) {
    removeTemporary();
    throw;
  }
  if (const std::string problem = MoveOver(temporary, path); !problem.empty()) {
    removeTemporary();
    Fail(path, problem);
  }
}

void WriteWholeFile(const std::string& path, std::string_view text) {
  WriteWholeFile(path, [text](std::ostream& out) { out << text; });
}

std::string CheckWritable(const std::string& path) {
  const fs::path file = PathOf(path);
  std::error_code error;
  if (file.filename().empty() || fs::is_directory(file, error))
    return "cannot write " + path + ": it is a folder, not a file";
  // The nearest folder that exists: the run makes the ones below it.
  fs::path folder = file.parent_path();
  while (!folder.empty() && !fs::exists(folder, error)) folder = folder.parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, error))
    return "cannot write " + path + ": " + Utf8Of(folder) + " is not a folder";
  const fs::path probe = PathOf(TemporaryBeside(Utf8Of(folder / file.filename())));
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + path + ": " + Utf8Of(folder) + " takes no new file";
  }
  fs::remove(probe, error);
  return {};
}

}  // namespace zt::sim::system
