// The file services of the platform seam on Linux and other POSIX systems: one attempt per call
// (file_system.h), the store's rules being in settings/profile_store.cpp, and the new text files of
// platform.h. Mirrors file_system_win32.cpp: same order, same helpers.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>  // rename only
#include <cstring>
#include <ctime>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace zt::platform {
namespace {

// ---- Helpers ----

// Writes all of text to an open file, resuming after signals and short writes.
bool WriteAll(int file, std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = write(file, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// What a failed file call's error means for the guard.
FileProblem ProblemOf(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return FileProblem::readOnly;
    case EAGAIN:
    case ETXTBSY:
      return FileProblem::locked;
    case EEXIST:
      return FileProblem::exists;
    default:
      return FileProblem::failed;
  }
}

// Where a caller does not ask why, the answer goes here.
FileProblem unasked = FileProblem::none;

// Permissions of a file we create; the process umask applies on top.
constexpr mode_t kNewFileMode = 0666;

// Reads the whole open file into buffer. Fails when it is not a regular file, is larger than the
// buffer (tooLarge) or cannot be read. mode receives its permission bits.
FileProblem ReadWhole(int file, char* buffer, std::size_t capacity, std::size_t& length,
                      std::uint32_t& mode) {
  struct stat status {};
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) {
    return FileProblem::failed;
  }
  if (static_cast<std::uintmax_t>(status.st_size) > capacity) return FileProblem::tooLarge;
  mode = status.st_mode & 0777;
  const std::size_t wanted = static_cast<std::size_t>(status.st_size);
  length = 0;
  while (length < wanted) {
    const ssize_t got = read(file, buffer + length, wanted - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ProblemOf(errno);
    if (got == 0) break;  // the file shrank since fstat
    length += static_cast<std::size_t>(got);
  }
  return FileProblem::none;
}

// Closes a file just written; written says whether writing and flushing it went through. A file
// not written whole, or one that would not close, is removed: cut short, it would read as complete.
FileProblem CloseWritten(int file, const char* path, bool written) {
  int error = written ? 0 : errno;
  if (close(file) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written) return FileProblem::none;
  unlink(path);
  return ProblemOf(error);
}

// Creates a new file at path holding text with the permission bits mode (less the umask),
// flushed to the disk before it is closed; exists when path is taken. A file cut short (a full
// disk) is worse than none, since it would read as complete: a failed write removes what it wrote
// (and is never answered exists).
FileProblem CreateNewFile(const char* path, std::string_view text, mode_t mode) {
  const int file = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (file < 0) return ProblemOf(errno);
  const FileProblem problem = CloseWritten(file, path, WriteAll(file, text) && fsync(file) == 0);
  return problem == FileProblem::exists ? FileProblem::failed : problem;
}

}  // namespace

// ---- Files the settings store reads and replaces ----

namespace os {

// Nothing here holds a file against readers (our lock is a separate file).
FileProblem ReadWholeFile(const char* path, bool forWriting, char* buffer, std::size_t capacity,
                          std::size_t& length, FileFacts& facts) {
  facts = FileFacts{false, true, 0};
  length = 0;
  // A file we may read but not write can still take a write that changes nothing.
  int file = open(path, (forWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (file < 0 && forWriting && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    facts.writable = false;
    file = open(path, O_RDONLY | O_CLOEXEC);
  }
  // A missing file is created; a missing folder fails when we create the file.
  if (file < 0) return errno == ENOENT ? FileProblem::none : ProblemOf(errno);
  facts.exists = true;
  const FileProblem problem = ReadWhole(file, buffer, capacity, length, facts.mode);
  close(file);
  return problem;
}

FileProblem WriteTemporaryFile(const char* temporaryPath, std::string_view text,
                               const FileFacts& facts) {
  // A new file gets kNewFileMode less the umask; an existing file's bits survive exactly.
  const int file =
      open(temporaryPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
  if (file < 0) return ProblemOf(errno);
  return CloseWritten(file, temporaryPath,
                      (!facts.exists || fchmod(file, static_cast<mode_t>(facts.mode)) == 0) &&
                          WriteAll(file, text) && fsync(file) == 0);
}

FileProblem WriteNewFile(const char* path, std::string_view bytes) {
  return CreateNewFile(path, bytes, kNewFileMode);
}

// A rename is never refused for the moment here: whatever it answers is final.
FileProblem RenameOver(const char* temporaryPath, const char* path) {
  return std::rename(temporaryPath, path) == 0 ? FileProblem::none : ProblemOf(errno);
}

FileProblem WhyRefused(const char* /*path*/) { return FileProblem::locked; }

// fcntl's lock needs a descriptor open for writing.
LockHandle OpenLockFile(const char* lockPath, FileProblem& problem) {
  problem = FileProblem::none;
  const int file = open(lockPath, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
  if (file < 0) {
    problem = ProblemOf(errno);
    return kNoLock;
  }
  return file;
}

bool TryLock(LockHandle lock) {
  struct flock region {};
  region.l_type = F_WRLCK;
  region.l_whence = SEEK_SET;
  for (;;) {
    if (fcntl(static_cast<int>(lock), F_SETLK, &region) == 0) return true;
    if (errno != EINTR) return false;
  }
}

void ReleaseLock(LockHandle lock) {
  if (lock != kNoLock) close(static_cast<int>(lock));
}

// Asked once: every rewrite names its temporary file by it. A child forked later keeps the
// parent's number, which is harmless: a temporary file is only written under the settings lock.
std::uint32_t ProcessId() {
  static const std::uint32_t id = static_cast<std::uint32_t>(getpid());
  return id;
}

bool HasEnded(std::uint32_t process) {
  // No signal is sent: kill with 0 only asks whether the process exists. An id beyond pid_t
  // would name a process group: taken as running.
  if (process == 0 || process > static_cast<std::uint32_t>(INT32_MAX)) return false;
  return kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}

std::string_view PathSeparators() { return "/"; }

void VisitFolder(const char* folderPath, void (*visit)(std::string_view name, void* context),
                 void* context) {
  DIR* const folder = opendir(folderPath);
  if (folder == nullptr) return;
  while (const dirent* entry = readdir(folder)) {
    const std::string_view name(entry->d_name);
    if (name != "." && name != "..") visit(name, context);
  }
  closedir(folder);
}

bool RemoveFile(const char* path) { return unlink(path) == 0 || errno == ENOENT; }

std::uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec / 1000000);
}

void Pause() {
  const timespec pause{0, 1000000};
  nanosleep(&pause, nullptr);
}

}  // namespace os

// ---- Other files ----

bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  path = ResolvePath(path);
  if (path == nullptr) return false;
  result = CreateNewFile(path, text, 0644);
  return result == FileProblem::none;
}

}  // namespace zt::platform
