// The call-script runner on Linux: loads zentravo.so with dlopen and names the chart's window
// titles through the Linux-only SetWindowTitles export.
//
//   zt_callscript <path of zentravo.so> <script> [transcript file]
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "script.h"

namespace {

// Any handle will do: on Linux the library only uses it to look the titles up again.
constexpr int kChartHandle = 0x00010042;

void* library = nullptr;
std::string libraryPath;
// The titles last named, to name them again after a reload (the library forgets them).
std::string frameTitle = zt::callscript::kDefaultFrameTitle;
std::string mainTitle = zt::callscript::kDefaultMainTitle;
bool frameTitleNull = false;
bool mainTitleNull = false;
// The loaded library's SetWindowTitles, from the export table bound at the last load.
decltype(zt::tools::Exports::SetWindowTitles) setWindowTitles = nullptr;

void SetTitles(const char* frame, const char* main) {
  frameTitleNull = frame == nullptr;
  mainTitleNull = main == nullptr;
  frameTitle = frame == nullptr ? "" : frame;
  mainTitle = main == nullptr ? "" : main;
  if (setWindowTitles != nullptr) setWindowTitles(kChartHandle, frame, main);
}

// Loads the library and binds the exports; prints why not and returns false on failure.
bool Load(zt::callscript::Exports& exports) {
  library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::cerr << "cannot load " << libraryPath << ": " << dlerror() << '\n';
    return false;
  }
  const char* missing = zt::tools::BindExports(
      exports, [](const char* name) { return reinterpret_cast<void (*)()>(dlsym(library, name)); });
  if (missing != nullptr) {
    std::cerr << libraryPath << " does not export " << missing << '\n';
    return false;
  }
  setWindowTitles = exports.SetWindowTitles;
  const std::string frame = frameTitle, main = mainTitle;
  SetTitles(frameTitleNull ? nullptr : frame.c_str(), mainTitleNull ? nullptr : main.c_str());
  return true;
}

bool Reload(zt::callscript::Exports& exports) {
  setWindowTitles = nullptr;  // goes with the library
  if (dlclose(library) != 0) return false;
  library = nullptr;
  return Load(exports);
}

void RunThread() {
  std::thread([] {}).join();
}

// Another writer's hold on the settings file. Linux never refuses to open a file another program
// has open, so what keeps the guard from writing is the settings lock, the write lock on
// "<settings file>.lock" that every writer takes. It is taken here as an open-file-description
// lock, which conflicts with the library's record lock although both live in this one process.
int heldLock = -1;

bool HoldSettings(const std::filesystem::path& settings, bool hold) {
  if (hold == (heldLock >= 0)) return false;
  if (!hold) {
    close(heldLock);  // lets the lock go
    heldLock = -1;
    return true;
  }
  const std::string lockPath = settings.string() + ".lock";
  heldLock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (heldLock < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(heldLock, F_OFD_SETLK, &lock) != 0) {
    close(heldLock);
    heldLock = -1;
    return false;
  }
  return true;
}

// Read-only as a file's permission bits say it. (Root may write such a file all the same.)
bool MarkReadOnly(const std::filesystem::path& settings, bool readOnly) {
  struct stat status {};
  if (stat(settings.c_str(), &status) != 0) return false;
  const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
  const mode_t mode =
      readOnly ? (status.st_mode & 07777 & ~writeBits) : ((status.st_mode & 07777) | S_IWUSR);
  return chmod(settings.c_str(), mode) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::cerr << "usage: zt_callscript <zentravo.so> <script> [transcript]\n";
    return 2;
  }
  // dlopen searches the library path for a bare name; the settings file must sit beside this file.
  libraryPath = std::filesystem::absolute(argv[1]).string();
  zt::callscript::Exports exports{};
  if (!Load(exports)) return 2;
  const zt::callscript::Host host{.exports = exports,
                                  .chartHandle = kChartHandle,
                                  .setTitles = SetTitles,
                                  .reload = Reload,
                                  .runThread = RunThread,
                                  .libraryPath = libraryPath,
                                  .listFolder = nullptr,
                                  .holdSettings = HoldSettings,
                                  .markReadOnly = MarkReadOnly};
  return zt::callscript::RunScriptFile(argv[2], argc == 4 ? argv[3] : nullptr, host);
}
